// MsgPropsRecord slot by slot: values, defaults, the times that stand in for
// each other and the slots left unwritten; opening, and the subject alone.
#include "messages/message_support.h"

namespace {

using namespace msgtest;
using Slots = std::vector<int64_t>;

constexpr const char* kMessages = R"([
  {"class": "IPM.Note.X", "subject": "RE: Label proofs", "conversation_index": {"hex": "01 02"},
   "sent": "2000-03-14T09:26:53Z", "received": "2000-03-14T09:27:10Z",
   "created": "2000-03-14T09:27:11.5Z", "flags": ["unmodified", "submit"], "importance": "low",
   "priority": "non_urgent", "sensitivity": "confidential", "last_verb": "forward",
   "flag_status": "flagged", "codepage": 65001, "headers": "Received: by mx",
   "0x5901001E": "X-Mailer: Shop", "flag_request": "Follow up", "0x0E0A0102": {"hex": "01"},
   "attachments": [{"filename": "a.txt"}]},
  {"subject": "Hello", "normalized_subject": null, "sent": "2001-01-02T03:04:05Z",
   "0x5901001E": "X-Mailer: Shop"},
  {"subject": "Hi", "normalized_subject": "Hi there", "received": "2002-06-07T08:09:10Z",
   "flags": ["read"], "importance": "normal", "priority": "urgent", "last_verb": "reply_all"},
  {"subject": "Twenty characters ok"}
])";

std::string Time(const OrviMapiSystemTime& t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.milliseconds);
    return text;
}
const std::string kNoTime = "0000-00-00 00:00:00.000";

class MessagePropsTest : public MessageTest {
protected:
    MsgPropsRecord Read(uint32_t index)
    {
        props_.push_back(nullptr);
        EXPECT_EQ(OrviMapiMsgPropsGet(Message(index), &props_.back()), 0) << LastError();
        MsgPropsRecord record = Sentinel<MsgPropsRecord>();
        EXPECT_EQ(OrviMapiMsgPropsRead(messages_.back(), props_.back(), &record), 0) << LastError();
        return record;
    }
    void TearDown() override
    {
        for (OrviMapiProps props : props_) OrviMapiMsgPropsRelease(nullptr, props);
        MessageTest::TearDown();
    }
    std::vector<OrviMapiProps> props_;
};

TEST_F(MessagePropsTest, SlotsTakeTheirPropertiesOrDefaults)
{
    OpenInbox(kMessages);
    const MsgPropsRecord r = Read(0);
    EXPECT_EQ(CallFlags("IMAPIFolder::OpenEntry"), MAPI_DEFERRED_ERRORS);
    EXPECT_EQ(r.entryIdSize, EntryId(0).size());
    EXPECT_EQ(Text(r.messageClass, r.messageClassLength) + "|" + Text(r.subject, r.subjectLength) +
                  "|" + Text(r.headers, r.headersLength) + "|" + Text(r.flagText, r.flagTextLength),
              "IPM.Note.X|RE: Label proofs|Received: by mx|Follow up");
    EXPECT_EQ(Time(r.created) + Time(r.delivered) + Time(r.submittedTime) + Time(r.modified),
              "2000-03-14 09:27:11.500"
              "2000-03-14 09:27:10.000"
              "2000-03-14 09:26:53.000" +
                  kNoTime);
    EXPECT_EQ(Slots({r.subjectPrefixLength, r.conversationIndexSize, r.unread, r.modifiedFlag,
                     r.submitted, r.unsent, r.forwarded, r.replied, r.hasAttachments, r.sentItem,
                     r.importanceCode, r.priorityCode, r.sensitivityCode, r.followUpCode,
                     r.internetCodePage, r.reserved17}),
              Slots({4, 2, 1, 0, 1, 0, 1, 0, 1, 1, 2, 3, 4, 2, 65001, 0}));
    EXPECT_EQ(r.reserved18, kSentinel);

    const MsgPropsRecord s = Read(1);
    EXPECT_EQ(Text(s.messageClass, s.messageClassLength) + "|" + Text(s.headers, s.headersLength),
              "IPM.Notes|X-Mailer: Shop");
    EXPECT_EQ(Time(s.delivered), "2001-01-02 03:04:05.000"); // the submit time
    // Without PR_MESSAGE_FLAGS the message reads as read and unmodified.
    EXPECT_EQ(
        Slots({s.subjectPrefixLength, s.associated, s.unread, s.modifiedFlag, s.submitted, s.unsent,
               s.unsentCopy, s.importanceCode, s.priorityCode, s.sensitivityCode, s.followUpCode,
               s.reportTagSize, s.messageIdLength, s.topicLength, s.flagTextLength}),
        Slots({0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0}));
    for (const void* unwritten :
         {(void*)s.reportTag, (void*)s.messageId, (void*)s.topic, (void*)s.flagText})
        EXPECT_EQ(unwritten, Sentinel<void*>());

    const MsgPropsRecord d = Read(2);
    EXPECT_EQ(Time(d.submittedTime), "2002-06-07 08:09:10.000"); // the delivery time
    EXPECT_EQ(d.headers, Sentinel<char*>());
    // A normalized subject longer than the subject gives no prefix.
    EXPECT_EQ(Slots({d.subjectPrefixLength, d.importanceCode, d.priorityCode, d.replied, d.unread}),
              Slots({0, 1, 2, 1, 0}));
    EXPECT_EQ(Time(Read(3).delivered), kNoTime);
}

// Outside Personal Folders FlagRequest stays unresolved, though the column
// set's placeholder is the very tag this store gave it.
TEST_F(MessagePropsTest, FlagTextNeedsTheResolvedTag)
{
    OpenInbox(kMessages, "Microsoft Exchange Server");
    const MsgPropsRecord r = Read(0);
    EXPECT_EQ(r.flagTextLength, 0u);
    EXPECT_EQ(r.flagText, Sentinel<char*>());
}

TEST_F(MessagePropsTest, SubjectAloneEntriesThatAreNotMessagesAndFailedFetches)
{
    char buffer[32];
    uint32_t length = kSentinel;
    EXPECT_EQ(OrviMapiMsgGetSubject(nullptr, 1, nullptr, buffer, 20, &length), -1);
    EXPECT_EQ(LastErrorText(), "pMsgStore is missing"); // tested before the session
    OpenInbox(kMessages);
    const Bytes id = EntryId(3);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(OrviMapiMsgGetSubject(store_, Size(id), id.data(), buffer, 20, &length), 0);
    EXPECT_EQ(length, 19u);
    EXPECT_EQ(std::string(buffer, 21), std::string("Twenty characters o\0x", 21));

    uint32_t cbFolder = 0;
    unsigned char folder[256];
    ASSERT_EQ(OrviMapiMsgStoreGetIPMSubtreeEID(store_, &cbFolder, folder), 0);
    OrviMapiMessage notMessage = nullptr;
    EXPECT_EQ(OrviMapiMsgGet(inbox_, cbFolder, folder, &notMessage), -1);
    EXPECT_EQ(LastErrorText(), "Not Msg Object");
    EXPECT_EQ(notMessage, nullptr);

    mapisim_fail_method("IMessage::GetProps", 1, 0, MAPI_E_NO_ACCESS);
    OrviMapiProps props = Sentinel<OrviMapiProps>();
    EXPECT_EQ(OrviMapiMsgPropsGet(Message(0), &props), MAPI_E_NO_ACCESS);
    EXPECT_EQ(props, Sentinel<OrviMapiProps>());
}

} // namespace
