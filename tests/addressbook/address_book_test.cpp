// The personal address book: finding and opening it, reading its entries
// into ContactRecords, and the address-book dialog.
#include <cstring>
#include <string>
#include <vector>

#include "frame/platform.h"
#include "support/fault_sweep.h"
#include "support/library_support.h"
#include "support/sentinel.h"

namespace {

using namespace testsupport;

// "Office" has a PAB (entries deliberately out of name order, the last a
// distribution list) beside a container that is not one; "Travel" has only the latter.
constexpr const char* kMailbox = R"({"profiles": [
 {"name": "Office", "default": true, "address_book": [
  {"name": "Global Address List", "entries": [{"name": "Zed Global", "email": "zed@corp.example"}]},
  {"name": "Personal Address Book", "pab": true, "entries": [
   {"name": "Ulla Brandt", "email": "ulla@brandt.example", "subject": "Ulla", "company": "Brandt Inks",
    "prefix": "Dr", "given_name": "Ulla", "middle_name": "M", "surname": "Brandt", "generation": "II"},
   {"name": "Aaron Cole", "email": "AC/O=EXCH", "addrtype": "EX"},
   {"name": "Mia Lang", "email": "mia@lang.example", "company": null, "0x0FFF000A": "0x8004010F"},
   {"name": "Zz Committee", "0x39000003": 5}]}],
  "stores": [{"name": "Mailbox", "provider": "Personal Folders", "default": true}]},
 {"name": "Travel", "address_book": [{"name": "Global Address List", "entries": []}],
  "stores": [{"name": "Laptop", "provider": "Personal Folders", "default": true}]}]})";

std::string Text(uint32_t length, const char* text)
{
    return text == nullptr ? "(null)" : std::string(text, length);
}

class AddressBookTest : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        Load(kMailbox);
    }

    Bytes PabId()
    {
        uint32_t size = 0;
        unsigned char* bytes = nullptr;
        EXPECT_EQ(OrviMapiABGetEID(&size, &bytes), 0) << LastError();
        Bytes id(bytes, bytes + size);
        MAPIFreeBuffer(bytes);
        return id;
    }

    OrviMapiABContainer OpenPab()
    {
        const Bytes id = PabId();
        OrviMapiABContainer container = nullptr;
        EXPECT_EQ(OrviMapiABGetFolder(Size(id), id.data(), &container), 0) << LastError();
        return container;
    }
};

