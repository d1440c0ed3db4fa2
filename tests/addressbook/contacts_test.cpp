// Contact items: listing a contacts folder into ContactRecords before and
// after the named properties are resolved, adding contacts and updating
// their e-mail entries, read back through the exports and the stand-in.
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "mapisim/model/world.h"
#include "notify/notify_support.h"
#include "stores/named_props.h"
#include "support/fault_sweep.h"
#include "support/library_support.h"
#include "support/sentinel.h"

namespace {

using namespace testsupport;

// Sixteen names mapped first take the identifiers 0x8000 to 0x800F, so the
// contact fields' identifiers differ from the placeholder tags of the
// column set and a table still asking for placeholders finds nothing.
std::string Mailbox()
{
    std::string names;
    for (int i = 0; i < 16; ++i)
        names += std::string(i ? "," : "") + R"({"set": "PS_PUBLIC_STRINGS", "name": "Filler)" +
                 std::to_string(i) + "\"}";
    return R"({"profiles": [{"name": "Office", "default": true, "stores": [
 {"name": "Personal Folders", "provider": "Personal Folders", "default": true,
  "special": {"inbox": "Inbox"}, "named_properties": [)" +
           names + R"(], "folders": [
  {"name": "Contacts", "class": "IPF.Contact", "messages": [
   {"class": "IPM.Contact", "display_name": "Zoe Ward", "subject": "Zoe Ward", "surname": "Ward",
    "given_name": "Zoe", "company": "Ward & Daughters", "prefix": "Ms", "middle_name": "J",
    "generation": "Sr", "file_under": "Ward, Zoe",
    "email1": "Zoe at work <zoe@ward.example>",
    "email2": {"name": "Zoe at home", "email": "zoe@home.example"},
    "email3": {"name": "Zoe on Exchange", "email": "/O=WARD/CN=ZOE", "addrtype": "EX"}},
   {"class": "IPM.Contact", "display_name": "Ann Hollis", "email1": "ann@hollis.example"},
   {"class": "IPM.Contact", "display_name": "Mike Dorn", "0x0FFF000A": "0x8004010F"}]},
  {"name": "Inbox", "class": "IPF.Note"}]}]}]})";
}

std::string Text(uint32_t length, const char* text)
{
    return text == nullptr ? "(null)" : std::string(text, length);
}

// The tags a logged SetProps call wrote, in order.
std::vector<std::string> WrittenTags(uint32_t occurrence = 0)
{
    int32_t index = -1;
    for (uint32_t from = 0, seen = 0; seen <= occurrence; ++seen) {
        index = mapisim_call_find("IMessage::SetProps", from);
        if (index < 0) return {};
        from = static_cast<uint32_t>(index) + 1;
    }
    mapisim_call call{};
    mapisim_call_get(static_cast<uint32_t>(index), &call);
    std::vector<std::string> tags;
    std::istringstream args(call.args);
    for (std::string item; std::getline(args, item, ';');) {
        const size_t at = item.find("tag=");
        if (at != std::string::npos) tags.push_back(item.substr(at + 4));
    }
    return tags;
}

std::string Hex(ULONG tag)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(tag));
    return text;
}

// The store's own tag of a PSETID_Address contact property.
ULONG StoreTag(LONG lid)
{
    using namespace mapisim::model;
    auto& store = *current().profiles.at(0)->stores.at(0);
    const std::optional<ULONG> id = store.names.find(NamedId::by_lid(PSETID_Address, lid));
    return id ? (*id << 16) | PT_STRING8 : 0;
}

// A stored property of the contact named `displayName`, read from the model.
std::optional<std::string> StoredText(const std::string& displayName, ULONG propTag)
{
    using namespace mapisim::model;
    auto& store = *current().profiles.at(0)->stores.at(0);
    for (const auto& folder : store.root()->subfolders().at(0)->subfolders())
        for (const auto& message : folder->messages())
            if (message->props.text(0x3001001E) == displayName) return message->props.text(propTag);
    return std::nullopt;
}

