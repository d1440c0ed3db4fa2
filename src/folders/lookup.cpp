// Single folders: open one, read its name or a message's subject, its main
// properties, its type, and find a top-level folder by type.
#include <cstring>

#include "folders/folder_types.h"
#include "folders/hierarchy_columns.h"
#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "stores/special_folders.h"

namespace {

// Copies n = min(length, bufSize - 1) bytes and always a terminator, and
// stores n; the caller has checked bufSize > 0.
void CopyNamedText(const char* text, char* buf, uint32_t bufSize, uint32_t* lenOut)
{
    size_t length = std::strlen(text);
    if (length >= bufSize) length = bufSize - 1;
    std::memcpy(buf, text, length);
    buf[length] = '\0';
    *lenOut = static_cast<uint32_t>(length);
}

struct ClassType {
    const char* containerClass;
    int32_t type;
};

constexpr ClassType kClassTypes[] = {
    {"IPF.Appointment", foldertype::Appointment},
    {"IPF.Contact", foldertype::Contact},
    {"IPF.Journal", foldertype::Journal},
    {"IPF.StickyNote", foldertype::StickyNote},
    {"IPF.Task", foldertype::Task},
};

// The type a folder's container class gives, the display name deciding
// among "IPF.Note" folders.
int32_t TypeOfClass(const SPropValue* props)
{
    const char* containerClass = props[hiercol::ContainerClass].Value.lpszA;
    if (std::strcmp(containerClass, "IPF.Note") == 0) {
        const SPropValue& name = props[hiercol::DisplayName];
        if (name.ulPropTag != tag::DisplayName) return foldertype::Other;
        if (std::strcmp(name.Value.lpszA, "Drafts") == 0) return foldertype::Drafts;
        if (std::strcmp(name.Value.lpszA, "Sent Items") == 0) return foldertype::SentItems;
        return foldertype::Other;
    }
    for (const ClassType& entry : kClassTypes)
        if (std::strcmp(containerClass, entry.containerClass) == 0) return entry.type;
    return foldertype::Other;
}

bool SameEntry(IMsgStore* store, int32_t cbEntryId, const unsigned char* entryId,
               const SBinary& other)
{
    ULONG same = 0;
    const HRESULT hr =
        store->CompareEntryIDs(static_cast<ULONG>(cbEntryId), AsEntryId(entryId), other.cb,
                               reinterpret_cast<LPENTRYID>(other.lpb), 0, &same);
    return SUCCEEDED(hr) && same != 0;
}

} // namespace

// A null container is refused rather than opened from.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderGet(OrviMapiFolder container, uint32_t cbEntryId, const unsigned char* entryId,
                  OrviMapiFolder* folderOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(container != nullptr, "Folder not defined", -1);
    CHECK_ARG(folderOut != nullptr, "pFolder not defined", -1);

    ULONG objectType = 0;
    ComPtr<IMAPIFolder> folder;
    const HRESULT hr = AsMapi(container)->OpenEntry(
        cbEntryId, AsEntryId(entryId), nullptr, flag::BestAccess, &objectType, folder.putUnknown());
    CHECK_HR_FETCH(hr, AsMapi(container), -1);
    if (objectType != MAPI_FOLDER) return RECORD_FAILURE("Not Folder Object", hr, -1);
    *folderOut = ToHandle(folder.release());
    return 0;
}

// From the open on, MAPI failures are recorded but the result stays 0; the
// length is written only when a name was copied. A buffer of size 0 is
// refused before any MAPI call.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderGetDisplayName(OrviMapiStore store, int32_t cbEntryId, const unsigned char* entryId,
                             char* buf, uint32_t bufSize, uint32_t* lenOut)
{
    CHECK_ARG(store != nullptr, "pMsgStore is missing", -1);
    CHECK_ARG(cbEntryId > 0 && entryId != nullptr, "EID is missing", -1);
    CHECK_SESSION(-1);
    CHECK_ARG(buf != nullptr && bufSize > 0 && lenOut != nullptr, "Buffer not defined", -1);

    IMsgStore* mapiStore = AsMapi(store);
    ULONG objectType = 0;
    ComPtr<IMAPIFolder> folder;
    const HRESULT hr =
        mapiStore->OpenEntry(static_cast<ULONG>(cbEntryId), AsEntryId(entryId), nullptr,
                             flag::DeferredErrors, &objectType, folder.putUnknown());
    CHECK_HR_FETCH(hr, mapiStore, 0);
    if (objectType != MAPI_FOLDER) return RECORD_FAILURE("Not Folder Object", hr, 0);

    ULONG count = 0;
    MapiBuffer<SPropValue> props;
    CHECK_HR_FETCH(folder->GetProps(HierarchyColumns(), 0, &count, props.put()), folder.get(), 0);
    if (count > hiercol::DisplayName && props[hiercol::DisplayName].ulPropTag == tag::DisplayName)
        CopyNamedText(props[hiercol::DisplayName].Value.lpszA, buf, bufSize, lenOut);
    return 0;
}