TEST_F(AddressBookTest, EntriesArriveByDisplayNameAndFillEveryField)
{
    Start();
    OrviMapiABContainer pab = OpenPab();
    ASSERT_NE(pab, nullptr);
    EXPECT_EQ(CallFlags("IAddrBook::OpenEntry"), 0x10u);

    OrviMapiTable table = nullptr;
    ASSERT_EQ(OrviMapiABContQuerySet(pab, &table), 0) << LastError();
    EXPECT_EQ(CallFlags("IABContainer::GetContentsTable"), 0x8u);
    EXPECT_EQ(CallFlags("IMAPITable::SetColumns"), 0x2u);
    EXPECT_EQ(CallFlags("IMAPITable::SortTable"), 0x2u);

    std::vector<ContactRecord> records;
    std::vector<OrviMapiRowSet> rowSets;
    for (;;) {
        OrviMapiRowSet rows = nullptr;
        const int32_t count = OrviMapiABContQueryGetRow(table, &rows);
        ASSERT_GE(count, 0) << LastError();
        ASSERT_NE(rows, nullptr) << "the empty row set is handed out too";
        rowSets.push_back(rows);
        if (count == 0) break;
        ContactRecord record;
        Fill(record);
        ASSERT_EQ(OrviMapiABContGetParam(rows, &record), 0) << LastError();
        records.push_back(record);
    }
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(Text(records[0].displayNameLength, records[0].displayName), "Aaron Cole");
    EXPECT_EQ(Text(records[1].displayNameLength, records[1].displayName), "Mia Lang");
    EXPECT_EQ(Text(records[2].displayNameLength, records[2].displayName), "Ulla Brandt");
    EXPECT_EQ(Text(records[3].displayNameLength, records[3].displayName), "Zz Committee");

    const ContactRecord& aaron = records[0];
    EXPECT_EQ(Text(aaron.email1AddressTypeLength, aaron.email1AddressType), "EX");
    EXPECT_EQ(Text(aaron.email1AddressLength, aaron.email1Address), "AC/O=EXCH");
    EXPECT_GT(aaron.entryIdSize, 0u);
    EXPECT_NE(aaron.entryId, nullptr);

    const ContactRecord& ulla = records[2];
    EXPECT_EQ(Text(ulla.subjectLength, ulla.subject), "Ulla");
    EXPECT_EQ(Text(ulla.companyLength, ulla.company), "Brandt Inks");
    EXPECT_EQ(Text(ulla.displayNamePrefixLength, ulla.displayNamePrefix), "Dr");
    EXPECT_EQ(Text(ulla.givenNameLength, ulla.givenName), "Ulla");
    EXPECT_EQ(Text(ulla.middleNameLength, ulla.middleName), "M");
    EXPECT_EQ(Text(ulla.surnameLength, ulla.surname), "Brandt");
    EXPECT_EQ(Text(ulla.generationLength, ulla.generation), "II");
    EXPECT_EQ(Text(ulla.email1AddressLength, ulla.email1Address), "ulla@brandt.example");

    // Missing properties, and the fields an address-book row never fills,
    // come back as 0 and null over the sentinel.
    const ContactRecord& mia = records[1];
    EXPECT_EQ(mia.companyLength, 0u);
    EXPECT_EQ(mia.company, nullptr);
    EXPECT_EQ(mia.entryIdSize, 0u) << "an error value in place of the identifier";
    EXPECT_EQ(mia.entryId, nullptr);
    for (const ContactRecord& r : records) {
        for (auto [length, text] : {std::pair{r.fileUnderLength, r.fileUnder},
                                    {r.email2AddressTypeLength, r.email2AddressType},
                                    {r.email2AddressLength, r.email2Address},
                                    {r.email3AddressTypeLength, r.email3AddressType},
                                    {r.email3AddressLength, r.email3Address}}) {
            EXPECT_EQ(length, 0u);
            EXPECT_EQ(text, nullptr);
        }
    }

    // The identifier reader: from the row, and nothing recorded without one.
    uint32_t size = 0;
    unsigned char* bytes = nullptr;
    OrviMapiRowSet firstRow = rowSets[0];
    ASSERT_EQ(OrviMapiABGetContactEID(firstRow, &size, &bytes), 0);
    EXPECT_EQ(size, aaron.entryIdSize);
    EXPECT_EQ(bytes, aaron.entryId) << "points into the row set";
    const std::string before = LastError();
    EXPECT_EQ(OrviMapiABGetContactEID(rowSets[1], &size, &bytes), -1);
    EXPECT_EQ(LastError(), before);

    for (OrviMapiRowSet rows : rowSets) OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(table);
    OrviMapiReleaseFolder(reinterpret_cast<OrviMapiFolder>(pab));
}

TEST_F(AddressBookTest, AProfileWithoutPersonalAddressBook)
{
    Start("Travel");
    uint32_t size = 7;
    unsigned char* bytes = nullptr;
    EXPECT_EQ(OrviMapiABGetEID(&size, &bytes), -1);
    EXPECT_EQ(LastErrorText(), "No PAB defined");
    EXPECT_EQ(LastErrorCode(), "none");
    EXPECT_EQ(size, 7u) << "nothing handed out";
    EXPECT_EQ(bytes, nullptr);
}

TEST_F(AddressBookTest, AFailingGetPabRecordsNothing)
{
    Start();
    OrviMapiABContQuerySet(nullptr, nullptr);
    const std::string before = LastError();
    mapisim_fail_method("IAddrBook::GetPAB", 1, 0, static_cast<int32_t>(0x80004005));
    uint32_t size = 0;
    unsigned char* bytes = nullptr;
    EXPECT_EQ(OrviMapiABGetEID(&size, &bytes), -1);
    EXPECT_EQ(LastError(), before);
}