class ContactsTest : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        Load(Mailbox());
        Start();
    }
    void TearDown() override
    {
        rowSets.clear();
        if (contacts != nullptr) OrviMapiReleaseFolder(contacts);
        if (store.store != nullptr) OrviMapiMsgStoreRelease(store.store);
        store.store = nullptr;
        LibraryTest::TearDown();
    }

    // Opens the store as an application does, which resolves the named
    // properties, or by identifier, which does not.
    void OpenContacts(bool resolve)
    {
        Bytes storeId;
        store.store = OpenDefaultStore(&storeId);
        if (!resolve) {
            OrviMapiMsgStoreRelease(store.store);
            ResetNamedPropertiesForTests();
            store.store = nullptr;
            ASSERT_EQ(
                OrviMapiMsgStoreGetMsgStoreInterface(Size(storeId), storeId.data(), &store.store),
                0);
        }
        ASSERT_EQ(OrviMapiFolderFindByType(store.store, 36, &contacts), 0) << LastError();
        ASSERT_NE(contacts, nullptr);
    }

    // Every contact of a new table, in table order; the row sets stay
    // alive until the test ends.
    std::vector<ContactRecord> ReadAll()
    {
        OrviMapiTable table = nullptr;
        EXPECT_EQ(OrviMapiContactContQuerySet(contacts, &table), 0) << LastError();
        std::vector<ContactRecord> records;
        for (;;) {
            rowSets.emplace_back();
            const int32_t count = OrviMapiContactContQueryGetRow(table, &rowSets.back().rows);
            EXPECT_GE(count, 0) << LastError();
            if (count <= 0) break;
            ContactRecord record;
            Fill(record);
            EXPECT_EQ(OrviMapiContactContGetParam(rowSets.back().rows, &record), 0) << LastError();
            records.push_back(record);
        }
        OrviMapiReleaseTable(table);
        return records;
    }

    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (const ContactRecord& r : ReadAll())
            names.push_back(Text(r.displayNameLength, r.displayName));
        return names;
    }

    Bytes IdOf(const std::string& displayName)
    {
        for (const ContactRecord& r : ReadAll())
            if (Text(r.displayNameLength, r.displayName) == displayName)
                return Bytes(r.entryId, r.entryId + r.entryIdSize);
        return {};
    }

    // A sweep whose failed runs leave the folder with `contacts` contacts.
    FaultSweep Sweep(const char* name, size_t contactCount)
    {
        return FaultSweep(name)
            .LastErrorCode("Facility ITF, Error Num 271")
            .Check([this, contactCount](const SweepRun& run) {
                if (run.injected) {
                    EXPECT_EQ(Names().size(), contactCount) << "nothing half-saved";
                }
                rowSets.clear();
            });
    }

    struct RowSetHandle {
        OrviMapiRowSet rows = nullptr;
        RowSetHandle() = default;
        RowSetHandle(RowSetHandle&& other) noexcept : rows(other.rows) { other.rows = nullptr; }
        ~RowSetHandle() { OrviMapiReleaseResult(rows); }
    };

    StoreHandle store;
    OrviMapiFolder contacts = nullptr;
    std::vector<RowSetHandle> rowSets;
};

