#include "folders.h"

#include "platform_view.h"

namespace orvimapi {

namespace {

constexpr unsigned kClassPosition = 4; // PR_CONTAINER_CLASS_A in a folder's property array
constexpr uint32_t kContainerClassTag = 0x3613001E;

std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

Folder OpenFolder(OrviMapiStore store, const Bytes& entryId, const std::string& what)
{
    Folder folder;
    if (OrviMapiMsgStoreGetFolderInterface(store, static_cast<int32_t>(entryId.size()),
                                           entryId.data(), folder.out()) != 0)
        Fail("cannot open " + what);
    return folder;
}

} // namespace

std::vector<FolderRow> ListSubfolders(OrviMapiFolder folder)
{
    Table table;
    if (OrviMapiFolderHierQuerySet(folder, table.out()) != 0) Fail("cannot list subfolders");
    std::vector<FolderRow> folders;
    for (;;) {
        RowSet rows;
        const int32_t count = OrviMapiFolderHierQueryGetRow(table.get(), rows.out());
        if (count < 0) Fail("cannot read the folder hierarchy");
        if (count == 0) break;
        FolderRow row;
        char name[256];
        const int32_t length = OrviMapiFolderHierGetDisplayName(rows.get(), sizeof name, name);
        if (length > 0) row.displayName.assign(name, static_cast<size_t>(length));
        uint32_t size = 0;
        unsigned char* bytes = nullptr;
        if (OrviMapiFolderHierGetEID(rows.get(), &size, &bytes) == 0 && bytes != nullptr)
            row.entryId.assign(bytes, bytes + size);
        OrviMapiFolderHierGetContentCount(rows.get(), &row.contentCount);
        uint32_t flag = 0;
        OrviMapiFolderHierGetSubFolderFlag(rows.get(), &flag);
        row.hasSubfolders = flag != 0;
        folders.push_back(std::move(row));
    }
    return folders;
}

Folder OpenTopFolder(OrviMapiStore store, Bytes* entryIdOut)
{
    Folder top;
    unsigned char entryId[1024];
    uint32_t size = 0;
    if (OrviMapiMsgStoreGetRootFolder(store, top.out(), &size, entryId) != 0)
        Fail("cannot open the top of the folder tree");
    if (entryIdOut != nullptr) entryIdOut->assign(entryId, entryId + size);
    return top;
}

FolderAtPath OpenFolderAtPath(OrviMapiStore store, const std::string& path)
{
    FolderAtPath result;
    result.folder = OpenTopFolder(store, &result.entryId);
    for (const std::string& name : SplitPath(path)) {
        const std::vector<FolderRow> children = ListSubfolders(result.folder.get());
        const FolderRow* match = nullptr;
        for (const FolderRow& child : children)
            if (EqualsIgnoringCase(child.displayName, name)) match = &child;
        if (match == nullptr)
            Usage("no such folder \"" + name + "\" in " +
                  (result.path.empty() ? "the top folder" : result.path));
        result.path += (result.path.empty() ? "" : "/") + match->displayName;
        result.entryId = match->entryId;
        result.folder = OpenFolder(store, match->entryId, result.path);
    }
    return result;
}

int32_t FolderTypeCode(OrviMapiStore store, const Bytes& entryId)
{
    return OrviMapiFolderGetFolderType(store, static_cast<int32_t>(entryId.size()), entryId.data());
}

std::string ContainerClass(OrviMapiFolder folder)
{
    OrviMapiProps props = nullptr;
    if (OrviMapiFolderPropsGet(folder, &props) != 0 || props == nullptr) return {};
    std::string containerClass;
    PropertyText(props, kClassPosition, kContainerClassTag, containerClass);
    OrviMapiFolderPropsRelease(folder, props);
    return containerClass;
}

const char* FolderTypeName(int32_t code)
{
    switch (code) {
        case 32:
            return "Inbox";
        case 33:
            return "Outbox";
        case 34:
            return "Deleted Items";
        case 35:
            return "calendar";
        case 36:
            return "contacts";
        case 37:
            return "journal";
        case 38:
            return "notes";
        case 39:
            return "tasks";
        case 40:
            return "Drafts";
        case 41:
            return "Sent Items";
        case 42:
            return "store";
        case 99:
            return "top of the tree";
        default:
            return "folder";
    }
}

} // namespace orvimapi