// As OrviMapiFolderGetDisplayName, for a message's subject.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderGetMsgSubject(OrviMapiStore store, int32_t cbEntryId, const unsigned char* entryId,
                            char* buf, uint32_t bufSize, uint32_t* lenOut)
{
    CHECK_ARG(store != nullptr, "pMsgStore is missing", -1);
    CHECK_ARG(cbEntryId > 0 && entryId != nullptr, "EID is missing", -1);
    CHECK_SESSION(-1);
    CHECK_ARG(buf != nullptr && bufSize > 0 && lenOut != nullptr, "Buffer not defined", -1);

    ULONG objectType = 0;
    ComPtr<IMessage> message;
    const HRESULT hr = Session().currentSession->OpenEntry(
        static_cast<ULONG>(cbEntryId), AsEntryId(entryId), nullptr, flag::DeferredErrors,
        &objectType, message.putUnknown());
    CHECK_HR_FETCH(hr, AsMapi(store), 0);
    if (objectType != MAPI_MESSAGE) return RECORD_FAILURE("Not Msg Object", hr, 0);

    SizedSPropTagArray(1, columns) = {1, {tag::Subject}};
    ULONG count = 0;
    MapiBuffer<SPropValue> props;
    CHECK_HR_FETCH(
        message->GetProps(reinterpret_cast<LPSPropTagArray>(&columns), 0, &count, props.put()),
        message.get(), 0);
    if (count > 0 && props[0].ulPropTag == tag::Subject)
        CopyNamedText(props[0].Value.lpszA, buf, bufSize, lenOut);
    return 0;
}