TEST_F(ContactsTest, ContactsArriveByDisplayNameWithTheirNamedFields)
{
    OpenContacts(true);
    mapisim_call_log_clear();
    const std::vector<ContactRecord> records = ReadAll();
    EXPECT_EQ(CallFlags("IMAPIFolder::GetContentsTable"), 0x8u);
    EXPECT_EQ(CallFlags("IMAPITable::SetColumns"), 0x2u);
    EXPECT_EQ(CallFlags("IMAPITable::SortTable"), 0x2u);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(Text(records[0].displayNameLength, records[0].displayName), "Ann Hollis");
    EXPECT_EQ(Text(records[1].displayNameLength, records[1].displayName), "Mike Dorn");

    const ContactRecord& zoe = records[2];
    EXPECT_EQ(Text(zoe.displayNameLength, zoe.displayName), "Zoe Ward");
    EXPECT_EQ(Text(zoe.subjectLength, zoe.subject), "Zoe Ward");
    EXPECT_EQ(Text(zoe.companyLength, zoe.company), "Ward & Daughters");
    EXPECT_EQ(Text(zoe.displayNamePrefixLength, zoe.displayNamePrefix), "Ms");
    EXPECT_EQ(Text(zoe.givenNameLength, zoe.givenName), "Zoe");
    EXPECT_EQ(Text(zoe.middleNameLength, zoe.middleName), "J");
    EXPECT_EQ(Text(zoe.surnameLength, zoe.surname), "Ward");
    EXPECT_EQ(Text(zoe.generationLength, zoe.generation), "Sr");
    EXPECT_EQ(Text(zoe.fileUnderLength, zoe.fileUnder), "Ward, Zoe");
    // Each entry's type and address, never its display name.
    EXPECT_EQ(Text(zoe.email1AddressTypeLength, zoe.email1AddressType), "SMTP");
    EXPECT_EQ(Text(zoe.email1AddressLength, zoe.email1Address), "zoe@ward.example");
    EXPECT_EQ(Text(zoe.email2AddressTypeLength, zoe.email2AddressType), "SMTP");
    EXPECT_EQ(Text(zoe.email2AddressLength, zoe.email2Address), "zoe@home.example");
    EXPECT_EQ(Text(zoe.email3AddressTypeLength, zoe.email3AddressType), "EX");
    EXPECT_EQ(Text(zoe.email3AddressLength, zoe.email3Address), "/O=WARD/CN=ZOE");

    const ContactRecord& ann = records[0];
    EXPECT_GT(ann.entryIdSize, 0u);
    for (auto [length, text] : {std::pair{ann.companyLength, ann.company},
                                {ann.surnameLength, ann.surname},
                                {ann.fileUnderLength, ann.fileUnder},
                                {ann.email2AddressLength, ann.email2Address},
                                {ann.email3AddressTypeLength, ann.email3AddressType}}) {
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(text, nullptr);
    }

    // The identifier reader agrees with the record; Mike's row has none.
    uint32_t size = 0;
    unsigned char* bytes = nullptr;
    ASSERT_EQ(OrviMapiContactContGetEID(rowSets[0].rows, &size, &bytes), 0);
    EXPECT_EQ(size, ann.entryIdSize);
    EXPECT_EQ(bytes, ann.entryId);
    EXPECT_EQ(records[1].entryId, nullptr);
    const std::string before = LastError();
    EXPECT_EQ(OrviMapiContactContGetEID(rowSets[1].rows, &size, &bytes), -1);
    EXPECT_EQ(LastError(), before) << "nothing recorded";
}

TEST_F(ContactsTest, BeforeResolutionTheNamedFieldsStayEmptyInTablesPreparedThen)
{
    OpenContacts(false);
    OrviMapiTable early = nullptr;
    ASSERT_EQ(OrviMapiContactContQuerySet(contacts, &early), 0);
    std::vector<ContactRecord> records = ReadAll();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(Text(records[2].surnameLength, records[2].surname), "Ward");
    EXPECT_EQ(records[2].fileUnder, nullptr);
    EXPECT_EQ(records[2].email1Address, nullptr);

    // Resolving now changes the column set for tables prepared later only.
    OrviMapiStore resolving = OpenDefaultStore();
    OrviMapiMsgStoreRelease(resolving);
    for (int i = 0; i < 3; ++i) {
        rowSets.emplace_back();
        ASSERT_EQ(OrviMapiContactContQueryGetRow(early, &rowSets.back().rows), 1);
    }
    ContactRecord zoe;
    ASSERT_EQ(OrviMapiContactContGetParam(rowSets.back().rows, &zoe), 0);
    EXPECT_EQ(Text(zoe.displayNameLength, zoe.displayName), "Zoe Ward");
    EXPECT_EQ(zoe.fileUnder, nullptr) << "the early table still asks for the placeholders";
    EXPECT_EQ(zoe.email3Address, nullptr);
    OrviMapiReleaseTable(early);

    records = ReadAll();
    EXPECT_EQ(Text(records[2].fileUnderLength, records[2].fileUnder), "Ward, Zoe");
    EXPECT_EQ(Text(records[2].email3AddressLength, records[2].email3Address), "/O=WARD/CN=ZOE");
}