TEST_F(AddressBookTest, OpeningSomethingOtherThanAContainer)
{
    Start();
    OrviMapiABContainer container = nullptr;
    const unsigned char byte = 0;
    EXPECT_EQ(OrviMapiABGetFolder(0, &byte, &container), -1);
    EXPECT_EQ(LastErrorText(), "Invalid EntryID");
    EXPECT_EQ(OrviMapiABGetFolder(4, nullptr, &container), -1);
    EXPECT_EQ(LastErrorText(), "Invalid EntryID");

    // A mail user's identifier opens an entry, which is released again.
    OrviMapiABContainer pab = OpenPab();
    OrviMapiTable table = nullptr;
    ASSERT_EQ(OrviMapiABContQuerySet(pab, &table), 0);
    OrviMapiRowSet rows = nullptr;
    ASSERT_EQ(OrviMapiABContQueryGetRow(table, &rows), 1);
    uint32_t size = 0;
    unsigned char* bytes = nullptr;
    ASSERT_EQ(OrviMapiABGetContactEID(rows, &size, &bytes), 0);
    const uint32_t objects = mapisim_live_objects();
    EXPECT_EQ(OrviMapiABGetFolder(static_cast<int32_t>(size), bytes, &container), -1);
    EXPECT_EQ(LastErrorText(), "Not Address Book Object");
    EXPECT_EQ(container, nullptr);
    EXPECT_EQ(mapisim_live_objects(), objects);

    // So does a distribution list's: it is no container either.
    for (int i = 0; i < 3; ++i) {
        OrviMapiReleaseResult(rows);
        ASSERT_EQ(OrviMapiABContQueryGetRow(table, &rows), 1);
    }
    ASSERT_EQ(OrviMapiABGetContactEID(rows, &size, &bytes), 0);
    EXPECT_EQ(OrviMapiABGetFolder(static_cast<int32_t>(size), bytes, &container), -1);
    EXPECT_EQ(LastErrorText(), "Not Address Book Object");
    EXPECT_EQ(mapisim_live_objects(), objects);

    // An identifier the address book does not know: MAPI's failure.
    const Bytes bogus = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(OrviMapiABGetFolder(Size(bogus), bogus.data(), &container), -1);
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 513") << "MAPI_E_UNKNOWN_ENTRYID";

    OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(table);
    OrviMapiReleaseFolder(reinterpret_cast<OrviMapiFolder>(pab));
}

TEST_F(AddressBookTest, NullHandlesAndEmptyRowSets)
{
    Start();
    OrviMapiTable table = nullptr;
    EXPECT_EQ(OrviMapiABContQuerySet(nullptr, &table), -1);
    EXPECT_EQ(LastErrorText(), "Folder not defined");
    OrviMapiRowSet rows = nullptr;
    EXPECT_EQ(OrviMapiABContQueryGetRow(nullptr, &rows), -1);
    EXPECT_EQ(LastErrorText(), "Table not defined");

    ContactRecord record;
    Fill(record);
    const ContactRecord untouched = record;
    EXPECT_EQ(OrviMapiABContGetParam(nullptr, &record), -1);
    EXPECT_EQ(LastErrorText(), "Table is empty");
    EXPECT_EQ(std::memcmp(&record, &untouched, sizeof record), 0);

    OrviMapiABContainer pab = OpenPab();
    ASSERT_EQ(OrviMapiABContQuerySet(pab, &table), 0);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(OrviMapiABContQueryGetRow(table, &rows), 1);
        OrviMapiReleaseResult(rows);
    }
    ASSERT_EQ(OrviMapiABContQueryGetRow(table, &rows), 0);
    EXPECT_EQ(OrviMapiABContGetParam(rows, &record), -1);
    EXPECT_EQ(LastErrorText(), "Table is empty");
    uint32_t size = 0;
    unsigned char* bytes = nullptr;
    EXPECT_EQ(OrviMapiABGetContactEID(rows, &size, &bytes), -1);
    EXPECT_EQ(LastErrorText(), "Table is empty");
    OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(table);
    OrviMapiReleaseFolder(reinterpret_cast<OrviMapiFolder>(pab));
}

