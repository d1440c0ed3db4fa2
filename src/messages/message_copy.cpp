// Filing messages away: copy or move a list of messages to another folder,
// delete them, or recycle them into the store's Deleted Items folder.
//
// The store and the folders are named by entry identifier; each export
// opens them through the store exports and releases them before it returns.
#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "messages/message_lists.h"
#include "stores/special_folders.h"

namespace {

// An argument check of these exports: E_INVALIDARG, recorded.
#define CHECK_ENTRY_ID(cbEntryId, entryId, message)                     \
    do {                                                                \
        if (!EntryIdGiven(cbEntryId, entryId))                          \
            return RECORD_FAILURE(message, E_INVALIDARG, E_INVALIDARG); \
    } while (0)

#define CHECK_MESSAGE_LIST(list, usable)                                                   \
    do {                                                                                   \
        if (!(usable)(list))                                                               \
            return RECORD_FAILURE("Message List not defined", E_INVALIDARG, E_INVALIDARG); \
    } while (0)

int32_t CopyMessages(int32_t cbStoreEid, const unsigned char* storeEid, int32_t cbSrcFolderEid,
                     const unsigned char* srcFolderEid, int32_t cbDstFolderEid,
                     const unsigned char* dstFolderEid, const OrviMapiEntryList* msgList,
                     ULONG flags)
{
    CHECK_SESSION(-1);
    CHECK_ENTRY_ID(cbStoreEid, storeEid, "MsgStore not defined");
    CHECK_ENTRY_ID(cbSrcFolderEid, srcFolderEid, "Source Folder EID not defined");
    CHECK_ENTRY_ID(cbDstFolderEid, dstFolderEid, "Destination Folder EID not defined");
    CHECK_MESSAGE_LIST(msgList, MessageListUsable);

    // Released in the reverse order: the store, the source, the destination.
    ComPtr<IMAPIFolder> destination;
    ComPtr<IMAPIFolder> source;
    ComPtr<IMsgStore> store;
    if (const int32_t failed = OpenStoreById(cbStoreEid, storeEid, store)) return failed;
    if (const int32_t failed = OpenFolderById(store.get(), cbSrcFolderEid, srcFolderEid, source))
        return failed;
    if (const int32_t failed =
            OpenFolderById(store.get(), cbDstFolderEid, dstFolderEid, destination))
        return failed;

    const HRESULT hr =
        source->CopyMessages(AsEntryList(msgList), nullptr, destination.get(), 0, nullptr, flags);
    if (FAILED(hr)) {
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        FetchObjectErrorText(source.get(), hr);
        return (flags & flag::MessageMove) != 0 && hr == MAPI_E_EXTENDED_ERROR ? -2 : hr;
    }
    return 0;
}

} // namespace

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgCopy(int32_t cbStoreEid, const unsigned char* storeEid, int32_t cbSrcFolderEid,
                const unsigned char* srcFolderEid, int32_t cbDstFolderEid,
                const unsigned char* dstFolderEid, const OrviMapiEntryList* msgList)
{
    return CopyMessages(cbStoreEid, storeEid, cbSrcFolderEid, srcFolderEid, cbDstFolderEid,
                        dstFolderEid, msgList, flag::MessageDialog);
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgMove(int32_t cbStoreEid, const unsigned char* storeEid, int32_t cbSrcFolderEid,
                const unsigned char* srcFolderEid, int32_t cbDstFolderEid,
                const unsigned char* dstFolderEid, const OrviMapiEntryList* msgList)
{
    return CopyMessages(cbStoreEid, storeEid, cbSrcFolderEid, srcFolderEid, cbDstFolderEid,
                        dstFolderEid, msgList, flag::MessageMove | flag::MessageDialog);
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgDelete(int32_t cbStoreEid, const unsigned char* storeEid, int32_t cbFolderEid,
                  const unsigned char* folderEid, const OrviMapiEntryList* msgList)
{
    CHECK_SESSION(-1);
    CHECK_ENTRY_ID(cbStoreEid, storeEid, "MsgStore not defined");
    CHECK_ENTRY_ID(cbFolderEid, folderEid, "Folder EID not defined");
    CHECK_MESSAGE_LIST(msgList, MessageListUsable);

    ComPtr<IMAPIFolder> folder;
    ComPtr<IMsgStore> store;
    if (const int32_t failed = OpenStoreById(cbStoreEid, storeEid, store)) return failed;
    if (const int32_t failed = OpenFolderById(store.get(), cbFolderEid, folderEid, folder))
        return failed;

    const HRESULT hr =
        folder->DeleteMessages(AsEntryList(msgList), 0, nullptr, flag::MessageDialog);
    CHECK_HR_FETCH(hr, folder.get(), hr);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgRecycle(int32_t cbStoreEid, const unsigned char* storeEid, int32_t cbFolderEid,
                   const unsigned char* folderEid, const OrviMapiEntryList* msgList)
{
    CHECK_SESSION(-1);
    CHECK_ENTRY_ID(cbStoreEid, storeEid, "MsgStore not defined");
    CHECK_ENTRY_ID(cbFolderEid, folderEid, "EID not defined");
    CHECK_MESSAGE_LIST(msgList, MessageListUsable);

    // Freed and released in the reverse order: the property values, the
    // source, Deleted Items, the store.
    ComPtr<IMsgStore> store;
    ComPtr<IMAPIFolder> deletedItems;
    ComPtr<IMAPIFolder> source;
    MapiBuffer<SPropValue> props;
    if (const int32_t failed = OpenStoreById(cbStoreEid, storeEid, store)) return failed;
    if (const int32_t failed = OpenFolderById(store.get(), cbFolderEid, folderEid, source))
        return failed;

    ULONG count = 0;
    HRESULT hr = store->GetProps(SpecialFolderColumns(), 0, &count, props.put());
    CHECK_HR_FETCH(hr, store.get(), hr);
    if (count <= specialcol::Wastebasket ||
        props[specialcol::Wastebasket].ulPropTag != tag::IpmWastebasketEntryId)
        return RECORD_FAILURE("MsgStore has no Wastebasket", MAPI_E_INVALID_OBJECT,
                              MAPI_E_INVALID_OBJECT);
    const SBinary& wastebasket = props[specialcol::Wastebasket].Value.bin;

    ULONG same = 0;
    hr = store->CompareEntryIDs(wastebasket.cb, reinterpret_cast<LPENTRYID>(wastebasket.lpb),
                                static_cast<ULONG>(cbFolderEid), AsEntryId(folderEid), 0, &same);
    CHECK_HR_FETCH(hr, store.get(), hr);
    if (same != 0) return RECORD_FAILURE(nullptr, MAPI_E_INVALID_OBJECT, MAPI_E_INVALID_OBJECT);

    ULONG objectType = 0;
    hr = store->OpenEntry(wastebasket.cb, reinterpret_cast<LPENTRYID>(wastebasket.lpb), nullptr,
                          flag::BestAccess, &objectType, deletedItems.putUnknown());
    CHECK_HR_FETCH(hr, store.get(), hr);

    hr = source->CopyMessages(AsEntryList(msgList), nullptr, deletedItems.get(), 0, nullptr,
                              flag::MessageMove);
    CHECK_HR_FETCH(hr, source.get(), hr);
    return 0;
}

// An entry without bytes, or with a count of 0, ends the walk as a failing
// message does, with E_INVALIDARG: MAPI is not asked to open it.
ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgRecycle2(int32_t cbStoreEid, const unsigned char* storeEid, int32_t cbFolderEid,
                    const unsigned char* folderEid, const OrviMapiEntryList* msgList)
{
    CHECK_SESSION(-1);
    CHECK_ENTRY_ID(cbStoreEid, storeEid, "MsgStore not defined");
    CHECK_ENTRY_ID(cbFolderEid, folderEid, "EID not defined");
    CHECK_MESSAGE_LIST(msgList, MessageListGiven);

    ComPtr<IMsgStore> store;
    if (const int32_t failed = OpenStoreById(cbStoreEid, storeEid, store)) return failed;

    for (uint32_t i = 0; i < msgList->count; ++i) {
        const OrviMapiBinary& entry = msgList->entries[i];
        const auto cbEntry = static_cast<int32_t>(entry.size);
        if (!EntryIdGiven(cbEntry, entry.bytes))
            return RECORD_FAILURE("Message EID not defined", E_INVALIDARG, E_INVALIDARG);

        ComPtr<IMessage> message;
        OrviMapiMessage handle = nullptr;
        int32_t result =
            OrviMapiMsgStoreGetMsgInterface(ToHandle(store.get()), cbEntry, entry.bytes, &handle);
        message.reset(AsMapi(handle));
        if (result < 0) return RECORD_FAILURE(nullptr, result, result);

        result = OrviMapiMsgStoreMsgDelete(ToHandle(store.get()), handle);
        if (result < 0) return RECORD_FAILURE(nullptr, result, result);
    }
    return 0;
}