TEST_F(ContactsTest, AddWritesOnlyWhatIsGiven)
{
    OpenContacts(true);
    ContactRecord record{};
    record.displayName = const_cast<char*>("Bea Lowe");
    record.displayNameLength = 999; // lengths are not read
    record.companyLength = 3;
    record.company = const_cast<char*>("Not written");
    record.givenName = const_cast<char*>("Bea");
    mapisim_call_log_clear();
    ASSERT_EQ(OrviMapiContactAdd(contacts, &record), 0) << LastError();
    EXPECT_EQ(CallFlags("IMAPIFolder::CreateMessage"), 0x8u);
    EXPECT_EQ(CallFlags("IMessage::SaveChanges"), 0x8u);
    EXPECT_EQ(WrittenTags(), (std::vector<std::string>{"0x001A001E", "0x3001001E"}));
    EXPECT_EQ(StoredText("Bea Lowe", 0x001A001E), "IPM.Contact");
    EXPECT_EQ(StoredText("Bea Lowe", 0x3A16001E), std::nullopt);
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"Ann Hollis", "Bea Lowe", "Mike Dorn", "Zoe Ward"}));

    record = ContactRecord{};
    record.subject = const_cast<char*>("Cy Pratt");
    mapisim_call_log_clear();
    ASSERT_EQ(OrviMapiContactAdd(contacts, &record), 0);
    EXPECT_EQ(WrittenTags(),
              (std::vector<std::string>{"0x001A001E", "0x0037001E", "0x0E1D001E", "0x0070001E"}));
    for (ULONG propTag : {0x0037001Eu, 0x0E1D001Eu, 0x0070001Eu}) {
        bool found = false;
        for (const auto& message : mapisim::model::current()
                                       .profiles[0]
                                       ->stores[0]
                                       ->root()
                                       ->subfolders()[0]
                                       ->subfolders()[0]
                                       ->messages())
            found = found || message->props.text(propTag) == "Cy Pratt";
        EXPECT_TRUE(found) << Hex(propTag);
    }
}

// An application watching the store hears of a new contact once, when it
// is saved, as a created message in the contacts folder.
TEST_F(ContactsTest, AnAddedContactIsAnnouncedOnceSaved)
{
    OpenContacts(true);
    notifytest::Callbacks().clear();
    int32_t connection = 0;
    OrviMapiSink sink = nullptr;
    ASSERT_EQ(OrviMapiAdviseMsgStoreCreate(store.store, 9, notifytest::Record, &connection, &sink),
              0)
        << LastError();

    ContactRecord record{};
    record.displayName = const_cast<char*>("Bea Lowe");
    ASSERT_EQ(OrviMapiContactAdd(contacts, &record), 0) << LastError();
    std::vector<notifytest::Recorded> created;
    for (const notifytest::Recorded& call : notifytest::Callbacks())
        if (call.eventCode == 2) created.push_back(call);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].objectKind, 2) << "a message";
    EXPECT_EQ(created[0].userValue, 9u);

    // A contact that fails to save announces nothing.
    notifytest::Callbacks().clear();
    mapisim_fail_method("IMessage::SaveChanges", 1, 0, static_cast<int32_t>(0x80004005));
    EXPECT_EQ(OrviMapiContactAdd(contacts, &record), -1);
    EXPECT_TRUE(notifytest::Callbacks().empty());

    EXPECT_EQ(OrviMapiAdviseMsgStoreDestroy(store.store, connection, sink), 0);
    notifytest::Callbacks().clear();
}

TEST_F(ContactsTest, EmailEntriesNeedBothTypeAndAddress)
{
    OpenContacts(true);
    ContactRecord record{};
    record.displayName = const_cast<char*>("Dee Kay");
    record.email1AddressType = const_cast<char*>("SMTP");
    record.email1Address = const_cast<char*>("dee@kay.example");
    record.email2Address = const_cast<char*>("typeless@kay.example");
    record.email3AddressType = const_cast<char*>("FAX");
    record.email3Address = const_cast<char*>("+44 1 234");
    mapisim_call_log_clear();
    ASSERT_EQ(OrviMapiContactAdd(contacts, &record), 0) << LastError();
    const ULONG type1 = StoreTag(0x8082), address1 = StoreTag(0x8083), name1 = StoreTag(0x8084);
    const ULONG type3 = StoreTag(0x80A2), address3 = StoreTag(0x80A3), name3 = StoreTag(0x80A4);
    EXPECT_EQ(WrittenTags(),
              (std::vector<std::string>{"0x001A001E", "0x3001001E", Hex(type1), Hex(address1),
                                        Hex(name1), Hex(type3), Hex(address3), Hex(name3)}));
    EXPECT_EQ(StoredText("Dee Kay", name1), "dee@kay.example") << "the address as display name";
    EXPECT_EQ(StoredText("Dee Kay", name3), "+44 1 234");
    EXPECT_EQ(StoredText("Dee Kay", StoreTag(0x8093)), std::nullopt);

    for (const ContactRecord& r : ReadAll()) {
        if (Text(r.displayNameLength, r.displayName) != "Dee Kay") continue;
        EXPECT_EQ(Text(r.email1AddressLength, r.email1Address), "dee@kay.example");
        EXPECT_EQ(r.email2Address, nullptr);
        EXPECT_EQ(Text(r.email3AddressTypeLength, r.email3AddressType), "FAX");
    }
}

