// Changes to a store's folder tree: create, copy or move, recycle into
// Deleted Items, delete, empty and rename.
//
// The entry-identifier exports open the store and folders themselves through
// the store exports, return 0 or a negative HRESULT, and release everything
// they opened on every path.
#include <cstring>

#include "folders/hierarchy_columns.h"
#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "stores/special_folders.h"

namespace {

constexpr const char* kStoreOpenFailed = "OrviMapiMsgStoreGetMsgStoreInterface return error";
constexpr const char* kFolderOpenFailed = "OrviMapiMsgStoreGetFolderInterface return error";

// The name buffer of the exports that build or set a name.
constexpr size_t kNameBufferSize = 128;
constexpr size_t kMaxNameLength = kNameBufferSize - 1;
// The base of the retry names leaves room for a two-digit suffix; a copy's
// first attempt uses it too.
constexpr size_t kMaxRetryBaseLength = 125;
// The name itself, then the name with 1 to 99.
constexpr int kNameAttempts = 100;

bool EntryIdGiven(int32_t cbEntryId, const unsigned char* entryId)
{
    return cbEntryId > 0 && entryId != nullptr;
}

// An argument check of the entry-identifier exports: E_INVALIDARG, recorded.
#define CHECK_ENTRY_ID(cbEntryId, entryId, message)                     \
    do {                                                                \
        if (!EntryIdGiven(cbEntryId, entryId))                          \
            return RECORD_FAILURE(message, E_INVALIDARG, E_INVALIDARG); \
    } while (0)

// The common opening steps. Each returns 0, or the export's result with the
// failure recorded.

// A MAPI failure of the store export leaves `store` null, and the folder
// open that follows reports it; only its -1 ends the export here.
int32_t OpenStore(int32_t cbEntryId, const unsigned char* entryId, ComPtr<IMsgStore>& store)
{
    OrviMapiStore handle = nullptr;
    const int32_t result = OrviMapiMsgStoreGetMsgStoreInterface(cbEntryId, entryId, &handle);
    store.reset(AsMapi(handle));
    return result == -1 ? RECORD_FAILURE(kStoreOpenFailed, E_INVALIDARG, E_INVALIDARG) : 0;
}

int32_t OpenFolder(IMsgStore* store, int32_t cbEntryId, const unsigned char* entryId,
                   ComPtr<IMAPIFolder>& folder)
{
    OrviMapiFolder handle = nullptr;
    const int32_t result =
        OrviMapiMsgStoreGetFolderInterface(ToHandle(store), cbEntryId, entryId, &handle);
    folder.reset(AsMapi(handle));
    return result == -1 ? RECORD_FAILURE(kFolderOpenFailed, E_INVALIDARG, E_INVALIDARG) : 0;
}

int32_t OpenStoreAndFolder(int32_t cbStoreEntryId, const unsigned char* storeEntryId,
                           int32_t cbEntryId, const unsigned char* entryId,
                           ComPtr<IMsgStore>& store, ComPtr<IMAPIFolder>& folder)
{
    if (const int32_t failed = OpenStore(cbStoreEntryId, storeEntryId, store)) return failed;
    return OpenFolder(store.get(), cbEntryId, entryId, folder);
}

// Opens a folder's parent on the store; anything but a folder is refused.
int32_t OpenParent(IMsgStore* store, const SBinary& parentId, ComPtr<IMAPIFolder>& parent)
{
    ULONG objectType = 0;
    const HRESULT hr =
        store->OpenEntry(parentId.cb, reinterpret_cast<LPENTRYID>(parentId.lpb), nullptr,
                         flag::BestAccess, &objectType, parent.putUnknown());
    CHECK_HR_FETCH(hr, store, hr);
    if (objectType != MAPI_FOLDER)
        return RECORD_FAILURE(nullptr, MAPI_E_INVALID_OBJECT, MAPI_E_INVALID_OBJECT);
    return 0;
}

// Copies at most maxLength characters of `text` and a terminator.
void CopyName(char (&name)[kNameBufferSize], const char* text, size_t maxLength)
{
    size_t length = std::strlen(text);
    if (length > maxLength) length = maxLength;
    std::memcpy(name, text, length);
    name[length] = '\0';
}

// Calls `attempt` with the name cut to maxFirstLength, then on each
// MAPI_E_COLLISION with the name cut once to the retry base and followed by
// 1 to 99, so that every retry shares one base; gives the last call's result.
template <class Attempt>
HRESULT WithCollisionRetries(const char* text, size_t maxFirstLength, Attempt attempt)
{
    char name[kNameBufferSize];
    CopyName(name, text, maxFirstLength);
    HRESULT hr = attempt(name);
    if (hr != MAPI_E_COLLISION) return hr;
    char base[kNameBufferSize];
    CopyName(base, text, kMaxRetryBaseLength);
    const size_t baseLength = std::strlen(base);
    std::memcpy(name, base, baseLength);
    for (int counter = 1; hr == MAPI_E_COLLISION && counter < kNameAttempts; ++counter) {
        size_t length = baseLength;
        if (counter >= 10) name[length++] = static_cast<char>('0' + counter / 10);
        name[length++] = static_cast<char>('0' + counter % 10);
        name[length] = '\0';
        hr = attempt(name);
    }
    return hr;
}

HRESULT SetDisplayName(IMAPIFolder* folder, const char* name)
{
    char text[kNameBufferSize];
    CopyName(text, name, kMaxNameLength);
    SPropValue value{};
    value.ulPropTag = tag::DisplayName;
    value.Value.lpszA = text;
    return folder->SetProps(1, &value, nullptr);
}

} // namespace

