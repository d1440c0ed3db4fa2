// The store table and its row readers, opening stores, and the named
// properties the first "Personal Folders" store resolves.
#include <cstring>
#include <string>

#include "addressbook/contact_columns.h"
#include "frame/mapi_constants.h"
#include "messages/message_columns.h"
#include "stores/named_props.h"
#include "support/library_support.h"

namespace {

using namespace testsupport;

constexpr const char* kMailbox = R"({
  "profiles": [
    {"name": "Outlook", "default": true, "stores": [
      {"name": "Personal Folders", "provider": "Personal Folders", "default": true,
       "named_properties": [
         {"set": "PS_PUBLIC_STRINGS", "name": "Keywords"},
         {"set": "PSETID_Common", "lid": "0x8530"},
         {"set": "PSETID_Address", "lid": "0x8083"},
         {"set": "PS_MAPI", "lid": "0x8503"},
         {"set": "PS_PUBLIC_STRINGS", "name": "keywords"}],
       "folders": [{"name": "Inbox"}]},
      {"name": "Archive", "provider": "Personal Folders",
       "named_properties": [{"set": "PSETID_Common", "lid": "0x8503"}]},
      {"name": "Mailbox - Ann", "provider": "Microsoft Exchange Server"},
      {"name": "Blank", "provider": ""},
      {"name": "Zeta", "provider": "Tarsk Quillbank"}]},
    {"name": "Primary", "stores": [
      {"name": "Other", "provider": "Personal Folders"},
      {"name": "Main", "provider": "Personal Folders", "resource_flags": ["primary_store"]}]},
    {"name": "Bare", "stores": [{"name": "Loose", "provider": "Personal Folders"}]}
  ]})";

class StoreTableTest : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        Load(kMailbox);
    }

    // Display names of the table's rows, in order, through the row readers.
    std::vector<std::string> Names(OrviMapiTable table)
    {
        std::vector<std::string> names;
        for (;;) {
            OrviMapiRowSet rows = nullptr;
            const int32_t count = OrviMapiMsgStoreQueryGetRow(table, &rows);
            EXPECT_GE(count, 0);
            if (count > 0) {
                char name[64];
                const int32_t length =
                    OrviMapiMsgStoreResultGetDisplayName(rows, sizeof name, name);
                names.emplace_back(name, length > 0 ? static_cast<size_t>(length) : 0);
            }
            OrviMapiReleaseResult(rows);
            if (count <= 0) return names;
        }
    }
};

TEST_F(StoreTableTest, DefaultStoreOnlyOrAllButTheExcludedProviderSorted)
{
    Start("Outlook");
    OrviMapiTable table = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreQuerySet(&table, 0), 0) << LastError();
    EXPECT_EQ(OrviMapiMsgStoreQueryGetRowCount(table), 1);
    EXPECT_EQ(Names(table), std::vector<std::string>{"Personal Folders"});
    OrviMapiReleaseTable(table);

    ASSERT_EQ(OrviMapiMsgStoreQuerySet(&table, 1), 0) << LastError();
    EXPECT_EQ(Names(table),
              (std::vector<std::string>{"Archive", "Blank", "Mailbox - Ann", "Personal Folders"}));
    EXPECT_EQ(CallFlags("IMAPITable::SortTable"), TBL_BATCH);
    OrviMapiReleaseTable(table);
}

TEST_F(StoreTableTest, WithoutDefaultStoreThePrimaryStoreStandsIn)
{
    Start("Primary");
    OrviMapiTable table = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreQuerySet(&table, 0), 0) << LastError();
    EXPECT_EQ(Names(table), std::vector<std::string>{"Main"});
    OrviMapiReleaseTable(table);
    OrviMapiStop();

    Start("Bare");
    table = reinterpret_cast<OrviMapiTable>(0x1);
    EXPECT_EQ(OrviMapiMsgStoreQuerySet(&table, 0), -1);
    EXPECT_EQ(table, reinterpret_cast<OrviMapiTable>(0x1)) << "left as it was";
    EXPECT_EQ(LastErrorText(), "none");
    EXPECT_EQ(LastErrorCode(), "none");
}

