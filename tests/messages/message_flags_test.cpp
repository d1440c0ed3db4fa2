// Follow-up flags and read state: what is written for each state and
// Outlook release, the SetReadFlag sequences, the named-property slots left
// unresolved, and the list exports' counting of successes.
#include "frame/mapi_constants.h"
#include "messages/message_ops_support.h"
#include "support/fault_sweep.h"
#include "session/profiles.h"
#include "stores/named_props.h"

namespace {

using namespace msgops;

constexpr const char* kInvalidArgCode = "Facility WIN32, Error Num 87";

struct Flag {
    uint32_t followUp;
    std::string text;
    uint32_t unread;
};

class MessageFlagsTest : public MessageOpsTest {
protected:
    // The message as a fresh open reads it.
    Flag Read(const Bytes& id)
    {
        OrviMapiMessage message = nullptr;
        OrviMapiProps props = nullptr;
        MsgPropsRecord record{};
        EXPECT_EQ(OrviMapiMsgStoreGetMsgInterface(store, Size(id), id.data(), &message), 0)
            << LastError();
        EXPECT_EQ(OrviMapiMsgPropsGet(message, &props), 0) << LastError();
        EXPECT_EQ(OrviMapiMsgPropsRead(message, props, &record), 0);
        Flag flag{record.followUpCode, std::string(record.flagText, record.flagTextLength),
                  record.unread};
        OrviMapiMsgPropsRelease(message, props);
        OrviMapiReleaseMsg(message);
        return flag;
    }
    // Whether the message has the property `propTag` now, and its boolean.
    bool Has(const Bytes& id, ULONG propTag, unsigned short* value = nullptr)
    {
        OrviMapiMessage message = nullptr;
        EXPECT_EQ(OrviMapiMsgStoreGetMsgInterface(store, Size(id), id.data(), &message), 0)
            << LastError();
        SPropValue* prop = nullptr;
        const bool found =
            HrGetOneProp(reinterpret_cast<IMAPIProp*>(message), propTag, &prop) == S_OK;
        if (found && value != nullptr) *value = prop->Value.b;
        MAPIFreeBuffer(prop);
        OrviMapiReleaseMsg(message);
        return found;
    }
    int32_t SetFlag(const Bytes& id, int32_t state, const char* text)
    {
        return OrviMapiMsgUpdateMsgFlag(store, Size(id), id.data(), state, text);
    }
    int32_t SetUnread(const EntryList& list, int32_t unread)
    {
        const Bytes inbox = FolderId("Inbox");
        return OrviMapiMsgSetUnread(Size(storeId), storeId.data(), Size(inbox), inbox.data(),
                                    list.get(), unread);
    }
    // The SetReadFlag calls since the log was cleared, as "flags,flags".
    std::string ReadFlagCalls()
    {
        std::string calls;
        for (uint32_t i = 0; i < mapisim_call_count_of("IMessage::SetReadFlag"); ++i)
            calls += (i ? "," : "") + std::to_string(CallFlags("IMessage::SetReadFlag", i));
        return calls;
    }
};

TEST_F(MessageFlagsTest, FlaggingWritesStateAndTextAndSaves)
{
    const Bytes one = MessageId("Inbox", "One");
    ASSERT_EQ(SetFlag(one, 2, "Reply by Friday"), 0) << LastError();
    EXPECT_EQ(CallFlags("IMessage::SaveChanges"), static_cast<uint32_t>(KEEP_OPEN_READONLY));
    const Flag flagged = Read(one);
    EXPECT_EQ(flagged.followUp, 2u);
    EXPECT_EQ(flagged.text, "Reply by Friday");

    // Completed with no text keeps the text there is.
    ASSERT_EQ(SetFlag(one, 1, ""), 0);
    EXPECT_EQ(Read(one).followUp, 1u);
    EXPECT_EQ(Read(one).text, "Reply by Friday");

    mapisim_call_log_clear();
    EXPECT_EQ(SetFlag(one, 3, "x"), -1);
    EXPECT_EQ(LastErrorText(), "Bad iState Value");
    EXPECT_EQ(SetFlag(one, -1, "x"), -1);
    EXPECT_EQ(OrviMapiMsgUpdateMsgFlag(nullptr, Size(one), one.data(), 1, "x"), -1);
    EXPECT_EQ(LastErrorText(), "MsgStore not defined");
    EXPECT_EQ(SetFlag({}, 1, "x"), -1);
    EXPECT_EQ(LastErrorText(), "Message EID not defined");
    EXPECT_EQ(mapisim_call_count(), 0u);
}

TEST_F(MessageFlagsTest, ClearingAlsoDropsTheReminderOnlyForOutlook85And90)
{
    const ULONG reminder = NamedPropTags().ReminderSet;
    ASSERT_NE(reminder, tag::Unresolved);
    for (const int32_t version : {1, 2, 3}) {
        SCOPED_TRACE(version);
        Open(kMailbox);
        SetClientOutlookVersion(version);
        const Bytes three = MessageId("Inbox", "Three");
        mapisim_call_log_clear();
        ASSERT_EQ(SetFlag(three, 0, "ignored"), 0) << LastError();
        const Flag cleared = Read(three);
        EXPECT_EQ(cleared.followUp, 0u);
        EXPECT_EQ(cleared.text, " ");
        unsigned short on = 7;
        if (version == 1) {
            EXPECT_EQ(mapisim_call_count_of("IMessage::SetProps"), 2u);
            EXPECT_EQ(mapisim_call_count_of("IMessage::DeleteProps"), 0u);
            EXPECT_TRUE(Has(three, PR_REPLY_TIME));
            EXPECT_TRUE(Has(three, reminder, &on) && on == 1);
        } else {
            EXPECT_EQ(mapisim_call_count_of("IMessage::SetProps"), 3u);
            EXPECT_EQ(CallArg("IMessage::DeleteProps", "tag"), "0x00300040");
            EXPECT_FALSE(Has(three, PR_REPLY_TIME));
            EXPECT_TRUE(Has(three, reminder, &on) && on == 0);
        }
    }
}

TEST_F(MessageFlagsTest, UnresolvedNamedPropertiesStillLetTheStatusDecide)
{
    std::string json = kMailbox;
    json.replace(json.find("Personal Folders"), 16, "Other Provider");
    ResetNamedPropertiesForTests();
    Open(json);
    ASSERT_EQ(NamedPropTags().FlagRequest, tag::Unresolved);
    const Bytes one = MessageId("Inbox", "One");
    ASSERT_EQ(SetFlag(one, 2, "Text"), 0) << LastError();
    EXPECT_EQ(CallArg("IMessage::SetProps", "tag", 1), "0x66990003");
    EXPECT_EQ(Read(one).followUp, 2u);
}

TEST_F(MessageFlagsTest, FlagTextIsRefusedForOutlook85And90EvenWithoutASession)
{
    const Bytes two = MessageId("Inbox", "Two");
    SetClientOutlookVersion(1);
    ASSERT_EQ(OrviMapiMsgUpdateMsgFlagText(store, Size(two), two.data(), "Later"), 0)
        << LastError();
    EXPECT_EQ(Read(two).text, "Later");
    EXPECT_EQ(OrviMapiMsgUpdateMsgFlagText(store, Size(two), two.data(), ""), -1);
    EXPECT_EQ(LastErrorText(), "Bad pText value");
    EXPECT_EQ(OrviMapiMsgUpdateMsgFlagText(store, Size(two), two.data(), nullptr), -1);

    Close();
    for (const int32_t version : {2, 3}) {
        SetClientOutlookVersion(version);
        EXPECT_EQ(OrviMapiMsgUpdateMsgFlagText(nullptr, 0, nullptr, nullptr), -1);
        EXPECT_EQ(LastErrorText(), "Outlook98 Feature Only");
    }
    SetClientOutlookVersion(0);
    EXPECT_EQ(OrviMapiMsgUpdateMsgFlagText(nullptr, 0, nullptr, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "MAPI Session not started");
}

TEST_F(MessageFlagsTest, ReadStateCallsPassThroughTheOtherStateFirst)
{
    struct Case {
        const char* subject;
        int32_t flag;
        const char* calls;
        uint32_t unread;
    };
    // One is read, Two unread; flags 4 is CLEAR_READ_FLAG.
    for (const Case& c : {Case{"One", 0, "4,0", 0}, Case{"Two", 0, "0", 0}, Case{"One", 1, "4", 1},
                          Case{"Two", 1, "0,4", 1}}) {
        SCOPED_TRACE(std::string(c.subject) + " " + std::to_string(c.flag));
        Open(kMailbox);
        const Bytes id = MessageId("Inbox", c.subject);
        ASSERT_EQ(OrviMapiMsgUpdateReadFlag(store, Size(id), id.data(), c.flag), 0) << LastError();
        EXPECT_EQ(ReadFlagCalls(), c.calls);
        EXPECT_EQ(mapisim_call_count_of("IMessage::SaveChanges"), 0u);
        EXPECT_EQ(Read(id).unread, c.unread);
    }
    const Bytes one = MessageId("Inbox", "One");
    EXPECT_EQ(OrviMapiMsgUpdateReadFlag(store, Size(one), one.data(), 2), -1);
    EXPECT_EQ(LastErrorText(), "Bad iFlag value");

    // The second call failing stops there.
    mapisim_call_log_clear();
    mapisim_fail_method("IMessage::SetReadFlag", 2, 0, MAPI_E_DISK_ERROR);
    EXPECT_EQ(OrviMapiMsgUpdateReadFlag(store, Size(one), one.data(), 0), -1);
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 278");
    EXPECT_EQ(Read(one).unread, 1u);
}

TEST_F(MessageFlagsTest, ListsSucceedWhenAnyMessageDoes)
{
    EntryList three({MessageId("Inbox", "One"), FolderId("Archive"), MessageId("Inbox", "Three")});
    ASSERT_EQ(SetUnread(three, 1), 0) << LastError();
    EXPECT_EQ(Read(MessageId("Inbox", "One")).unread, 1u);
    EXPECT_EQ(Read(MessageId("Inbox", "Three")).unread, 1u);
    // The folder's failure stays the last error.
    EXPECT_EQ(LastErrorCode(), "Facility NULL, Error Num 16389");

    EntryList failing({FolderId("Archive"), FolderId("Inbox"), Bytes{}});
    mapisim_call_log_clear();
    EXPECT_EQ(SetUnread(failing, 0), E_FAIL);
    EXPECT_EQ(LastErrorText(), "Message EID not defined");
    EntryList none;
    EXPECT_EQ(SetUnread(none, 0), E_FAIL);

    const Bytes inbox = FolderId("Inbox");
    ASSERT_EQ(OrviMapiMsgSetTag(Size(storeId), storeId.data(), Size(inbox), inbox.data(),
                                three.get(), 2, "Check"),
              0);
    EXPECT_EQ(Read(MessageId("Inbox", "One")).text, "Check");
    EXPECT_EQ(Read(MessageId("Inbox", "Three")).followUp, 2u);
}

TEST_F(MessageFlagsTest, ListArgumentsAreCheckedInOrder)
{
    const Bytes inbox = FolderId("Inbox");
    EntryList one({MessageId("Inbox", "One")});
    mapisim_call_log_clear();
    EXPECT_EQ(OrviMapiMsgSetTag(0, nullptr, 0, nullptr, nullptr, 9, nullptr), E_INVALIDARG);
    EXPECT_EQ(LastErrorCode(), kInvalidArgCode);
    EXPECT_EQ(OrviMapiMsgSetTag(Size(storeId), storeId.data(), 0, inbox.data(), one.get(), 1, ""),
              E_INVALIDARG);
    EXPECT_EQ(
        OrviMapiMsgSetTag(Size(storeId), storeId.data(), Size(inbox), inbox.data(), nullptr, 1, ""),
        E_INVALIDARG);
    EXPECT_EQ(OrviMapiMsgSetTag(Size(storeId), storeId.data(), Size(inbox), inbox.data(), one.get(),
                                3, ""),
              E_INVALIDARG);
    EXPECT_EQ(OrviMapiMsgSetUnread(Size(storeId), storeId.data(), Size(inbox), inbox.data(),
                                   one.get(), 2),
              E_INVALIDARG);
    OrviMapiEntryList hollow{2, nullptr};
    EXPECT_EQ(
        OrviMapiMsgSetUnread(Size(storeId), storeId.data(), Size(inbox), inbox.data(), &hollow, 1),
        E_INVALIDARG);
    EXPECT_EQ(mapisim_call_count(), 0u);
}

TEST_F(MessageFlagsTest, EveryFailingCallIsReportedAndReleasesAll)
{
    constexpr int32_t kFault = MAPI_E_DISK_ERROR;
    const Bytes one = MessageId("Inbox", "One"), two = MessageId("Inbox", "Two"),
                three = MessageId("Inbox", "Three"), inbox = FolderId("Inbox");
    const FaultStep open{"IMsgStore::OpenEntry", -1};
    const FaultStep setProps{"IMessage::SetProps", -1}, bestEffort{"IMessage::SetProps", 0};
    const FaultStep save{"IMessage::SaveChanges", -1};
    // The text and reminder writes are best effort: their failures pass.
    SweepFaults(
        FaultSweep("UpdateMsgFlag 2").Fault(kFault).Steps({open, setProps, bestEffort, save}),
        [&] { return SetFlag(one, 2, "Soon"); });
    SetClientOutlookVersion(2);
    SweepFaults(
        FaultSweep("UpdateMsgFlag 0")
            .Fault(kFault)
            .Steps({open, setProps, bestEffort, bestEffort, {"IMessage::DeleteProps", 0}, save}),
        [&] { return SetFlag(three, 0, nullptr); });
    SetClientOutlookVersion(1);
    SweepFaults(
        FaultSweep("UpdateMsgFlagText")
            .Fault(kFault)
            .LastErrorCode("Facility ITF, Error Num 278")
            .Steps({open, setProps, save}),
        [&] { return OrviMapiMsgUpdateMsgFlagText(store, Size(two), two.data(), "Later"); });
    // Two is unread: one SetReadFlag call marks it read.
    SweepFaults(FaultSweep("UpdateReadFlag")
                    .Fault(kFault)
                    .LastErrorCode("Facility ITF, Error Num 278")
                    .Steps({open, {"IMessage::GetProps", -1}, {"IMessage::SetReadFlag", -1}}),
                [&] { return OrviMapiMsgUpdateReadFlag(store, Size(two), two.data(), 0); });
    EXPECT_EQ(Read(two).unread, 0u);

    // Without a store every message fails, and so does the list.
    EntryList first({one});
    SweepFaults(FaultSweep("SetUnread")
                    .Fault(kFault)
                    .Steps({{"IMAPISession::OpenMsgStore", E_FAIL},
                            {"IMsgStore::OpenEntry", E_FAIL},
                            {"IMessage::GetProps", E_FAIL},
                            {"IMessage::SetReadFlag", E_FAIL}}),
                [&] {
                    return OrviMapiMsgSetUnread(Size(storeId), storeId.data(), Size(inbox),
                                                inbox.data(), first.get(), 1);
                });
    EXPECT_EQ(Read(one).unread, 1u);
    EntryList last({three});
    SweepFaults(FaultSweep("SetTag").Fault(kFault).Steps({{"IMAPISession::OpenMsgStore", E_FAIL},
                                                          {"IMsgStore::OpenEntry", E_FAIL},
                                                          {"IMessage::SetProps", E_FAIL},
                                                          {"IMessage::SetProps", 0},
                                                          {"IMessage::SaveChanges", E_FAIL}}),
                [&] {
                    return OrviMapiMsgSetTag(Size(storeId), storeId.data(), Size(inbox),
                                             inbox.data(), last.get(), 1, "Done");
                });
    EXPECT_EQ(Read(three).text, "Done");
}

} // namespace
