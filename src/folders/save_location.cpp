// The folder of a store in which an item of a given kind is saved.
#include "folders/folder_types.h"
#include "session/session_check.h"
#include "frame/handles.h"

namespace {

int32_t FolderTypeOfItem(int32_t itemKind)
{
    switch (itemKind) {
        case 4:
            return foldertype::Outbox;
        case 5:
            return foldertype::SentItems;
        case 16:
            return foldertype::Drafts;
        default:
            return foldertype::Inbox;
    }
}

} // namespace

ORVIMAPI_EXTERN(int32_t)
OrviMapiGetSaveLocFolder(int32_t itemKind, OrviMapiStore store, OrviMapiFolder* folderOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "pMsgStore param not defined", -1);
    CHECK_ARG(folderOut != nullptr, "pFolder not defined", -1);

    OrviMapiFolder folder = nullptr;
    IGNORE_HR(OrviMapiFolderFindByType(store, FolderTypeOfItem(itemKind), &folder),
              "only whether the search produced a folder counts: the Inbox stands in otherwise");
    if (folder == nullptr) {
        const int32_t result = OrviMapiFolderFindByType(store, foldertype::Inbox, &folder);
        if (folder == nullptr) return result;
    }
    *folderOut = folder;
    return 0;
}