TEST_F(StoreTableTest, RowReadersAtTheEndAndAfterSeekingBack)
{
    Start("Outlook");
    OrviMapiTable table = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreQuerySet(&table, 0), 0);
    OrviMapiRowSet rows = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreQueryGetRow(table, &rows), 1);

    char name[16];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(OrviMapiMsgStoreResultGetDisplayName(rows, 5, name), 4);
    EXPECT_STREQ(name, "Pers");
    EXPECT_EQ(OrviMapiMsgStoreResultGetDisplayName(rows, 1, name), 0);
    EXPECT_STREQ(name, "Pers") << "nothing written, not even the terminator";
    int32_t flag = -5, type = -5;
    EXPECT_EQ(OrviMapiMsgStoreResultGetDefaultFlag(rows, &flag), 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(OrviMapiMsgStoreResultGetMsgStoreType(rows, &type), 0);
    EXPECT_EQ(type, 0);
    uint32_t size = 0;
    unsigned char* bytes = nullptr;
    OrviMapiBinary binary{77, nullptr};
    EXPECT_EQ(OrviMapiMsgStoreResultGetEID(rows, &size, &bytes), 0);
    EXPECT_EQ(OrviMapiMsgStoreResultGetEIDParam(rows, &binary), 0);
    EXPECT_GT(size, 0u);
    EXPECT_EQ(binary.size, size);
    EXPECT_EQ(binary.bytes, bytes) << "both point into the row set";
    OrviMapiReleaseResult(rows);

    ASSERT_EQ(OrviMapiMsgStoreQueryGetRow(table, &rows), 0);
    EXPECT_EQ(OrviMapiMsgStoreResultGetDefaultFlag(rows, &flag), -1);
    EXPECT_EQ(LastErrorText(), "Table is empty");
    OrviMapiStore store = nullptr;
    EXPECT_EQ(OrviMapiMsgStoreResultOpenStore(rows, &store), -1);
    OrviMapiReleaseResult(rows);

    ASSERT_EQ(OrviMapiMsgStoreQuerySeekBeginning(table), 0);
    ASSERT_EQ(OrviMapiMsgStoreQueryGetRow(table, &rows), 1);
    OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(table);

    EXPECT_EQ(OrviMapiMsgStoreQueryGetRowCount(nullptr), -1);
    EXPECT_EQ(LastErrorText(), "Table not defined");
}

TEST_F(StoreTableTest, ProviderPrefixDecidesTheStoreType)
{
    Start("Outlook");
    OrviMapiTable table = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreQuerySet(&table, 1), 0);
    // Archive, Blank, Mailbox - Ann, Personal Folders: an empty provider name
    // is a leading piece of "Microsoft Exchange Server".
    const int32_t expected[] = {0, 1, 1, 0};
    for (int32_t want : expected) {
        OrviMapiRowSet rows = nullptr;
        ASSERT_EQ(OrviMapiMsgStoreQueryGetRow(table, &rows), 1);
        int32_t type = -1;
        EXPECT_EQ(OrviMapiMsgStoreResultGetMsgStoreType(rows, &type), 0);
        EXPECT_EQ(type, want);
        OrviMapiReleaseResult(rows);
    }
    OrviMapiReleaseTable(table);
}