// A null parent, name or out-argument is refused.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderAdd(OrviMapiFolder parent, const char* name, OrviMapiFolder* folderOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(parent != nullptr, "Folder not defined", -1);
    CHECK_ARG(name != nullptr, "Folder name not defined", -1);
    CHECK_ARG(folderOut != nullptr, "pFolder not defined", -1);

    ComPtr<IMAPIFolder> folder;
    CHECK_HR(AsMapi(parent)->CreateFolder(flag::FolderGeneric, const_cast<LPSTR>(name), nullptr,
                                          nullptr, flag::DeferredErrors, folder.put()),
             -1);
    *folderOut = ToHandle(folder.release());
    return 0;
}

// A name is cut to the 127 characters of the name buffer; its retries to
// 125 characters and the suffix.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderNew(int32_t cbStoreEntryId, const unsigned char* storeEntryId,
                  int32_t cbParentEntryId, const unsigned char* parentEntryId, const char* name,
                  OrviMapiFolder* folderOut)
{
    CHECK_SESSION(-1);
    CHECK_ENTRY_ID(cbStoreEntryId, storeEntryId, "MsgStore not defined");
    CHECK_ENTRY_ID(cbParentEntryId, parentEntryId, "EID not defined");
    if (name == nullptr || name[0] == '\0')
        return RECORD_FAILURE("EID not defined", E_INVALIDARG, E_INVALIDARG);
    if (folderOut == nullptr)
        return RECORD_FAILURE("pFolder not defined", E_INVALIDARG, E_INVALIDARG);

    ComPtr<IMsgStore> store;
    ComPtr<IMAPIFolder> parent;
    if (const int32_t failed = OpenStoreAndFolder(cbStoreEntryId, storeEntryId, cbParentEntryId,
                                                  parentEntryId, store, parent))
        return failed;

    ComPtr<IMAPIFolder> folder;
    const HRESULT hr = WithCollisionRetries(name, kMaxNameLength, [&](char* attemptName) {
        return parent->CreateFolder(flag::FolderGeneric, attemptName, nullptr, nullptr,
                                    flag::DeferredErrors, folder.put());
    });
    CHECK_HR_FETCH(hr, store.get(), hr);
    *folderOut = ToHandle(folder.release());
    return 0;
}

