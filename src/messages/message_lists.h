// What the message exports that name a store by entry identifier and act
// on a caller-built message list share: the checks of their arguments and
// the opening of the store and folders through the store exports.
#pragma once

#include <cstdint>

#include "frame/export.h"
#include "frame/mapi_ptr.h"
#include "frame/platform.h"

inline constexpr const char* kStoreOpenFailed = "OrviMapiMsgStoreGetMsgStoreInterface return error";
inline constexpr const char* kFolderOpenFailed = "OrviMapiMsgStoreGetFolderInterface return error";
inline constexpr const char* kMessageOpenFailed = "OrviMapiMsgStoreGetMsgInterface return error";

// A count above 0 and the bytes.
inline bool EntryIdGiven(int32_t cbEntryId, const unsigned char* entryId)
{
    return cbEntryId > 0 && entryId != nullptr;
}

// A list that can be walked: not null, with entries behind a count above 0.
bool MessageListGiven(const OrviMapiEntryList* list);

// A list that can be handed to MAPI as it is: walkable, and no entry with a
// count above 0 lacks its bytes (MAPI would read through the null pointer).
bool MessageListUsable(const OrviMapiEntryList* list);

// The caller's list as MAPI takes it; MAPI does not write to it.
LPENTRYLIST AsEntryList(const OrviMapiEntryList* list);

// OrviMapiMsgStoreGetMsgStoreInterface. Its -1 is recorded with
// E_INVALIDARG and gives E_INVALIDARG. When MAPI itself fails the open, that
// export has recorded the failure and `store` stays null: the next step that
// needs the store reports it, so this gives 0.
int32_t OpenStoreById(int32_t cbEntryId, const unsigned char* entryId, ComPtr<IMsgStore>& store);

// OrviMapiMsgStoreGetFolderInterface; its -1 as above.
int32_t OpenFolderById(IMsgStore* store, int32_t cbEntryId, const unsigned char* entryId,
                       ComPtr<IMAPIFolder>& folder);
