// The advise exports on the stand-in: argument checks, what is registered
// and released, and an application hearing about its own changes.
#include <algorithm>
#include <atomic>
#include <thread>

#include "folders/folder_support.h"
#include "notify/advise_sink.h"
#include "notify_support.h"
#include "support/fault_sweep.h"

namespace {

using namespace foldertest;
using notifytest::Callbacks;
using notifytest::Recorded;

constexpr int32_t kSentinel = 0x5A5A5A5A;
OrviMapiSink const kSinkSentinel = reinterpret_cast<OrviMapiSink>(0x5A5A);

class AdviseTest : public FolderTest {
protected:
    void SetUp() override
    {
        FolderTest::SetUp();
        Callbacks().clear();
        notifytest::OnCallback() = nullptr;
    }
    void TearDown() override
    {
        mapisim_set_notification_thread(0);
        notifytest::OnCallback() = nullptr;
        FolderTest::TearDown();
    }

    void Advise(uintptr_t userValue = 7)
    {
        ASSERT_EQ(
            OrviMapiAdviseMsgStoreCreate(store, userValue, notifytest::Record, &connection, &sink),
            0)
            << LastError();
    }

    std::vector<int32_t> Codes() const
    {
        std::vector<int32_t> codes;
        for (const Recorded& r : notifytest::Snapshot()) codes.push_back(r.eventCode);
        return codes;
    }

    // The entry identifier of the first message of the folder at path.
    Bytes FirstMessageId(const std::string& path)
    {
        OrviMapiFolder folder = OpenFolder(path);
        OrviMapiTable table = nullptr;
        OrviMapiRowSet rows = nullptr;
        EXPECT_EQ(OrviMapiFolderContQuerySet(folder, &table), 0);
        EXPECT_GT(OrviMapiFolderContQueryGetRow(table, &rows), 0);
        uint32_t size = 0;
        unsigned char* bytes = nullptr;
        EXPECT_EQ(OrviMapiFolderContGetEID(rows, 0, &size, &bytes), 0);
        Bytes id(bytes, bytes + size);
        OrviMapiReleaseResult(rows);
        OrviMapiReleaseTable(table);
        OrviMapiReleaseFolder(folder);
        return id;
    }

    int32_t connection = kSentinel;
    OrviMapiSink sink = kSinkSentinel;
};

TEST_F(AdviseTest, ArgumentsAreCheckedInOrderAndNothingIsRegisteredOnFailure)
{
    int i = 0;
    auto expect = [&](int32_t result, const char* text) {
        SCOPED_TRACE(i++);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(LastErrorText(), text);
        EXPECT_EQ(LastErrorCode(), "none");
    };
    expect(OrviMapiAdviseMsgStoreCreate(nullptr, 1, notifytest::Record, &connection, &sink),
           "MsgStore not defined");
    expect(OrviMapiAdviseMsgStoreCreate(store, 1, notifytest::Record, nullptr, &sink),
           "AdviseConnection not defined");
    expect(OrviMapiAdviseMsgStoreCreate(store, 1, notifytest::Record, &connection, nullptr),
           "pbAdviseSink not defined");
    expect(OrviMapiAdviseMsgStoreDestroy(nullptr, 1, sink), "MsgStore not defined");
    expect(OrviMapiAdviseMsgStoreDestroy(store, 0, sink), "AdviseConnection not defined");
    expect(OrviMapiAdviseMsgStoreDestroy(store, -3, sink), "AdviseConnection not defined");
    expect(OrviMapiAdviseMsgStoreDestroy(store, 1, nullptr), "pbAdviseSink not defined");
    expect(OrviMapiAdviseTableCreate(nullptr, &connection, &sink), "Table not defined");
    expect(OrviMapiAdviseTableDestroy(nullptr, 1, sink), "Table not defined");
    auto* anyTable = reinterpret_cast<OrviMapiTable>(1);
    expect(OrviMapiAdviseTableDestroy(anyTable, 0, sink), "AdviseConnection not defined");
    expect(OrviMapiAdviseTableDestroy(anyTable, 1, nullptr), "pbAdviseSink not defined");
    EXPECT_EQ(mapisim_call_count(), 0u) << "no MAPI call for a refused argument";
    EXPECT_EQ(connection, kSentinel);
    EXPECT_EQ(sink, kSinkSentinel);

    OrviMapiStop();
    expect(OrviMapiAdviseMsgStoreCreate(store, 1, notifytest::Record, &connection, &sink),
           "MAPI Session not started");
    expect(OrviMapiAdviseMsgStoreDestroy(store, 1, sink), "MAPI Session not started");
    expect(OrviMapiAdviseTableCreate(anyTable, &connection, &sink), "MAPI Session not started");
    expect(OrviMapiAdviseTableDestroy(anyTable, 1, sink), "MAPI Session not started");
}

TEST_F(AdviseTest, TheStoreSinkIsAdvisedOnTheWholeStoreAndHeldByBoth)
{
    Advise();
    EXPECT_GE(connection, 1);
    EXPECT_EQ(CallArg("IMsgStore::Advise", "mask"), "2147483774");
    EXPECT_EQ(CallArg("IMsgStore::Advise", "entryid"), "(null)");
    EXPECT_EQ(AsSink(sink)->refCount, 2u) << "the application's and MAPI's";
    EXPECT_EQ(OrviMapiAdviseMsgStoreDestroy(store, connection, sink), 0);
    EXPECT_EQ(CallArg("IMsgStore::Unadvise", "connection"), std::to_string(connection));

    // Destroying an unknown connection still releases the sink.
    Advise();
    AsSink(sink)->AddRef(); // a second application reference, for the second destroy
    EXPECT_EQ(OrviMapiAdviseMsgStoreDestroy(store, connection + 1000, sink), 0);
    EXPECT_EQ(AsSink(sink)->refCount, 2u);
    EXPECT_EQ(OrviMapiAdviseMsgStoreDestroy(store, connection, sink), 0);
}

TEST_F(AdviseTest, AnApplicationHearsItsOwnChangesUntilItDestroysTheAdvise)
{
    const uint32_t objectsBefore = mapisim_live_objects();
    Advise(0xC0FFEE);
    const Bytes projects = FolderId("Projects");
    OrviMapiFolder fresh = nullptr;
    ASSERT_EQ(OrviMapiFolderNew(Size(storeId), storeId.data(), Size(topId), topId.data(), "Fresh",
                                &fresh),
              0)
        << LastError();
    OrviMapiReleaseFolder(fresh);
    ASSERT_EQ(Callbacks().size(), 1u) << "heard inside the call that made the change";
    const Bytes announced = Callbacks()[0].ids[0];
    ASSERT_EQ(OrviMapiMsgStoreGetFolderInterface(store, Size(announced), announced.data(), &fresh),
              0);
    OrviMapiReleaseFolder(fresh);
    const Bytes freshId = FolderId("Fresh");
    ASSERT_EQ(OrviMapiFolderRename(Size(storeId), storeId.data(), Size(freshId), freshId.data(),
                                   "Renamed"),
              0);
    ASSERT_EQ(OrviMapiFolderCopy(Size(storeId), storeId.data(), Size(freshId), freshId.data(),
                                 Size(projects), projects.data(), 1),
              0)
        << LastError();
    const Bytes kickOff = FirstMessageId("Projects");
    OrviMapiMessage message = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreGetMsgInterface(store, Size(kickOff), kickOff.data(), &message), 0);
    ASSERT_EQ(OrviMapiMsgStoreMsgDelete(store, message), 0) << LastError();
    OrviMapiReleaseMsg(message);
    ASSERT_EQ(OrviMapiFolderDelete(Size(storeId), storeId.data(), Size(freshId), freshId.data()),
              0);