// A source without PR_PARENT_ENTRYID (a store's root) cannot be copied:
// MAPI_E_NOT_FOUND.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderCopy(int32_t cbStoreEntryId, const unsigned char* storeEntryId,
                   int32_t cbSourceEntryId, const unsigned char* sourceEntryId,
                   int32_t cbDestEntryId, const unsigned char* destEntryId, int32_t move)
{
    CHECK_SESSION(-1);
    CHECK_ENTRY_ID(cbStoreEntryId, storeEntryId, "MsgStore not defined");
    CHECK_ENTRY_ID(cbSourceEntryId, sourceEntryId, "Source Folder EID not defined");
    CHECK_ENTRY_ID(cbDestEntryId, destEntryId, "Destination Folder EID not defined");

    ComPtr<IMsgStore> store;
    ComPtr<IMAPIFolder> destination;
    ComPtr<IMAPIFolder> source;
    if (const int32_t failed = OpenStoreAndFolder(cbStoreEntryId, storeEntryId, cbDestEntryId,
                                                  destEntryId, store, destination))
        return failed;
    if (const int32_t failed = OpenFolder(store.get(), cbSourceEntryId, sourceEntryId, source))
        return failed;

    ULONG count = 0;
    MapiBuffer<SPropValue> props;
    HRESULT hr = source->GetProps(HierarchyColumns(), 0, &count, props.put());
    CHECK_HR_FETCH(hr, source.get(), hr);
    if (count <= hiercol::DisplayName || props[hiercol::DisplayName].ulPropTag != tag::DisplayName)
        return RECORD_FAILURE(nullptr, E_INVALIDARG, E_INVALIDARG);
    const char* baseName = props[hiercol::DisplayName].Value.lpszA;

    if (count <= hiercol::ParentEntryId ||
        props[hiercol::ParentEntryId].ulPropTag != tag::ParentEntryId)
        return RECORD_FAILURE(nullptr, hr, MAPI_E_NOT_FOUND);
    ComPtr<IMAPIFolder> parent;
    if (const int32_t failed =
            OpenParent(store.get(), props[hiercol::ParentEntryId].Value.bin, parent))
        return failed;

    const ULONG flags =
        flag::CopySubfolders | flag::FolderDialog | (move == 1 ? flag::FolderMove : 0);
    hr = WithCollisionRetries(baseName, kMaxRetryBaseLength, [&](char* attemptName) {
        return parent->CopyFolder(static_cast<ULONG>(cbSourceEntryId), AsEntryId(sourceEntryId),
                                  nullptr, destination.get(), attemptName, 0, nullptr, flags);
    });
    CHECK_HR_FETCH(hr, parent.get(), hr);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderRecycle(int32_t cbStoreEntryId, const unsigned char* storeEntryId, int32_t cbEntryId,
                      const unsigned char* entryId)
{
    CHECK_SESSION(-1);
    CHECK_ENTRY_ID(cbStoreEntryId, storeEntryId, "MsgStore not defined");
    CHECK_ENTRY_ID(cbEntryId, entryId, "EID not defined");

    // Here any failing open of the store ends the export.
    ComPtr<IMsgStore> store;
    if (OpenStore(cbStoreEntryId, storeEntryId, store) != 0 || !store)
        return RECORD_FAILURE(kStoreOpenFailed, E_INVALIDARG, E_INVALIDARG);

    ULONG count = 0;
    MapiBuffer<SPropValue> props;
    HRESULT hr = store->GetProps(SpecialFolderColumns(), 0, &count, props.put());
    CHECK_HR_FETCH(hr, store.get(), hr);
    if (count <= specialcol::Wastebasket ||
        props[specialcol::Wastebasket].ulPropTag != tag::IpmWastebasketEntryId)
        return RECORD_FAILURE("MsgStore has no Wastebasket", MAPI_E_INVALID_OBJECT,
                              MAPI_E_INVALID_OBJECT);
    const SBinary& wastebasket = props[specialcol::Wastebasket].Value.bin;

    ULONG same = 0;
    hr = store->CompareEntryIDs(wastebasket.cb, reinterpret_cast<LPENTRYID>(wastebasket.lpb),
                                static_cast<ULONG>(cbEntryId), AsEntryId(entryId), 0, &same);
    CHECK_HR_FETCH(hr, store.get(), hr);
    if (same != 0) return RECORD_FAILURE(nullptr, MAPI_E_INVALID_OBJECT, MAPI_E_INVALID_OBJECT);

    const int32_t copied =
        OrviMapiFolderCopy(cbStoreEntryId, storeEntryId, cbEntryId, entryId,
                           static_cast<int32_t>(wastebasket.cb), wastebasket.lpb, 1);
    return copied < 0 ? copied : 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderDelete(int32_t cbStoreEntryId, const unsigned char* storeEntryId, int32_t cbEntryId,
                     const unsigned char* entryId)
{
    CHECK_SESSION(-1);
    CHECK_ENTRY_ID(cbStoreEntryId, storeEntryId, "MsgStore not defined");
    CHECK_ENTRY_ID(cbEntryId, entryId, "Folder EID not defined");

    ComPtr<IMsgStore> store;
    ComPtr<IMAPIFolder> folder;
    if (const int32_t failed =
            OpenStoreAndFolder(cbStoreEntryId, storeEntryId, cbEntryId, entryId, store, folder))
        return failed;

    MapiBuffer<SPropValue> parentId;
    HRESULT hr = HrGetOneProp(folder.get(), tag::ParentEntryId, parentId.put());
    CHECK_HR_FETCH(hr, folder.get(), hr);
    ComPtr<IMAPIFolder> parent;
    if (const int32_t failed = OpenParent(store.get(), parentId->Value.bin, parent)) return failed;

    hr = parent->DeleteFolder(static_cast<ULONG>(cbEntryId), AsEntryId(entryId), 0, nullptr,
                              flag::DelMessages | flag::DelFolders);
    CHECK_HR_FETCH(hr, parent.get(), hr);
    return 0;
}

// A null parent is refused; the identifier is MAPI's to judge.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderDelete2(OrviMapiFolder parent, int32_t cbEntryId, const unsigned char* entryId)
{
    CHECK_SESSION(-1);
    CHECK_ARG(parent != nullptr, "Folder not defined", -1);
    CHECK_HR_FETCH(AsMapi(parent)->DeleteFolder(static_cast<ULONG>(cbEntryId), AsEntryId(entryId),
                                                0, nullptr, flag::DelMessages | flag::DelFolders),
                   AsMapi(parent), -1);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderEmpty(int32_t cbStoreEntryId, const unsigned char* storeEntryId, int32_t cbEntryId,
                    const unsigned char* entryId)
{
    CHECK_SESSION(-1);
    CHECK_ENTRY_ID(cbStoreEntryId, storeEntryId, "MsgStore not defined");
    CHECK_ENTRY_ID(cbEntryId, entryId, "Folder EID not defined");

    ComPtr<IMsgStore> store;
    ComPtr<IMAPIFolder> folder;
    if (const int32_t failed =
            OpenStoreAndFolder(cbStoreEntryId, storeEntryId, cbEntryId, entryId, store, folder))
        return failed;

    // Without DEL_ASSOCIATED the folder's associated messages stay.
    const HRESULT hr = folder->EmptyFolder(0, nullptr, flag::FolderDialog);
    CHECK_HR_FETCH(hr, folder.get(), hr);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderRename(int32_t cbStoreEntryId, const unsigned char* storeEntryId, int32_t cbEntryId,
                     const unsigned char* entryId, const char* name)
{
    CHECK_SESSION(-1);
    CHECK_ENTRY_ID(cbStoreEntryId, storeEntryId, "MsgStore not defined");
    CHECK_ENTRY_ID(cbEntryId, entryId, "EID not defined");
    if (name == nullptr || name[0] == '\0')
        return RECORD_FAILURE("EID not defined", E_INVALIDARG, E_INVALIDARG);

    ComPtr<IMsgStore> store;
    ComPtr<IMAPIFolder> folder;
    if (const int32_t failed =
            OpenStoreAndFolder(cbStoreEntryId, storeEntryId, cbEntryId, entryId, store, folder))
        return failed;

    HRESULT hr = SetDisplayName(folder.get(), name);
    CHECK_HR_FETCH(hr, folder.get(), hr);
    hr = folder->SaveChanges(flag::KeepOpenReadWrite);
    CHECK_HR_FETCH(hr, folder.get(), hr);
    return 0;
}

// An empty name is refused without a record; a null folder with one.
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderSetDisplayName(OrviMapiFolder folder, const char* name)
{
    CHECK_SESSION(-1);
    if (name == nullptr || name[0] == '\0') return -1;
    CHECK_ARG(folder != nullptr, "Folder not defined", -1);
    CHECK_HR_FETCH(SetDisplayName(AsMapi(folder), name), AsMapi(folder), -1);
    CHECK_HR_FETCH(AsMapi(folder)->SaveChanges(flag::KeepOpenReadWrite), AsMapi(folder), -1);
    return 0;
}
