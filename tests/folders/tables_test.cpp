// Hierarchy and contents tables: order, batches, the row readers and the
// FolderContentsRecord, on rows the stand-in serves.
#include <cstdio>

#include "folders/folder_support.h"

namespace {

using namespace foldertest;

std::string Time(const OrviMapiSystemTime& t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

using FolderTables = FolderTest;

TEST_F(FolderTables, HierarchyListsSubfoldersByNameWithTheirColumns)
{
    OrviMapiTable table = nullptr;
    ASSERT_EQ(OrviMapiFolderHierQuerySet(top, &table), 0) << LastError();
    EXPECT_EQ(CallFlags("IMAPIFolder::GetHierarchyTable"), MAPI_DEFERRED_ERRORS);
    EXPECT_EQ(CallFlags("IMAPITable::SortTable"), TBL_BATCH);
    std::vector<std::string> names;
    std::vector<uint32_t> counts; // content count * 10 + subfolder flag
    OrviMapiRowSet rows = nullptr;
    while (OrviMapiFolderHierQueryGetRow(table, &rows) == 1) {
        char name[64];
        Fill(name);
        names.emplace_back(name, OrviMapiFolderHierGetDisplayName(rows, sizeof name, name));
        uint32_t count = 7, subfolders = 7;
        OrviMapiFolderHierGetContentCount(rows, &count);
        OrviMapiFolderHierGetSubFolderFlag(rows, &subfolders);
        counts.push_back(count * 10 + subfolders);
        OrviMapiReleaseResult(rows);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"Addresses", "Archive", "Bulk", "Calendar", "Contacts",
                                        "Deleted Items", "Empty", "Inbox", "Mixed", "Odd People",
                                        "Outbox", "Projects", "Sent Items", "tasks"}));
    EXPECT_EQ(counts, (std::vector<uint32_t>{0, 1, 2500, 0, 0, 1, 0, 1, 30, 0, 0, 11, 0, 0}));
    // The end of the table hands out a row set without rows, still the caller's.
    EXPECT_EQ(OrviMapiFolderHierGetArchiveFlag(rows), -1);
    EXPECT_EQ(LastErrorText(), "Table is empty");
    OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(table);
    table = nullptr;
    EXPECT_EQ(OrviMapiFolderHierQueryAll(nullptr, &table, &rows), -1);
    EXPECT_EQ(LastErrorText(), "Folder not defined");
    EXPECT_EQ(table, nullptr);
}

// Reads one batch of the folder's contents table and keeps it until the end.
struct Contents {
    explicit Contents(OrviMapiFolder folder)
    {
        EXPECT_EQ(OrviMapiFolderContQuerySet(folder, &table), 0) << LastError();
    }
    ~Contents()
    {
        OrviMapiReleaseResult(rows);
        OrviMapiReleaseTable(table);
    }
    int32_t Next()
    {
        OrviMapiReleaseResult(rows);
        rows = nullptr;
        return OrviMapiFolderContQueryGetRow(table, &rows);
    }
    FolderContentsRecord Read(uint32_t row)
    {
        FolderContentsRecord record;
        Fill(record);
        EXPECT_EQ(OrviMapiFolderContReadParam(rows, row, &record), 0) << LastError();
        return record;
    }
    OrviMapiTable table = nullptr;
    OrviMapiRowSet rows = nullptr;
};

TEST_F(FolderTables, ContentsComeInBatchesOfAHundredOrWhatTheStoreGives)
{
    OrviMapiFolder bulk = OpenFolder("Bulk");
    for (uint32_t cap : {0u, 30u}) {
        mapisim_set_queryrows_cap(cap);
        Contents contents(bulk);
        std::vector<int32_t> batches{contents.Next()};
        while (batches.back() > 0) batches.push_back(contents.Next());
        if (cap == 0)
            EXPECT_EQ(batches, (std::vector<int32_t>{100, 100, 50, 0}));
        else
            EXPECT_EQ(batches, (std::vector<int32_t>{30, 30, 30, 30, 30, 30, 30, 30, 10, 0}));
    }
    // All at once, newest delivery first.
    OrviMapiTable table = nullptr;
    OrviMapiRowSet rows = nullptr;
    ASSERT_EQ(OrviMapiFolderContQueryAll(bulk, &table, &rows), 250);
    FolderContentsRecord newest;
    ASSERT_EQ(OrviMapiFolderContReadParam(rows, 0, &newest), 0);
    EXPECT_EQ(std::string(newest.subject, newest.subjectLength), "Order 250");
    EXPECT_EQ(Time(newest.delivered), "2000-05-11 09:00:00");
    OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(table);
    OrviMapiReleaseFolder(bulk);
}

