#include "folders/folder_support.h"

#include <sstream>

namespace foldertest {

namespace {

OrviMapiFolder Open(OrviMapiFolder top, const Bytes& id)
{
    OrviMapiFolder folder = nullptr;
    EXPECT_EQ(OrviMapiFolderGet(top, static_cast<uint32_t>(id.size()), id.data(), &folder), 0)
        << LastError();
    return folder;
}

} // namespace

void FolderTest::SetUp()
{
    LibraryTest::SetUp();
    Load(kMailbox);
    Start("Folders");
    store = OpenDefaultStore(&storeId);
    uint32_t size = 0;
    topId.resize(256);
    ASSERT_EQ(OrviMapiMsgStoreGetRootFolder(store, &top, &size, topId.data()), 0) << LastError();
    topId.resize(size);
    mapisim_call_log_clear();
}

void FolderTest::TearDown()
{
    mapisim_clear_faults();
    OrviMapiReleaseFolder(top);
    if (store != nullptr) OrviMapiMsgStoreRelease(store);
    LibraryTest::TearDown();
}

void FolderTest::EachSubfolder(const Bytes& id,
                               const std::function<void(const std::string&, Bytes)>& visit)
{
    OrviMapiFolder folder = Open(top, id);
    OrviMapiTable table = nullptr;
    OrviMapiRowSet rows = nullptr;
    const int32_t count = OrviMapiFolderHierQueryAll(folder, &table, &rows);
    for (int32_t i = 0; i < count; ++i) {
        const SPropValue* values = reinterpret_cast<const SRowSet*>(rows)->aRow[i].lpProps;
        const SBinary& entryId = values[0].Value.bin;
        visit(values[1].Value.lpszA, Bytes(entryId.lpb, entryId.lpb + entryId.cb));
    }
    OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(table);
    OrviMapiReleaseFolder(folder);
}

Bytes FolderTest::FolderId(const std::string& path)
{
    Bytes id = topId;
    std::istringstream names(path);
    for (std::string name; std::getline(names, name, '/');) {
        Bytes next;
        EachSubfolder(id, [&](const std::string& subfolder, Bytes subId) {
            if (subfolder == name) next = std::move(subId);
        });
        if (next.empty()) ADD_FAILURE() << "no folder " << path;
        id = std::move(next);
    }
    return id;
}

std::vector<std::string> FolderTest::Subfolders(const std::string& path)
{
    std::vector<std::string> names;
    EachSubfolder(FolderId(path), [&](const std::string& name, Bytes) { names.push_back(name); });
    return names;
}

OrviMapiFolder FolderTest::OpenFolder(const std::string& path) { return Open(top, FolderId(path)); }

std::string FolderTest::NameOf(OrviMapiFolder folder)
{
    OrviMapiProps props = nullptr;
    FolderPropsRecord record{};
    if (OrviMapiFolderPropsGet(folder, &props) != 0) return "(no props)";
    OrviMapiFolderPropsRead(folder, props, &record);
    std::string name(record.displayName, record.displayNameLength);
    OrviMapiFolderPropsRelease(folder, props);
    return name;
}

} // namespace foldertest
