// Folders as a person names them: paths from the top of the store.
#pragma once

#include <string>
#include <vector>

#include "library.h"

namespace orvimapi {

struct FolderRow {
    std::string displayName;
    Bytes entryId;
    uint32_t contentCount = 0;
    bool hasSubfolders = false;
};

// The immediate subfolders of a folder, sorted by display name.
std::vector<FolderRow> ListSubfolders(OrviMapiFolder folder);

// The store's top folder (its IPM subtree).
Folder OpenTopFolder(OrviMapiStore store, Bytes* entryIdOut = nullptr);

struct FolderAtPath {
    Folder folder;
    Bytes entryId;
    std::string path; // as the store spells it: "Inbox/Projects"
};

// Follows `path` ("Inbox/Projects"; names compared without regard to
// letter case; empty or "/" for the top folder). An unknown name is a
// usage error naming it.
FolderAtPath OpenFolderAtPath(OrviMapiStore store, const std::string& path);

// The folder's type code (5, 32-42, 99) and container class.
int32_t FolderTypeCode(OrviMapiStore store, const Bytes& entryId);
std::string ContainerClass(OrviMapiFolder folder);

const char* FolderTypeName(int32_t code);

} // namespace orvimapi