TEST_F(FolderTables, RecordMapsCodesTimesAndTexts)
{
    OrviMapiFolder mixed = OpenFolder("Mixed");
    Contents contents(mixed);
    ASSERT_EQ(contents.Next(), 3);
    const FolderContentsRecord forwarded = contents.Read(0);
    uint32_t size = 0;
    unsigned char* bytes = nullptr;
    ASSERT_EQ(OrviMapiFolderContGetEID(contents.rows, 0, &size, &bytes), 0);
    EXPECT_EQ(forwarded.entryId, bytes); // into the row set, not copied
    EXPECT_EQ(forwarded.entryIdSize, size);
    const uint32_t codes[] = {forwarded.sentItemCode,    forwarded.forwarded,
                              forwarded.replied,         forwarded.hasAttachments,
                              forwarded.importanceCode,  forwarded.read,
                              forwarded.unsent,          forwarded.priorityCode,
                              forwarded.sensitivityCode, forwarded.followUpCode};
    EXPECT_EQ(std::vector<uint32_t>(std::begin(codes), std::end(codes)),
              (std::vector<uint32_t>{1, 1, 0, 1, 3, 1, 0, 2, 3, 0}));
    EXPECT_EQ(Time(forwarded.modified), "2000-03-15 10:00:00");
    EXPECT_EQ(Time(forwarded.delivered), "2000-03-14 09:27:10");
    EXPECT_EQ(Time(forwarded.submitted), "2000-03-14 09:26:53");
    EXPECT_EQ(std::string(forwarded.receivedFor, forwarded.receivedForLength),
              "Boss"); // name, no address
    EXPECT_EQ(std::string(forwarded.messageClass, forwarded.messageClassLength), "IPM.Note");
    EXPECT_EQ(std::string(forwarded.subject, forwarded.subjectLength), "Forwarded");
    uint32_t messageSize = 0;
    EXPECT_EQ(OrviMapiFolderContGetMsgSize(contents.rows, &messageSize), 0);
    EXPECT_EQ(forwarded.size, messageSize);

    const FolderContentsRecord replied = contents.Read(1);
    const uint32_t repliedCodes[] = {
        replied.sentItemCode, replied.forwarded, replied.replied,      replied.importanceCode,
        replied.read,         replied.unsent,    replied.priorityCode, replied.sensitivityCode};
    EXPECT_EQ(std::vector<uint32_t>(std::begin(repliedCodes), std::end(repliedCodes)),
              (std::vector<uint32_t>{2, 0, 1, 2, 0, 1, 3, 1}));
    EXPECT_EQ(Time(replied.delivered), "2000-03-16 08:00:00"); // the submit time stands in
    EXPECT_EQ(Time(replied.submitted), "2000-03-16 08:00:00");
    EXPECT_EQ(std::string(replied.receivedFor, replied.receivedForLength), "rep@example.com");

    FolderContentsRecord plain = contents.Read(2), sentinel;
    Fill(sentinel);
    EXPECT_EQ(plain.importanceCode + plain.priorityCode + plain.sensitivityCode, 3u);
    EXPECT_EQ(Time(plain.delivered) + Time(plain.submitted),
              "0000-00-00 00:00:000000-00-00 00:00:00");
    EXPECT_EQ(plain.messageClassLength + plain.receivedForLength, 0u);
    EXPECT_EQ(plain.messageClass, sentinel.messageClass);
    EXPECT_EQ(plain.receivedFor, sentinel.receivedFor);
    EXPECT_EQ(OrviMapiFolderContReadParam(contents.rows, 3, &plain), -1);
    EXPECT_EQ(LastErrorText(), "Row index out of range");

    // Getters without a row index read the first row.
    char text[64];
    EXPECT_EQ(OrviMapiFolderContGetMsgSubject(contents.rows, sizeof text, text), 9);
    EXPECT_STREQ(text, "Forwarded");
    EXPECT_EQ(OrviMapiFolderContGetMsgSenderName(contents.rows, sizeof text, 1, text), 3);
    EXPECT_STREQ(text, "Bob");
    EXPECT_EQ(OrviMapiFolderContGetMsgSenderEmailAddress(contents.rows, 4, 0, text), 3);
    EXPECT_STREQ(text, "ann");
    EXPECT_EQ(OrviMapiFolderContGetMsgDeliveryTime(contents.rows, text), 14);
    EXPECT_STREQ(text, "20000314092710");
    OrviMapiReleaseFolder(mixed);
}

TEST_F(FolderTables, GettersOnMissingValuesAndOnRowSetsWithoutRows)
{
    OrviMapiFolder projects = OpenFolder("Projects"); // one message: no times, no class
    Contents contents(projects);
    ASSERT_EQ(contents.Next(), 1);
    char text[32];
    Fill(text);
    EXPECT_EQ(OrviMapiFolderContGetMsgDeliveryTime(contents.rows, text), 0);
    EXPECT_EQ(OrviMapiFolderContGetMsgClass(contents.rows, sizeof text, text), 0);
    EXPECT_EQ(static_cast<unsigned char>(text[0]), kSentinelByte);
    OrviMapiSystemTime modified;
    Fill(modified);
    EXPECT_EQ(OrviMapiFolderContGetMsgModifyTime(contents.rows, &modified), 0);
    EXPECT_EQ(Time(modified), "0000-00-00 00:00:00");

    ASSERT_EQ(contents.Next(), 0);
    EXPECT_EQ(OrviMapiFolderContGetMsgSenderEmailAddress(contents.rows, 0, 0, text),
              0); // size 0 first
    EXPECT_EQ(OrviMapiFolderContGetMsgSenderName(contents.rows, 0, 0, text), -1);
    EXPECT_EQ(LastErrorText(), "Table is empty");
    OrviMapiReleaseFolder(projects);
}

} // namespace