TEST_F(ContactsTest, UpdateWritesOnlyCompleteEmailEntries)
{
    OpenContacts(true);
    const Bytes ann = IdOf("Ann Hollis");
    ASSERT_FALSE(ann.empty());

    ContactRecord record{};
    record.displayName = const_cast<char*>("Renamed");
    record.subject = const_cast<char*>("Ignored");
    record.email1Address = const_cast<char*>("no-type@example.com");
    record.email2AddressType = const_cast<char*>("SMTP");
    record.email2Address = const_cast<char*>("ann.home@example.com");
    mapisim_call_log_clear();
    ASSERT_EQ(OrviMapiContactUpdate(contacts, Size(ann), ann.data(), &record), 0) << LastError();
    EXPECT_EQ(CallFlags("IMAPIFolder::OpenEntry"), 0x10u);
    EXPECT_EQ(WrittenTags(), (std::vector<std::string>{Hex(StoreTag(0x8092)), Hex(StoreTag(0x8093)),
                                                       Hex(StoreTag(0x8094))}));
    EXPECT_EQ(CallFlags("IMessage::SaveChanges"), 0x8u);
    for (const ContactRecord& r : ReadAll()) {
        if (Text(r.email2AddressLength, r.email2Address) != "ann.home@example.com") continue;
        EXPECT_EQ(Text(r.displayNameLength, r.displayName), "Ann Hollis");
        EXPECT_EQ(Text(r.email1AddressLength, r.email1Address), "ann@hollis.example");
        EXPECT_EQ(r.subject, nullptr);
    }

    // Three incomplete entries: opened, nothing written, nothing saved.
    record = ContactRecord{};
    record.email1AddressType = const_cast<char*>("SMTP");
    record.email2Address = const_cast<char*>("a@b.example");
    record.email3AddressType = const_cast<char*>("EX");
    mapisim_call_log_clear();
    const uint32_t objects = mapisim_live_objects();
    EXPECT_EQ(OrviMapiContactUpdate(contacts, Size(ann), ann.data(), &record), 0);
    EXPECT_EQ(mapisim_call_count_of("IMAPIFolder::OpenEntry"), 1u);
    EXPECT_EQ(mapisim_call_count_of("IMessage::SetProps"), 0u);
    EXPECT_EQ(mapisim_call_count_of("IMessage::SaveChanges"), 0u);
    EXPECT_EQ(mapisim_live_objects(), objects);
}

TEST_F(ContactsTest, UpdateOfSomethingThatIsNoMessage)
{
    OpenContacts(true);
    uint32_t size = 0;
    unsigned char id[256];
    OrviMapiFolder top = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreGetRootFolder(store.store, &top, &size, id), 0);
    OrviMapiReleaseFolder(top);
    ContactRecord record{};
    record.email1AddressType = const_cast<char*>("SMTP");
    record.email1Address = const_cast<char*>("x@y.example");
    const uint32_t objects = mapisim_live_objects();
    EXPECT_EQ(OrviMapiContactUpdate(contacts, static_cast<int32_t>(size), id, &record), -1);
    EXPECT_EQ(LastErrorText(), "EntryID not Msg Object");
    EXPECT_EQ(mapisim_live_objects(), objects) << "the opened folder is released";
}

TEST_F(ContactsTest, UnresolvedSlotsWriteWhereNothingReads)
{
    OpenContacts(false);
    ContactRecord record{};
    record.displayName = const_cast<char*>("Early Bird");
    record.email1AddressType = const_cast<char*>("SMTP");
    record.email1Address = const_cast<char*>("early@bird.example");
    mapisim_call_log_clear();
    ASSERT_EQ(OrviMapiContactAdd(contacts, &record), 0) << LastError();
    EXPECT_EQ(WrittenTags(), (std::vector<std::string>{"0x001A001E", "0x3001001E", "0x66990003",
                                                       "0x66990003", "0x66990003"}));
}

