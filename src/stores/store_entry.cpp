// Entry-identifier operations on stores: open folders, parents, messages and
// stores, compare identifiers, make them long-term, delete one message.
#include <cstring>

#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "frame/text_copy.h"
#include "stores/special_folders.h"

namespace {

// clang-format off
SizedSPropTagArray(specialcol::Count, specialFolderColumns) = {
    specialcol::Count,
    {tag::EntryId, tag::IpmSubtreeEntryId, tag::IpmOutboxEntryId, tag::IpmWastebasketEntryId,
     tag::IpmSentMailEntryId}};
// clang-format on

bool EntryIdGiven(int32_t cbEntryId, const unsigned char* entryId)
{
    return cbEntryId > 0 && entryId != nullptr;
}

void CopyBinary(const SBinary& value, uint32_t* cbOut, unsigned char* eidBuf)
{
    std::memcpy(eidBuf, value.lpb, value.cb);
    *cbOut = value.cb;
}

} // namespace

LPSPropTagArray SpecialFolderColumns()
{
    return reinterpret_cast<LPSPropTagArray>(&specialFolderColumns);
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreCompareEntryIds(int32_t, int32_t, int32_t cbEntryId1, const unsigned char* entryId1,
                                int32_t cbEntryId2, const unsigned char* entryId2, int32_t* isSame)
{
    if (isSame != nullptr) *isSame = 0;
    CHECK_SESSION(-1);
    if (!EntryIdGiven(cbEntryId1, entryId1))
        return RECORD_FAILURE("EntryId1 not defined", E_INVALIDARG, E_INVALIDARG);
    if (!EntryIdGiven(cbEntryId2, entryId2))
        return RECORD_FAILURE("EntryId2 not defined", E_INVALIDARG, E_INVALIDARG);
    if (isSame == nullptr) return RECORD_FAILURE("isSame not defined", E_INVALIDARG, E_INVALIDARG);

    IMAPISession* session = Session().currentSession;
    ULONG same = 0;
    const HRESULT hr =
        session->CompareEntryIDs(static_cast<ULONG>(cbEntryId1), AsEntryId(entryId1),
                                 static_cast<ULONG>(cbEntryId2), AsEntryId(entryId2), 0, &same);
    if (FAILED(hr)) {
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        FetchObjectErrorText(session, hr);
        return hr;
    }
    *isSame = same != 0 ? 1 : 0;
    return 0;
}

// Every recorded failure returns -1 (a caller would otherwise have to preset
// *cbOut to notice it); *cbOut and eidBuf are written only on success.
ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreReadLongTermEntryId(int32_t cbEntryId, const unsigned char* entryId,
                                    uint32_t* cbOut, unsigned char* eidBuf)
{
    CHECK_SESSION(-1);
    if (!EntryIdGiven(cbEntryId, entryId))
        return RECORD_FAILURE("Short Term EntryId not defined", E_INVALIDARG, -1);
    CHECK_ARG(cbOut != nullptr && eidBuf != nullptr, "EID buffer not defined", -1);

    if (entryId[0] == 0) { // the first flags byte 0: long-term already
        std::memcpy(eidBuf, entryId, static_cast<size_t>(cbEntryId));
        *cbOut = static_cast<uint32_t>(cbEntryId);
        return 0;
    }

    IMAPISession* session = Session().currentSession;
    ULONG objectType = 0;
    ComPtr<IMAPIProp> object;
    CHECK_HR_FETCH(session->OpenEntry(static_cast<ULONG>(cbEntryId), AsEntryId(entryId), nullptr,
                                      flag::DeferredErrors, &objectType, object.putUnknown()),
                   session, -1);
    MapiBuffer<SPropValue> value;
    CHECK_HR(HrGetOneProp(object.get(), tag::EntryId, value.put()), -1);
    CopyBinary(value->Value.bin, cbOut, eidBuf);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreGetDisplayName(OrviMapiStore store, uint32_t bufSize, char* buf)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "MsgStore not defined", -1);
    if (buf == nullptr || bufSize == 0) return 0;
    buf[0] = '\0';

    SizedSPropTagArray(1, columns) = {1, {tag::DisplayName}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    const HRESULT hr = AsMapi(store)->GetProps(reinterpret_cast<LPSPropTagArray>(&columns), 0,
                                               &count, values.put());
    if (FAILED(hr) || count == 0 || !values || values[0].ulPropTag != tag::DisplayName) return 0;
    return static_cast<int32_t>(BoundedTextCopy(values[0].Value.lpszA, bufSize, buf));
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreGetFolderInterface(OrviMapiStore store, int32_t cbEntryId,
                                   const unsigned char* entryId, OrviMapiFolder* folderOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "MsgStore not defined", -1);
    CHECK_ARG(folderOut != nullptr, "pFolder not defined", -1);

    ULONG objectType = 0;
    ComPtr<IMAPIFolder> folder;
    const HRESULT hr =
        AsMapi(store)->OpenEntry(static_cast<ULONG>(cbEntryId), AsEntryId(entryId), nullptr,
                                 flag::BestAccess, &objectType, folder.putUnknown());
    CHECK_HR_FETCH(hr, AsMapi(store), -1);
    if (objectType != MAPI_FOLDER) return RECORD_FAILURE("Not Folder Object", hr, -1);
    *folderOut = ToHandle(folder.release());
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreGetFolderParentInterface(OrviMapiStore store, int32_t cbEntryId,
                                         const unsigned char* entryId, OrviMapiFolder* folderOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "MsgStore not defined", -1);
    CHECK_ARG(EntryIdGiven(cbEntryId, entryId), "EID not defined", -1);
    CHECK_ARG(folderOut != nullptr, "pFolder not defined", -1);

    IMsgStore* mapiStore = AsMapi(store);
    ULONG objectType = 0;
    ComPtr<IMAPIFolder> folder;
    const HRESULT hr =
        mapiStore->OpenEntry(static_cast<ULONG>(cbEntryId), AsEntryId(entryId), nullptr,
                             flag::BestAccess, &objectType, folder.putUnknown());
    CHECK_HR_FETCH(hr, mapiStore, -1);
    if (objectType != MAPI_FOLDER) return RECORD_FAILURE("Not Folder Object", hr, -1);

    MapiBuffer<SPropValue> parentId;
    CHECK_HR(HrGetOneProp(folder.get(), tag::ParentEntryId, parentId.put()), -1);
    ComPtr<IMAPIFolder> parent;
    CHECK_HR_FETCH(mapiStore->OpenEntry(
                       parentId->Value.bin.cb, reinterpret_cast<LPENTRYID>(parentId->Value.bin.lpb),
                       nullptr, flag::BestAccess, &objectType, parent.putUnknown()),
                   mapiStore, -1);
    *folderOut = ToHandle(parent.release());
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreGetMsgInterface(OrviMapiStore store, int32_t cbEntryId,
                                const unsigned char* entryId, OrviMapiMessage* msgOut)
{
    if (!SessionIsOpen()) return RECORD_FAILURE(kSessionNotStarted, E_FAIL, -1);
    if (store == nullptr) return RECORD_FAILURE("MsgStore not defined", E_FAIL, E_FAIL);
    if (msgOut == nullptr) return RECORD_FAILURE("pMessage not defined", E_FAIL, E_FAIL);

    ULONG objectType = 0;
    ComPtr<IMessage> message;
    const HRESULT hr =
        AsMapi(store)->OpenEntry(static_cast<ULONG>(cbEntryId), AsEntryId(entryId), nullptr,
                                 flag::BestAccess, &objectType, message.putUnknown());
    if (FAILED(hr)) {
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        FetchObjectErrorText(AsMapi(store), hr);
        return hr;
    }
    if (objectType != MAPI_MESSAGE) return RECORD_FAILURE("Not Msg Object", hr, E_FAIL);
    *msgOut = ToHandle(message.release());
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreGetIPMSubtreeEID(OrviMapiStore store, uint32_t* cbOut, unsigned char* eidBuf)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "MsgStore not defined", -1);
    CHECK_ARG(cbOut != nullptr && eidBuf != nullptr, "EID buffer not defined", -1);

    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    const HRESULT hr = AsMapi(store)->GetProps(SpecialFolderColumns(), 0, &count, values.put());
    CHECK_HR_FETCH(hr, AsMapi(store), -1);
    if (count <= specialcol::IpmSubtree ||
        values[specialcol::IpmSubtree].ulPropTag != tag::IpmSubtreeEntryId)
        return RECORD_FAILURE(nullptr, hr, -1);
    CopyBinary(values[specialcol::IpmSubtree].Value.bin, cbOut, eidBuf);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreGetRootFolder(OrviMapiStore store, OrviMapiFolder* folderOut, uint32_t* cbOut,
                              unsigned char* eidBuf)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "MsgStore not defined", -1);
    CHECK_ARG(folderOut != nullptr && cbOut != nullptr && eidBuf != nullptr, "pFolder not defined",
              -1);

    SizedSPropTagArray(1, columns) = {1, {tag::IpmSubtreeEntryId}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    CHECK_HR_FETCH(AsMapi(store)->GetProps(reinterpret_cast<LPSPropTagArray>(&columns), 0, &count,
                                           values.put()),
                   AsMapi(store), -1);
    // A store without an IPM subtree gives an error value, never an identifier.
    if (count == 0 || values[0].ulPropTag != tag::IpmSubtreeEntryId) {
        const HRESULT missing = count > 0 ? values[0].Value.err : MAPI_E_NOT_FOUND;
        return RECORD_FAILURE(nullptr, missing, -1);
    }

    const SBinary& subtreeId = values[0].Value.bin;
    IMAPISession* session = Session().currentSession;
    ULONG objectType = 0;
    ComPtr<IMAPIFolder> folder;
    const HRESULT hr =
        session->OpenEntry(subtreeId.cb, reinterpret_cast<LPENTRYID>(subtreeId.lpb), nullptr,
                           flag::BestAccess, &objectType, folder.putUnknown());
    CHECK_HR_FETCH(hr, session, -1);
    if (objectType != MAPI_FOLDER) return RECORD_FAILURE("Not Folder Object", hr, -1);
    *folderOut = ToHandle(folder.release());
    CopyBinary(subtreeId, cbOut, eidBuf);
    return 0;
}

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreMsgDelete(OrviMapiStore store, OrviMapiMessage msg)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "pMsgStore param not defined", -1);
    CHECK_ARG(msg != nullptr, "pMessage param not defined", -1);

    IMsgStore* mapiStore = AsMapi(store);
    MapiBuffer<SPropValue> parentId;
    CHECK_HR(HrGetOneProp(AsMapi(msg), tag::ParentEntryId, parentId.put()), -1);
    ULONG objectType = 0;
    ComPtr<IMAPIFolder> folder;
    CHECK_HR_FETCH(mapiStore->OpenEntry(
                       parentId->Value.bin.cb, reinterpret_cast<LPENTRYID>(parentId->Value.bin.lpb),
                       nullptr, flag::BestAccess, &objectType, folder.putUnknown()),
                   mapiStore, -1);
    // The parent of a message is a folder; anything else cannot be asked to
    // delete messages.
    if (objectType != MAPI_FOLDER) return RECORD_FAILURE("Not Folder Object", 0, -1);
    MapiBuffer<SPropValue> messageId;
    CHECK_HR(HrGetOneProp(AsMapi(msg), tag::EntryId, messageId.put()), -1);

    ENTRYLIST list{1, &messageId->Value.bin};
    CHECK_HR_FETCH(folder->DeleteMessages(&list, 0, nullptr, 0), folder.get(), -1);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreGetMsgStoreInterface(int32_t cbEntryId, const unsigned char* entryId,
                                     OrviMapiStore* storeOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(EntryIdGiven(cbEntryId, entryId), "MsgStore EID not defined", -1);
    CHECK_ARG(storeOut != nullptr, "MsgStore not defined", -1);

    IMAPISession* session = Session().currentSession;
    ComPtr<IMsgStore> store;
    const HRESULT hr = session->OpenMsgStore(0, static_cast<ULONG>(cbEntryId), AsEntryId(entryId),
                                             nullptr, flag::BestAccess, store.put());
    if (FAILED(hr)) {
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        FetchObjectErrorText(session, hr);
        return hr;
    }
    *storeOut = ToHandle(store.release());
    return 0;
}

ORVIMAPI_EXTERN(void) OrviMapiMsgStoreRelease(OrviMapiStore store)
{
    if (store == nullptr) {
        RecordLastError(__FILE__, __LINE__, "Msg Store not defined", 0);
        return;
    }
    AsMapi(store)->Release();
}
