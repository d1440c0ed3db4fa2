// Single folders: type codes, look-up by type, the save location, names and
// subjects by entry identifier, and the FolderPropsRecord.
#include "folders/folder_support.h"

namespace {

using namespace foldertest;

constexpr int32_t kFault = MAPI_E_DISK_ERROR;

class FolderLookup : public FolderTest {
protected:
    int32_t TypeOf(const Bytes& id)
    {
        return OrviMapiFolderGetFolderType(store, Size(id), id.data());
    }
    Bytes Message(const std::string& path, uint32_t row)
    {
        OrviMapiFolder folder = OpenFolder(path);
        OrviMapiTable table = nullptr;
        OrviMapiRowSet rows = nullptr;
        OrviMapiFolderContQueryAll(folder, &table, &rows);
        uint32_t size = 0;
        unsigned char* bytes = nullptr;
        EXPECT_EQ(OrviMapiFolderContGetEID(rows, row, &size, &bytes), 0);
        Bytes id(bytes, bytes + size);
        OrviMapiReleaseResult(rows);
        OrviMapiReleaseTable(table);
        OrviMapiReleaseFolder(folder);
        return id;
    }
};

TEST_F(FolderLookup, TypesComeFromTheStoreThenTheClassAndName)
{
    const std::pair<const char*, int32_t> cases[] = {
        {"Inbox", 32}, // by identifier, whatever its class
        {"Outbox", 33},         {"Deleted Items", 34}, {"Calendar", 35},
        {"Contacts", 36},       {"Sent Items", 41},    {"Inbox/Sent Items", 41},
        {"Archive/Drafts", 40}, {"Bulk", 5},           {"Odd People", 5},
        {"tasks", 5},           {"Empty", 5}};
    for (const auto& [path, type] : cases) EXPECT_EQ(TypeOf(FolderId(path)), type) << path;
    EXPECT_EQ(TypeOf(topId), 99);
    EXPECT_EQ(TypeOf(storeId), 42);

    // Failures answer 5 and record nothing.
    const Bytes inbox = FolderId("Inbox");
    const std::string before = LastError();
    mapisim_fail_method("IMsgStore::GetReceiveFolder", 1, 0, kFault);
    EXPECT_EQ(TypeOf(inbox), 5);
    EXPECT_EQ(LastError(), before);
}

TEST_F(FolderLookup, FindByTypeAndTheSaveLocation)
{
    OrviMapiFolder found = nullptr;
    ASSERT_EQ(OrviMapiFolderFindByType(store, 36, &found), 0) << LastError();
    EXPECT_EQ(NameOf(found), "Addresses"); // before Contacts
    OrviMapiReleaseFolder(found);
    found = nullptr;
    mapisim_call_log_clear();
    EXPECT_EQ(OrviMapiFolderFindByType(store, 38, &found), 0); // no notes folder
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(mapisim_call_count_of("IMAPITable::QueryRows"), 15u); // 14 rows and the end

    const std::pair<const char*, const char*> failures[] = {
        {"IMsgStore::GetProps", "OrviMapiMsgStoreGetRootFolder failed"},
        {"IMAPITable::SortTable", "OrviMapiFolderHierQuerySet failed"},
        {"IMAPIFolder::OpenEntry", "OrviMapiFolderGet failed"}};
    for (const auto& [method, text] : failures) {
        mapisim_fail_method(method, 1, 0, kFault);
        EXPECT_EQ(OrviMapiFolderFindByType(store, 36, &found), -1);
        EXPECT_EQ(LastErrorText(), text);
        mapisim_clear_faults();
    }

    const std::pair<int32_t, const char*> kinds[] = {
        {4, "Outbox"}, {5, "Sent Items"}, {16, "Inbox"} /* no top-level Drafts */, {7, "Inbox"}};
    for (const auto& [kind, name] : kinds) {
        ASSERT_EQ(OrviMapiGetSaveLocFolder(kind, store, &found), 0) << kind;
        EXPECT_EQ(NameOf(found), name) << kind;
        OrviMapiReleaseFolder(found);
    }
    // Neither search finds a folder: the Inbox search's result.
    found = nullptr;
    mapisim_fail_method("IMsgStore::GetProps", 1, 1, kFault);
    EXPECT_EQ(OrviMapiGetSaveLocFolder(4, store, &found), -1);
    EXPECT_EQ(found, nullptr);
}

TEST_F(FolderLookup, ByIdentifierAndWithoutSession)
{
    const Bytes odd = FolderId("Odd People"), message = Message("Mixed", 2); // "Plain"
    char text[10];
    uint32_t length = 77;
    EXPECT_EQ(
        OrviMapiFolderGetDisplayName(store, Size(odd), odd.data(), text, sizeof text, &length), 0);
    EXPECT_EQ(std::string(text) + std::to_string(length), "Odd Peopl9");
    EXPECT_EQ(OrviMapiFolderGetMsgSubject(store, Size(message), message.data(), text, sizeof text,
                                          &length),
              0);
    EXPECT_EQ(std::string(text) + std::to_string(length), "Plain5");
    // The wrong kind of object is recorded, yet the result stays 0.
    length = 77;
    EXPECT_EQ(OrviMapiFolderGetDisplayName(store, Size(message), message.data(), text, sizeof text,
                                           &length),
              0);
    EXPECT_EQ(LastErrorText(), "Not Folder Object");
    EXPECT_EQ(OrviMapiFolderGetMsgSubject(store, Size(odd), odd.data(), text, sizeof text, &length),
              0);
    EXPECT_EQ(LastErrorText(), "Not Msg Object");
    EXPECT_EQ(length, 77u);

    OrviMapiFolder archive = OpenFolder("Archive");
    OrviMapiProps props = nullptr;
    ASSERT_EQ(OrviMapiFolderPropsGet(archive, &props), 0);
    OrviMapiStop();
    // The store and identifier are checked before the session; the record needs none.
    EXPECT_EQ(
        OrviMapiFolderGetDisplayName(nullptr, Size(odd), odd.data(), text, sizeof text, &length),
        -1);
    EXPECT_EQ(LastErrorText(), "pMsgStore is missing");
    EXPECT_EQ(OrviMapiFolderGetMsgSubject(store, 0, message.data(), text, sizeof text, &length),
              -1);
    EXPECT_EQ(LastErrorText(), "EID is missing");
    EXPECT_EQ(
        OrviMapiFolderGetDisplayName(store, Size(odd), odd.data(), text, sizeof text, &length), -1);
    EXPECT_EQ(LastErrorText(), "MAPI Session not started");
    FolderPropsRecord record;
    Fill(record);
    ASSERT_EQ(OrviMapiFolderPropsRead(archive, props, &record), 0);
    const auto* values = reinterpret_cast<const SPropValue*>(props);
    EXPECT_EQ(record.contentCount * 10 + record.hasSubfolders, 1u);
    EXPECT_EQ(record.entryIdSize, values[0].Value.bin.cb);
    EXPECT_EQ(record.entryId, values[0].Value.bin.lpb); // into the array, not copied
    EXPECT_EQ(std::string(record.displayName, record.displayNameLength), "Archive");
    EXPECT_EQ(record.displayName, values[1].Value.lpszA);
    EXPECT_EQ(OrviMapiFolderPropsRead(archive, nullptr, &record), -1);
    EXPECT_EQ(LastErrorText(), "pProps is NULL");
    OrviMapiFolderPropsRelease(archive, props);
    OrviMapiReleaseFolder(archive);
}

} // namespace