TEST_F(AddressBookTest, TheDialogIsShownEvenWithoutAnIdentifier)
{
    Start();
    EXPECT_EQ(OrviMapiABShowForm(0, nullptr), 0);
    EXPECT_EQ(LastErrorText(), "Invalid EntryID") << "recorded, and the dialog shown all the same";
    EXPECT_EQ(mapisim_call_count_of("IAddrBook::Address"), 1u);
    EXPECT_EQ(CallFlags("IAddrBook::Address"), 0x1u) << "DIALOG_MODAL only";
    EXPECT_EQ(CallArg("IAddrBook::Address", "ui"), "0");
    EXPECT_EQ(CallArg("IAddrBook::Address", "dest_fields"), "0");

    const Bytes id = PabId();
    OrviMapiABContQuerySet(nullptr, nullptr);
    EXPECT_EQ(OrviMapiABShowForm(Size(id), id.data()), 0);
    EXPECT_EQ(LastErrorText(), "Folder not defined") << "a valid identifier records nothing";

    mapisim_script_address_dialog(static_cast<int32_t>(0x80040113));
    EXPECT_EQ(OrviMapiABShowForm(Size(id), id.data()), -1);
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 275");
}

TEST_F(AddressBookTest, EveryExportNeedsASession)
{
    uint32_t size = 0;
    unsigned char* bytes = nullptr;
    OrviMapiABContainer container = nullptr;
    OrviMapiTable table = nullptr;
    OrviMapiRowSet rows = nullptr;
    ContactRecord record{};
    const unsigned char id[4] = {1, 2, 3, 4};
    const int32_t results[] = {OrviMapiABGetEID(&size, &bytes),
                               OrviMapiABGetFolder(4, id, &container),
                               OrviMapiABContQuerySet(container, &table),
                               OrviMapiABContQueryGetRow(table, &rows),
                               OrviMapiABContGetParam(rows, &record),
                               OrviMapiABGetContactEID(rows, &size, &bytes),
                               OrviMapiABShowForm(4, id)};
    for (int32_t result : results) EXPECT_EQ(result, -1);
    EXPECT_EQ(LastErrorText(), "MAPI Session not started");
    EXPECT_EQ(mapisim_call_count_of("IAddrBook::Address"), 0u);
}

TEST_F(AddressBookTest, EveryFailingMapiCallIsRecordedAndLeaksNothing)
{
    Start();
    // A failing GetPAB is the one failure left unrecorded.
    const auto recorded = [](const SweepRun& run) {
        if (!run.injected) return;
        if (run.failedMethod == "IAddrBook::GetPAB")
            EXPECT_EQ(LastErrorText(), "Folder not defined");
        else
            EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 271") << run.failedMethod;
    };
    SweepFaults(FaultSweep("reading the PAB").Check(recorded), [] {
        OrviMapiABContQuerySet(nullptr, nullptr); // a known last error
        uint32_t size = 0;
        unsigned char* bytes = nullptr;
        int32_t result = OrviMapiABGetEID(&size, &bytes);
        OrviMapiABContainer container = nullptr;
        if (result == 0)
            result = OrviMapiABGetFolder(static_cast<int32_t>(size), bytes, &container);
        MAPIFreeBuffer(bytes);
        OrviMapiTable table = nullptr;
        if (result == 0) result = OrviMapiABContQuerySet(container, &table);
        OrviMapiRowSet rows = nullptr;
        if (result == 0) result = OrviMapiABContQueryGetRow(table, &rows) == 1 ? 0 : -1;
        ContactRecord record;
        if (result == 0) result = OrviMapiABContGetParam(rows, &record);
        OrviMapiReleaseResult(rows);
        OrviMapiReleaseTable(table);
        OrviMapiReleaseFolder(reinterpret_cast<OrviMapiFolder>(container));
        return result;
    });
    SweepFaults(FaultSweep("the dialog").LastErrorCode("Facility ITF, Error Num 271"),
                [] { return OrviMapiABShowForm(0, nullptr); });
}

} // namespace