    // Tables hand out short-term identifiers, notifications long-term ones:
    // the same object either way.
    auto same = [](const Bytes& a, const Bytes& b) {
        return a.size() == b.size() && a.size() > 4 &&
               std::equal(a.begin() + 4, a.end(), b.begin() + 4);
    };
    const std::vector<Recorded> calls = Callbacks();
    EXPECT_EQ(Codes(), (std::vector<int32_t>{2, 5, 6, 4, 4}));
    ASSERT_EQ(calls.size(), 5u);
    const int32_t kinds[] = {1, 1, 1, 2, 1};
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].objectKind, kinds[i]);
        EXPECT_EQ(calls[i].userValue, 0xC0FFEEu);
        EXPECT_EQ(*calls[i].storeHandle, store);
    }
    EXPECT_TRUE(same(calls[0].ids[0], freshId));
    EXPECT_TRUE(same(calls[0].ids[1], topId));
    EXPECT_TRUE(same(calls[2].ids[1], projects));
    EXPECT_TRUE(same(calls[2].ids[2], freshId));
    EXPECT_TRUE(same(calls[2].ids[3], topId));
    EXPECT_TRUE(same(calls[3].ids[0], kickOff));
    EXPECT_TRUE(same(calls[3].ids[1], projects));

    ASSERT_EQ(OrviMapiAdviseMsgStoreDestroy(store, connection, sink), 0);
    EXPECT_EQ(mapisim_live_objects(), objectsBefore);
    ASSERT_EQ(OrviMapiFolderNew(Size(storeId), storeId.data(), Size(topId), topId.data(), "Later",
                                &fresh),
              0);
    OrviMapiReleaseFolder(fresh);
    EXPECT_EQ(Callbacks().size(), 5u) << "nothing after the destroy";
}