// A failing GetProps hands nothing out, even when it returned values.
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderPropsGet(OrviMapiFolder folder, OrviMapiProps* propsOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(folder != nullptr, "pFolder is NULL", -1);
    CHECK_ARG(propsOut != nullptr, "pProps is NULL", -1);

    ULONG count = 0;
    MapiBuffer<SPropValue> props;
    CHECK_HR_FETCH(AsMapi(folder)->GetProps(HierarchyColumns(), 0, &count, props.put()),
                   AsMapi(folder), -1);
    if (count == 0 || !props) return -1;
    *propsOut = ToHandle(props.release());
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderPropsRead(OrviMapiFolder folder, OrviMapiProps props, FolderPropsRecord* record)
{
    CHECK_ARG(folder != nullptr, "pFolder is NULL", -1);
    CHECK_ARG(props != nullptr, "pProps is NULL", -1);
    CHECK_ARG(record != nullptr, "Record not defined", -1);

    const SPropValue* values = AsMapi(props);
    const SPropValue& contentCount = values[hiercol::ContentCount];
    record->contentCount = contentCount.ulPropTag == tag::ContentCount ? contentCount.Value.ul : 0;
    const SPropValue& subfolders = values[hiercol::Subfolders];
    record->hasSubfolders =
        subfolders.ulPropTag == tag::Subfolders && subfolders.Value.b == 1 ? 1 : 0;

    const SPropValue& name = values[hiercol::DisplayName];
    record->displayNameLength = 0;
    if (name.ulPropTag == tag::DisplayName) {
        record->displayNameLength = static_cast<uint32_t>(std::strlen(name.Value.lpszA));
        record->displayName = name.Value.lpszA;
    }
    const SPropValue& entryId = values[hiercol::EntryId];
    record->entryIdSize = 0;
    if (entryId.ulPropTag == tag::EntryId) {
        record->entryIdSize = entryId.Value.bin.cb;
        record->entryId = entryId.Value.bin.lpb;
    }
    return 0;
}

// Records nothing but the session check: every other failure answers 5.
// An identifier of 0 bytes or without bytes names no folder and answers 5
// before any MAPI call.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderGetFolderType(OrviMapiStore store, int32_t cbEntryId, const unsigned char* entryId)
{
    CHECK_SESSION(-1);
    if (store == nullptr || cbEntryId <= 0 || entryId == nullptr) return foldertype::Other;
    IMsgStore* mapiStore = AsMapi(store);

    ULONG count = 0;
    MapiBuffer<SPropValue> special;
    if (FAILED(mapiStore->GetProps(SpecialFolderColumns(), 0, &count, special.put())) ||
        count == 0 || !special)
        return foldertype::Other;

    ULONG cbInbox = 0;
    MapiBuffer<ENTRYID> inboxId;
    MapiBuffer<char> explicitClass;
    if (FAILED(
            mapiStore->GetReceiveFolder(nullptr, 0, &cbInbox, inboxId.put(), explicitClass.put())))
        return foldertype::Other;

    struct Candidate {
        ULONG position;
        ULONG expectedTag;
        int32_t type;
    };
    constexpr Candidate kStoreCandidates[] = {
        {specialcol::IpmSubtree, tag::IpmSubtreeEntryId, foldertype::IpmSubtree},
        {specialcol::StoreEntryId, tag::EntryId, foldertype::StoreRoot},
        {specialcol::Outbox, tag::IpmOutboxEntryId, foldertype::Outbox},
        {specialcol::Wastebasket, tag::IpmWastebasketEntryId, foldertype::Wastebasket},
    };
    // A position holding an error value has no identifier to compare.
    const auto matches = [&](const Candidate& candidate) {
        if (candidate.position >= count) return false;
        const SPropValue& value = special[candidate.position];
        return value.ulPropTag == candidate.expectedTag &&
               SameEntry(mapiStore, cbEntryId, entryId, value.Value.bin);
    };
    for (const Candidate& candidate : kStoreCandidates)
        if (matches(candidate)) return candidate.type;
    if (inboxId && SameEntry(mapiStore, cbEntryId, entryId,
                             SBinary{cbInbox, reinterpret_cast<LPBYTE>(inboxId.get())}))
        return foldertype::Inbox;
    if (matches({specialcol::SentMail, tag::IpmSentMailEntryId, foldertype::SentItems}))
        return foldertype::SentItems;

    ULONG objectType = 0;
    ComPtr<IMAPIFolder> folder;
    if (FAILED(mapiStore->OpenEntry(static_cast<ULONG>(cbEntryId), AsEntryId(entryId), nullptr,
                                    flag::DeferredErrors, &objectType, folder.putUnknown())) ||
        objectType != MAPI_FOLDER)
        return foldertype::Other;

    ULONG propCount = 0;
    MapiBuffer<SPropValue> props;
    if (FAILED(folder->GetProps(HierarchyColumns(), 0, &propCount, props.put())) || !props ||
        propCount <= hiercol::ContainerClass ||
        props[hiercol::ContainerClass].ulPropTag != tag::ContainerClass)
        return foldertype::Other;
    return TypeOfClass(props.get());
}

// Each row set of the walk is freed once its row has been examined; the
// last stays alive until the folder found is opened from its identifier.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderFindByType(OrviMapiStore store, int32_t folderType, OrviMapiFolder* folderOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "pMsgStore param not defined", -1);
    CHECK_ARG(folderOut != nullptr, "pFolder not defined", -1);

    OrviMapiFolder rootHandle = nullptr;
    uint32_t cbRootId = 0;
    unsigned char rootId[1024];
    const int32_t rootResult = OrviMapiMsgStoreGetRootFolder(store, &rootHandle, &cbRootId, rootId);
    ComPtr<IMAPIFolder> root(AsMapi(rootHandle));
    if (rootResult == -1) return RECORD_FAILURE("OrviMapiMsgStoreGetRootFolder failed", 0, -1);

    OrviMapiTable tableHandle = nullptr;
    const int32_t tableResult = OrviMapiFolderHierQuerySet(ToHandle(root.get()), &tableHandle);
    ComPtr<IMAPITable> table(AsMapi(tableHandle));
    if (tableResult == -1) return RECORD_FAILURE("OrviMapiFolderHierQuerySet failed", 0, -1);

    int32_t currentType = foldertype::Other;
    uint32_t cbEntryId = 0;
    unsigned char* entryId = nullptr;
    RowSetPtr rows;
    bool found = false;
    for (;;) {
        if (currentType == folderType) {
            found = true;
            break;
        }
        OrviMapiRowSet next = nullptr;
        const int32_t rowCount = OrviMapiFolderHierQueryGetRow(ToHandle(table.get()), &next);
        *rows.put() = AsMapi(next);
        if (rowCount <= 0) break;
        const int32_t eidResult =
            OrviMapiFolderHierGetEID(ToHandle(rows.get()), &cbEntryId, &entryId);
        if (eidResult != 0) return eidResult;
        if (cbEntryId == 0) continue;
        currentType = OrviMapiFolderGetFolderType(store, static_cast<int32_t>(cbEntryId), entryId);
    }
    if (!found) return 0;

    OrviMapiFolder folder = nullptr;
    const int32_t getResult = OrviMapiFolderGet(ToHandle(root.get()), cbEntryId, entryId, &folder);
    if (getResult != 0) return RECORD_FAILURE("OrviMapiFolderGet failed", 0, getResult);
    *folderOut = folder;
    return 0;
}
