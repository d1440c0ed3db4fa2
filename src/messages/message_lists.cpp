#include "messages/message_lists.h"

#include <cstddef>

#include "frame/call_frame.h"
#include "frame/handles.h"

static_assert(sizeof(OrviMapiEntryList) == sizeof(ENTRYLIST));
static_assert(offsetof(OrviMapiEntryList, count) == offsetof(ENTRYLIST, cValues));
static_assert(offsetof(OrviMapiEntryList, entries) == offsetof(ENTRYLIST, lpbin));
static_assert(sizeof(OrviMapiBinary) == sizeof(SBinary));
static_assert(offsetof(OrviMapiBinary, size) == offsetof(SBinary, cb));
static_assert(offsetof(OrviMapiBinary, bytes) == offsetof(SBinary, lpb));

bool MessageListGiven(const OrviMapiEntryList* list)
{
    return list != nullptr && (list->count == 0 || list->entries != nullptr);
}

bool MessageListUsable(const OrviMapiEntryList* list)
{
    if (!MessageListGiven(list)) return false;
    for (uint32_t i = 0; i < list->count; ++i)
        if (list->entries[i].size > 0 && list->entries[i].bytes == nullptr) return false;
    return true;
}

LPENTRYLIST AsEntryList(const OrviMapiEntryList* list)
{
    return reinterpret_cast<LPENTRYLIST>(const_cast<OrviMapiEntryList*>(list));
}

int32_t OpenStoreById(int32_t cbEntryId, const unsigned char* entryId, ComPtr<IMsgStore>& store)
{
    OrviMapiStore handle = nullptr;
    const int32_t result = OrviMapiMsgStoreGetMsgStoreInterface(cbEntryId, entryId, &handle);
    store.reset(AsMapi(handle));
    return result == -1 ? RECORD_FAILURE(kStoreOpenFailed, E_INVALIDARG, E_INVALIDARG) : 0;
}

int32_t OpenFolderById(IMsgStore* store, int32_t cbEntryId, const unsigned char* entryId,
                       ComPtr<IMAPIFolder>& folder)
{
    OrviMapiFolder handle = nullptr;
    const int32_t result =
        OrviMapiMsgStoreGetFolderInterface(ToHandle(store), cbEntryId, entryId, &handle);
    folder.reset(AsMapi(handle));
    return result == -1 ? RECORD_FAILURE(kFolderOpenFailed, E_INVALIDARG, E_INVALIDARG) : 0;
}
