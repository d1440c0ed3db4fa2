// Copying, moving, deleting and recycling lists of messages: what moves,
// the flags MAPI is given, the results of refusals and failures, and the
// one-at-a-time deletion that stops at its first failure.
#include "messages/message_ops_support.h"
#include "support/fault_sweep.h"

namespace {

using namespace msgops;
using Names = std::vector<std::string>;

constexpr const char* kInvalidArgCode = "Facility WIN32, Error Num 87";

class MessageCopyTest : public MessageOpsTest {
protected:
    using Export = int32_t (*)(int32_t, const unsigned char*, int32_t, const unsigned char*,
                               int32_t, const unsigned char*, const OrviMapiEntryList*);
    using FolderExport = int32_t (*)(int32_t, const unsigned char*, int32_t, const unsigned char*,
                                     const OrviMapiEntryList*);

    int32_t Run(Export run, const std::string& from, const std::string& to, const EntryList& list)
    {
        const Bytes source = FolderId(from), destination = FolderId(to);
        return run(Size(storeId), storeId.data(), Size(source), source.data(), Size(destination),
                   destination.data(), list.get());
    }
    int32_t Run(FolderExport run, const std::string& folder, const EntryList& list)
    {
        return Run(run, FolderId(folder), list);
    }
    int32_t Run(Export run, const Bytes& source, const Bytes& destination, const EntryList& list)
    {
        return run(Size(storeId), storeId.data(), Size(source), source.data(), Size(destination),
                   destination.data(), list.get());
    }
    int32_t Run(FolderExport run, const Bytes& folder, const EntryList& list)
    {
        return run(Size(storeId), storeId.data(), Size(folder), folder.data(), list.get());
    }
    std::vector<Bytes> Ids(const std::string& folder, const Names& subjects)
    {
        std::vector<Bytes> ids;
        for (const std::string& subject : subjects) ids.push_back(MessageId(folder, subject));
        return ids;
    }
};

TEST_F(MessageCopyTest, CopyMoveAndDeleteActOnTheListedMessages)
{
    EntryList two(Ids("Inbox", {"One", "Three"}));
    ASSERT_EQ(Run(OrviMapiMsgCopy, "Inbox", "Archive", two), 0) << LastError();
    EXPECT_EQ(CallFlags("IMAPIFolder::CopyMessages"), static_cast<uint32_t>(MESSAGE_DIALOG));
    EXPECT_EQ(Subjects("Inbox"), (Names{"One", "Two", "Three"}));
    EXPECT_EQ(Subjects("Archive"), (Names{"One", "Three"}));

    // Into the folder the messages are in: allowed, and nothing is lost.
    ASSERT_EQ(Run(OrviMapiMsgMove, "Inbox", "Inbox", two), 0) << LastError();
    EXPECT_EQ(Subjects("Inbox").size(), 3u);

    mapisim_call_log_clear();
    ASSERT_EQ(Run(OrviMapiMsgMove, "Inbox", "Inbox/Lists", two), 0) << LastError();
    EXPECT_EQ(CallFlags("IMAPIFolder::CopyMessages"),
              static_cast<uint32_t>(MESSAGE_MOVE | MESSAGE_DIALOG));
    EXPECT_EQ(Subjects("Inbox"), (Names{"Two"}));
    EXPECT_EQ(Subjects("Inbox/Lists"), (Names{"Deep", "One", "Three"}));

    // An entry of another folder is skipped: MAPI completes the rest.
    EntryList mixed({MessageId("Inbox", "Two"), MessageId("Archive", "One")});
    ASSERT_EQ(Run(OrviMapiMsgDelete, "Inbox", mixed), 0) << LastError();
    EXPECT_EQ(CallFlags("IMAPIFolder::DeleteMessages"), static_cast<uint32_t>(MESSAGE_DIALOG));
    EXPECT_TRUE(Subjects("Inbox").empty());
    EXPECT_EQ(Subjects("Archive"), (Names{"One", "Three"}));

    EntryList none;
    EXPECT_EQ(Run(OrviMapiMsgCopy, "Archive", "Inbox", none), 0);
    EXPECT_TRUE(Subjects("Inbox").empty());
}

TEST_F(MessageCopyTest, AnExtendedErrorOfAMoveGivesMinusTwo)
{
    EntryList one(Ids("Inbox", {"One"}));
    mapisim_fail_method("IMAPIFolder::CopyMessages", 1, 1, MAPI_E_EXTENDED_ERROR);
    EXPECT_EQ(Run(OrviMapiMsgMove, "Inbox", "Archive", one), -2);
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 281");
    EXPECT_EQ(Run(OrviMapiMsgCopy, "Inbox", "Archive", one), MAPI_E_EXTENDED_ERROR);
    mapisim_clear_faults();
    mapisim_fail_method("IMAPIFolder::CopyMessages", 1, 1, MAPI_E_NO_ACCESS);
    EXPECT_EQ(Run(OrviMapiMsgMove, "Inbox", "Archive", one), MAPI_E_NO_ACCESS);
    mapisim_clear_faults();
    EXPECT_EQ(Subjects("Inbox").size(), 3u);
}

TEST_F(MessageCopyTest, RecycleMovesIntoDeletedItemsButNotOutOfIt)
{
    EntryList two(Ids("Inbox", {"One", "Two"}));
    ASSERT_EQ(Run(OrviMapiMsgRecycle, "Inbox", two), 0) << LastError();
    EXPECT_EQ(CallFlags("IMAPIFolder::CopyMessages"), static_cast<uint32_t>(MESSAGE_MOVE));
    EXPECT_EQ(Subjects("Inbox"), (Names{"Three"}));
    EXPECT_EQ(Subjects("Deleted Items"), (Names{"Old", "One", "Two"}));

    EntryList old(Ids("Deleted Items", {"Old", "One"}));
    mapisim_call_log_clear();
    EXPECT_EQ(Run(OrviMapiMsgRecycle, "Deleted Items", old), MAPI_E_INVALID_OBJECT);
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 264");
    EXPECT_EQ(mapisim_call_count_of("IMAPIFolder::CopyMessages"), 0u);
    EXPECT_EQ(Subjects("Deleted Items").size(), 3u);
}

TEST_F(MessageCopyTest, RecycleNeedsAStoreWithDeletedItems)
{
    std::string json = kMailbox;
    const std::string special = ", \"deleted_items\": \"Deleted Items\"";
    json.replace(json.find(special), special.size(), "");
    Open(json);
    EntryList one(Ids("Inbox", {"One"}));
    EXPECT_EQ(Run(OrviMapiMsgRecycle, "Inbox", one), MAPI_E_INVALID_OBJECT);
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 264");
    EXPECT_EQ(mapisim_call_count_of("IMsgStore::CompareEntryIDs"), 0u);
    EXPECT_EQ(Subjects("Inbox").size(), 3u);
}

TEST_F(MessageCopyTest, RecycleOneAtATimeStopsAtTheFirstFailure)
{
    EntryList list({MessageId("Inbox", "One"), MessageId("Inbox/Lists", "Deep"),
                    FolderId("Archive"), MessageId("Inbox", "Two")});
    EXPECT_EQ(Run(OrviMapiMsgRecycle2, "Inbox", list), E_FAIL);
    EXPECT_EQ(LastErrorCode(), "Facility NULL, Error Num 16389");
    EXPECT_EQ(Subjects("Inbox"), (Names{"Two", "Three"}));
    EXPECT_TRUE(Subjects("Inbox/Lists").empty());
    // Deleted, not recycled: each from its own folder, flags 0.
    EXPECT_EQ(CallFlags("IMAPIFolder::DeleteMessages", 1), 0u);
    EXPECT_EQ(Subjects("Deleted Items"), (Names{"Old"}));

    // An entry without bytes fails without MAPI being asked to open it.
    EntryList holes({MessageId("Inbox", "Two"), Bytes{}, MessageId("Inbox", "Three")});
    mapisim_call_log_clear();
    EXPECT_EQ(Run(OrviMapiMsgRecycle2, "Inbox", holes), E_INVALIDARG);
    EXPECT_EQ(mapisim_call_count_of("IMAPIFolder::DeleteMessages"), 1u);
    EXPECT_EQ(Subjects("Inbox"), (Names{"Three"}));

    EntryList none;
    EXPECT_EQ(Run(OrviMapiMsgRecycle2, "Inbox", none), 0);
}

TEST_F(MessageCopyTest, BadArgumentsAreRefusedBeforeAnyMapiCall)
{
    const Bytes inbox = FolderId("Inbox"), archive = FolderId("Archive");
    EntryList one(Ids("Inbox", {"One"}));
    mapisim_call_log_clear();
    const auto copy = [&](int32_t cbStore, int32_t cbSource, int32_t cbDestination,
                          const OrviMapiEntryList* list) {
        return OrviMapiMsgCopy(cbStore, storeId.data(), cbSource, inbox.data(), cbDestination,
                               archive.data(), list);
    };
    EXPECT_EQ(copy(0, Size(inbox), Size(archive), one.get()), E_INVALIDARG);
    EXPECT_EQ(LastErrorCode(), kInvalidArgCode);
    EXPECT_EQ(copy(Size(storeId), -1, Size(archive), one.get()), E_INVALIDARG);
    EXPECT_EQ(copy(Size(storeId), Size(inbox), 0, one.get()), E_INVALIDARG);
    EXPECT_EQ(copy(Size(storeId), Size(inbox), Size(archive), nullptr), E_INVALIDARG);
    for (const FolderExport run : {OrviMapiMsgDelete, OrviMapiMsgRecycle, OrviMapiMsgRecycle2}) {
        EXPECT_EQ(run(Size(storeId), nullptr, Size(inbox), inbox.data(), one.get()), E_INVALIDARG);
        EXPECT_EQ(run(Size(storeId), storeId.data(), Size(inbox), nullptr, one.get()),
                  E_INVALIDARG);
        EXPECT_EQ(run(Size(storeId), storeId.data(), Size(inbox), inbox.data(), nullptr),
                  E_INVALIDARG);
    }
    // A count with no entries behind it, and an entry with a count but no
    // bytes, are never handed to MAPI.
    OrviMapiEntryList hollow{3, nullptr};
    EXPECT_EQ(copy(Size(storeId), Size(inbox), Size(archive), &hollow), E_INVALIDARG);
    one[0].bytes = nullptr;
    EXPECT_EQ(
        OrviMapiMsgDelete(Size(storeId), storeId.data(), Size(inbox), inbox.data(), one.get()),
        E_INVALIDARG);
    EXPECT_EQ(mapisim_call_count(), 0u);

    OrviMapiMsgStoreRelease(store);
    store = nullptr;
    OrviMapiStop();
    EXPECT_EQ(copy(0, 0, 0, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "MAPI Session not started");
}

TEST_F(MessageCopyTest, AStoreOrFolderThatDoesNotOpenGivesInvalidArg)
{
    EntryList one(Ids("Inbox", {"One"}));
    const Bytes message = MessageId("Inbox", "One");
    // A message where a folder is needed: the folder look-up's -1.
    const Bytes inbox = FolderId("Inbox");
    EXPECT_EQ(OrviMapiMsgCopy(Size(storeId), storeId.data(), Size(inbox), inbox.data(),
                              Size(message), message.data(), one.get()),
              E_INVALIDARG);
    // MAPI failing the store's open leaves no store for the folder look-up.
    mapisim_fail_method("IMAPISession::OpenMsgStore", 1, 0, MAPI_E_DISK_ERROR);
    EXPECT_EQ(Run(OrviMapiMsgDelete, "Inbox", one), E_INVALIDARG);
    mapisim_fail_method("IMAPISession::OpenMsgStore", 1, 0, MAPI_E_DISK_ERROR);
    EXPECT_EQ(Run(OrviMapiMsgRecycle2, "Inbox", one), E_FAIL);
    EXPECT_EQ(Subjects("Inbox").size(), 3u);
}

TEST_F(MessageCopyTest, EveryFailingCallIsReportedAndReleasesAll)
{
    constexpr int32_t kFault = MAPI_E_DISK_ERROR;
    const FaultStep openStore{"IMAPISession::OpenMsgStore", E_INVALIDARG};
    const FaultStep openFolder{"IMsgStore::OpenEntry", E_INVALIDARG};
    const auto sweep = [](const char* name, std::vector<FaultStep> steps) {
        return FaultSweep(name).Fault(kFault).Steps(std::move(steps)).Check([](const SweepRun& r) {
            if (r.injected) {
                EXPECT_NE(LastErrorLocation().find("src/messages/"), std::string::npos);
            }
        });
    };
    const Bytes inbox = FolderId("Inbox"), archive = FolderId("Archive");
    EntryList one(Ids("Inbox", {"One"}));
    // Each sweep ends with the one run that succeeds, so each works on a
    // message of its own.
    SweepFaults(
        sweep("Copy", {openStore, openFolder, openFolder, {"IMAPIFolder::CopyMessages", kFault}}),
        [&] { return Run(OrviMapiMsgCopy, inbox, archive, one); });
    SweepFaults(
        sweep("Move", {openStore, openFolder, openFolder, {"IMAPIFolder::CopyMessages", kFault}}),
        [&] { return Run(OrviMapiMsgMove, inbox, archive, one); });
    EntryList two(Ids("Inbox", {"Two"}));
    SweepFaults(sweep("Recycle", {openStore,
                                  openFolder,
                                  {"IMsgStore::GetProps", kFault},
                                  {"IMsgStore::CompareEntryIDs", kFault},
                                  {"IMsgStore::OpenEntry", kFault},
                                  {"IMAPIFolder::CopyMessages", kFault}}),
                [&] { return Run(OrviMapiMsgRecycle, inbox, two); });
    EntryList three(Ids("Inbox", {"Three"}));
    SweepFaults(sweep("Delete", {openStore, openFolder, {"IMAPIFolder::DeleteMessages", kFault}}),
                [&] { return Run(OrviMapiMsgDelete, inbox, three); });
    EntryList deep(Ids("Inbox/Lists", {"Deep"}));
    // Without a store the message look-up fails with E_FAIL; the failures
    // of the one-message delete give its -1.
    SweepFaults(sweep("Recycle2", {{"IMAPISession::OpenMsgStore", E_FAIL},
                                   {"IMsgStore::OpenEntry", kFault},
                                   {"HrGetOneProp", -1},
                                   {"IMessage::GetProps", -1},
                                   {"IMsgStore::OpenEntry", -1},
                                   {"HrGetOneProp", -1},
                                   {"IMessage::GetProps", -1},
                                   {"IMAPIFolder::DeleteMessages", -1}}),
                [&] { return Run(OrviMapiMsgRecycle2, inbox, deep); });
    EXPECT_TRUE(Subjects("Inbox").empty());
    EXPECT_EQ(Subjects("Archive"), (Names{"One", "One"}));
    EXPECT_EQ(Subjects("Deleted Items"), (Names{"Old", "Two"}));
}

} // namespace