TEST_F(ContactsTest, AContactThatFailsToBeWrittenIsNotSaved)
{
    OpenContacts(true);
    ContactRecord record{};
    record.displayName = const_cast<char*>("Never Saved");
    for (const char* method : {"IMessage::SetProps", "IMessage::SaveChanges"}) {
        SCOPED_TRACE(method);
        mapisim_call_log_clear();
        mapisim_fail_method(method, 1, 0, static_cast<int32_t>(0x80040102));
        EXPECT_EQ(OrviMapiContactAdd(contacts, &record), -1);
        EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 258");
        EXPECT_EQ(mapisim_call_count_of("IMessage::GetLastError"), 1u)
            << "the message's own account";
        EXPECT_EQ(Names().size(), 3u);
    }
}

TEST_F(ContactsTest, ArgumentsAreCheckedInOrder)
{
    OpenContacts(true);
    ContactRecord record{};
    const unsigned char id[4] = {1, 2, 3, 4};
    OrviMapiTable table = nullptr;
    mapisim_call_log_clear();
    EXPECT_EQ(OrviMapiContactContQuerySet(nullptr, &table), -1);
    EXPECT_EQ(LastErrorText(), "Folder not defined");
    EXPECT_EQ(OrviMapiContactAdd(nullptr, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "pFolder is NULL");
    EXPECT_EQ(OrviMapiContactAdd(contacts, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "pParam is NULL");
    EXPECT_EQ(OrviMapiContactUpdate(nullptr, 0, nullptr, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "pFolder is NULL");
    EXPECT_EQ(OrviMapiContactUpdate(contacts, 0, nullptr, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "Bad iEIDLength value");
    EXPECT_EQ(OrviMapiContactUpdate(contacts, -4, id, &record), -1);
    EXPECT_EQ(LastErrorText(), "Bad iEIDLength value");
    EXPECT_EQ(OrviMapiContactUpdate(contacts, 4, nullptr, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "pEID is NULL");
    EXPECT_EQ(OrviMapiContactUpdate(contacts, 4, id, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "pParam is NULL");
    EXPECT_EQ(mapisim_call_count_of("IMAPIFolder::OpenEntry"), 0u);
    EXPECT_EQ(mapisim_call_count_of("IMAPIFolder::CreateMessage"), 0u);
    EXPECT_EQ(OrviMapiContactContGetParam(nullptr, &record), -1);
    EXPECT_EQ(LastErrorText(), "Table is empty");

    OrviMapiStop();
    OrviMapiRowSet rows = nullptr;
    uint32_t size = 0;
    unsigned char* bytes = nullptr;
    const int32_t results[] = {OrviMapiContactContQuerySet(contacts, &table),
                               OrviMapiContactContQueryGetRow(table, &rows),
                               OrviMapiContactContGetParam(rows, &record),
                               OrviMapiContactContGetEID(rows, &size, &bytes),
                               OrviMapiContactAdd(contacts, &record),
                               OrviMapiContactUpdate(contacts, 4, id, &record)};
    for (int32_t result : results) EXPECT_EQ(result, -1);
    EXPECT_EQ(LastErrorText(), "MAPI Session not started");
}

TEST_F(ContactsTest, EveryFailingMapiCallIsRecordedAndLeaksNothing)
{
    OpenContacts(true);
    SweepFaults(Sweep("reading", 3), [&] {
        OrviMapiTable table = nullptr;
        int32_t result = OrviMapiContactContQuerySet(contacts, &table);
        OrviMapiRowSet rows = nullptr;
        if (result == 0) result = OrviMapiContactContQueryGetRow(table, &rows) == 1 ? 0 : -1;
        ContactRecord record;
        if (result == 0) result = OrviMapiContactContGetParam(rows, &record);
        OrviMapiReleaseResult(rows);
        OrviMapiReleaseTable(table);
        return result;
    });

    ContactRecord record{};
    record.displayName = const_cast<char*>("Swept");
    record.email1AddressType = const_cast<char*>("SMTP");
    record.email1Address = const_cast<char*>("swept@example.com");
    SweepFaults(Sweep("adding", 3), [&] { return OrviMapiContactAdd(contacts, &record); });

    const Bytes ann = IdOf("Ann Hollis");
    SweepFaults(Sweep("updating", 4),
                [&] { return OrviMapiContactUpdate(contacts, Size(ann), ann.data(), &record); });
}

} // namespace