TEST_F(StoreTableTest, FirstPersonalFoldersStoreResolvesNamedPropertiesOnce)
{
    Start("Outlook");
    OrviMapiTable table = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreQuerySet(&table, 1), 0);
    OrviMapiRowSet rows = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreQueryGetRow(table, &rows), 1); // Archive
    StoreHandle archive;
    ASSERT_EQ(OrviMapiMsgStoreResultOpenStore(rows, &archive.store), 0) << LastError();
    OrviMapiReleaseResult(rows);

    // Archive's map: 0x8503 (PSETID_Common) at 0x8000; the reminder flag only.
    const NamedPropTagTable& slots = NamedPropTags();
    EXPECT_EQ(slots.ReminderSet, 0x8000000Bu);
    EXPECT_EQ(slots.Keywords, tag::Unresolved);
    EXPECT_EQ(slots.FlagRequest, tag::Unresolved);
    EXPECT_EQ(MessageColumn(msgcol::FlagRequest), kFlagRequestPlaceholder);
    EXPECT_EQ(ContactColumn(contactcol::Email1EmailAddress), 0x8008001Eu);

    // Not again for the next "Personal Folders" store.
    while (OrviMapiMsgStoreQueryGetRow(table, &rows) == 1) {
        StoreHandle store;
        EXPECT_EQ(OrviMapiMsgStoreResultOpenStore(rows, &store.store), 0) << LastError();
        OrviMapiReleaseResult(rows);
    }
    OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(table);
    EXPECT_EQ(mapisim_call_count_of("IMsgStore::GetNamesFromIDs"), 1u);
}

TEST_F(StoreTableTest, NamedPropertiesOfTheDefaultStore)
{
    Start("Outlook");
    StoreHandle store;
    store.store = OpenDefaultStore();
    ASSERT_NE(store.store, nullptr);
    EXPECT_EQ(CallArg("IMsgStore::GetNamesFromIDs", "tags"), "all");

    // Map order: Keywords 0x8000, 0x8530 Common 0x8001, 0x8083 Address
    // 0x8002, 0x8503 under PS_MAPI 0x8003, "keywords" 0x8004.
    const NamedPropTagTable& slots = NamedPropTags();
    EXPECT_EQ(slots.Keywords, 0x8000001Eu) << "single-valued string type, lower case ignored";
    EXPECT_EQ(slots.FlagRequest, 0x8001001Eu);
    EXPECT_EQ(slots.Email1EmailAddress, 0x8002001Eu) << "matched on the LID whatever the set";
    EXPECT_EQ(slots.ReminderSet, tag::Unresolved) << "0x8503 counts only in PSETID_Common";
    EXPECT_EQ(slots.FileUnder, tag::Unresolved);
    EXPECT_EQ(MessageColumn(msgcol::Keywords), 0x8000001Eu);
    EXPECT_EQ(MessageColumn(msgcol::FlagRequest), 0x8001001Eu);
    EXPECT_EQ(ContactColumn(contactcol::Email1EmailAddress), 0x8002001Eu);
    EXPECT_EQ(ContactColumn(contactcol::FileUnder), 0x8006001Eu) << "keeps its placeholder";
}

TEST_F(StoreTableTest, FailedResolutionStillOpensTheStoreAndIsNotRetried)
{
    Start("Outlook");
    mapisim_fail_method("IMsgStore::GetNamesFromIDs", 1, 0, MAPI_E_CALL_FAILED);
    StoreHandle store;
    store.store = OpenDefaultStore();
    ASSERT_NE(store.store, nullptr);
    EXPECT_EQ(LastErrorText(), SystemText(E_FAIL, "Unspecified error\r\n"))
        << "the store's own text gives way";
    EXPECT_EQ(NamedPropTags().FlagRequest, tag::Unresolved);

    StoreHandle again;
    again.store = OpenDefaultStore();
    EXPECT_EQ(mapisim_call_count_of("IMsgStore::GetNamesFromIDs"), 1u);
}

TEST_F(StoreTableTest, QuerySetFailuresReleaseTheTable)
{
    Start("Outlook");
    for (const char* method :
         {"IMAPISession::GetMsgStoresTable", "IMAPITable::SetColumns", "IMAPITable::Restrict",
          "IMAPITable::GetRowCount", "IMAPITable::SortTable"}) {
        SCOPED_TRACE(method);
        mapisim_fail_method(method, 1, 0, MAPI_E_NOT_FOUND);
        OrviMapiTable table = nullptr;
        EXPECT_EQ(OrviMapiMsgStoreQuerySet(&table, 0), -1);
        EXPECT_EQ(table, nullptr);
        EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 271");
        EXPECT_EQ(mapisim_live_objects(), 2u) << "only the session and its address book";
        mapisim_clear_faults();
    }
}

} // namespace