TEST_F(AdviseTest, ATableSinkHearsItsTableButNeverCallsTheApplication)
{
    OrviMapiFolder projects = OpenFolder("Projects");
    OrviMapiTable table = nullptr;
    ASSERT_EQ(OrviMapiFolderHierQuerySet(projects, &table), 0);
    ASSERT_EQ(OrviMapiAdviseTableCreate(table, &connection, &sink), 0) << LastError();
    EXPECT_EQ(CallArg("IMAPITable::Advise", "mask"), "256");
    EXPECT_EQ(AsSink(sink)->muted, 1u);
    OrviMapiFolder made = nullptr;
    ASSERT_EQ(OrviMapiFolderAdd(projects, "Under", &made), 0);
    OrviMapiReleaseFolder(made);
    EXPECT_TRUE(Callbacks().empty());
    EXPECT_EQ(OrviMapiAdviseTableDestroy(table, connection, sink), 0);
    EXPECT_EQ(CallArg("IMAPITable::Unadvise", "connection"), std::to_string(connection));

    // Released without a destroy, the table unadvises the sink itself.
    ASSERT_EQ(OrviMapiAdviseTableCreate(table, &connection, &sink), 0);
    OrviMapiReleaseTable(table);
    EXPECT_EQ(AsSink(sink)->refCount, 1u);
    AsSink(sink)->Release();
    OrviMapiReleaseFolder(projects);
}

TEST_F(AdviseTest, AReleasedStoreGivesBackMapisReference)
{
    OrviMapiStore second = nullptr;
    ASSERT_EQ(OrviMapiMsgStoreGetMsgStoreInterface(Size(storeId), storeId.data(), &second), 0);
    ASSERT_EQ(OrviMapiAdviseMsgStoreCreate(second, 1, notifytest::Record, &connection, &sink), 0);
    OrviMapiMsgStoreRelease(second);
    EXPECT_EQ(AsSink(sink)->refCount, 1u);
    AsSink(sink)->Release();
}

TEST_F(AdviseTest, AFailedAdviseFreesTheSinkAndLeavesTheOutputsAlone)
{
    for (const char* method : {"IMsgStore::Advise", "IMAPITable::Advise"}) {
        SCOPED_TRACE(method);
        OrviMapiTable table = nullptr;
        ASSERT_EQ(OrviMapiFolderHierQuerySet(top, &table), 0);
        mapisim_fail_method(method, 1, 0, static_cast<int32_t>(0x8004010F));
        const int32_t result =
            std::string(method) == "IMsgStore::Advise"
                ? OrviMapiAdviseMsgStoreCreate(store, 1, notifytest::Record, &connection, &sink)
                : OrviMapiAdviseTableCreate(table, &connection, &sink);
        mapisim_clear_faults();
        EXPECT_EQ(result, -1);
        EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 271");
        EXPECT_EQ(connection, kSentinel);
        EXPECT_EQ(sink, kSinkSentinel);
        OrviMapiReleaseTable(table);
    }
}

TEST_F(AdviseTest, TheNotificationThreadCallsTheApplicationOnAnotherThread)
{
    ASSERT_EQ(mapisim_set_notification_thread(1), 0);
    const auto mainThread = std::this_thread::get_id();
    std::atomic<int> onMain{0};
    notifytest::OnCallback() = [&](const Recorded&) {
        if (std::this_thread::get_id() == mainThread) ++onMain;
    };
    Advise();
    constexpr int kFolders = 8;
    for (int i = 0; i < kFolders; ++i) {
        OrviMapiFolder made = nullptr;
        ASSERT_EQ(OrviMapiFolderAdd(top, ("Threaded" + std::to_string(i)).c_str(), &made), 0);
        OrviMapiReleaseFolder(made);
    }
    mapisim_wait_for_notifications();
    EXPECT_EQ(Codes(), std::vector<int32_t>(kFolders, 2));
    EXPECT_EQ(onMain, 0);
    ASSERT_EQ(OrviMapiAdviseMsgStoreDestroy(store, connection, sink), 0);
    OrviMapiFolder made = nullptr;
    ASSERT_EQ(OrviMapiFolderAdd(top, "Unheard", &made), 0);
    OrviMapiReleaseFolder(made);
    mapisim_wait_for_notifications();
    EXPECT_EQ(notifytest::Snapshot().size(), static_cast<size_t>(kFolders));
}

// Every MAPI call of the four exports failing in turn: the failure is
// recorded and no stand-in object is left behind.
TEST_F(AdviseTest, EveryFailingMapiCallIsRecordedAndLeaksNothing)
{
    OrviMapiTable table = nullptr;
    ASSERT_EQ(OrviMapiFolderHierQuerySet(top, &table), 0);
    auto run = [&] {
        int32_t c1 = 0, c2 = 0;
        OrviMapiSink s1 = nullptr, s2 = nullptr;
        int32_t result = OrviMapiAdviseMsgStoreCreate(store, 1, notifytest::Record, &c1, &s1);
        if (result == 0) result = OrviMapiAdviseTableCreate(table, &c2, &s2);
        if (s2 != nullptr) OrviMapiAdviseTableDestroy(table, c2, s2);
        if (s1 != nullptr) OrviMapiAdviseMsgStoreDestroy(store, c1, s1);
        return result;
    };
    // A failed unadvise is not reported; only the advises fail the run.
    SweepFaults(FaultSweep("advise")
                    .Steps({{"IMsgStore::Advise", -1},
                            {"IMAPITable::Advise", -1},
                            {"IMAPITable::Unadvise", 0},
                            {"IMsgStore::Unadvise", 0}})
                    .Check([](const SweepRun& r) {
                        if (r.result != 0) {
                            EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 271");
                        }
                    }),
                run);
    OrviMapiReleaseTable(table);
}

} // namespace
