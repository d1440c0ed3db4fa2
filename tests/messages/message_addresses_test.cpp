// Sender, recipients and attachments: records field by field with what is
// left unwritten, the table readers, and attachments opened by number.
#include "messages/message_support.h"

namespace {

using namespace msgtest;
using Fields = std::vector<int64_t>;

constexpr const char* kMessages = R"([
  {"from": "Ann Hollis <ann@h.example>", "sender": {"name": "Ben", "email": "/O=M/CN=BEN", "addrtype": "EX"},
   "to": "Tom <tom@m.example>", "cc": "clara@m.example",
   "recipients": [{"type": "bcc", "name": "Maja", "email": "maja@m.example", "display_name": "Maja L"},
                  {"type": null, "name": "No type, no address"}],
   "attachments": [
     {"filename": "Price list.txt", "short_filename": "PRICEL~1.TXT", "mime": "text/plain",
      "rendering_position": 5, "data": {"text": "hello"}},
     {"short_filename": "LOGO.PNG", "content_id": "logo@m", "flags": 0, "display_name": "Logo",
      "data": {"hex": "89 50"}},
     {"message": {"subject": "Embedded"}}]},
  {"0x0065001E": "ann@h.example"}
])";

// A missing text: length 0, and the pointer null or, where the reader
// leaves it, the sentinel.
void ExpectText(const char* text, uint32_t length, const char* expected,
                const char* missing = nullptr)
{
    if (expected != nullptr) {
        EXPECT_EQ(Text(text, length), expected);
    } else {
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(text, missing);
    }
}

class MessageAddressesTest : public MessageTest {
protected:
    void TearDown() override
    {
        OrviMapiMsgPropsRelease(nullptr, props_);
        OrviMapiReleaseResult(rows_);
        OrviMapiReleaseTable(table_);
        MessageTest::TearDown();
    }
    int32_t Next(int32_t (*getRow)(OrviMapiTable, OrviMapiRowSet*))
    {
        OrviMapiReleaseResult(rows_);
        rows_ = nullptr;
        return getRow(table_, &rows_);
    }
    OrviMapiProps props_ = nullptr;
    OrviMapiTable table_ = nullptr;
    OrviMapiRowSet rows_ = nullptr;
};

TEST_F(MessageAddressesTest, FromAndSenderFillSevenFields)
{
    OpenInbox(kMessages);
    MsgAddrRecord r = Sentinel<MsgAddrRecord>();
    ASSERT_EQ(OrviMapiMsgPropsGet(Message(0), &props_), 0);
    ASSERT_EQ(OrviMapiMsgAddrSenderGet(messages_.back(), props_, &r), 0);
    EXPECT_EQ(r.kind, 2u);
    EXPECT_EQ(Text(r.addressType, r.addressTypeLength) + " " + Text(r.email, r.emailLength) + " " +
                  Text(r.name, r.nameLength),
              "EX /O=M/CN=BEN Ben");
    OrviMapiMsgPropsRelease(nullptr, props_);
    ASSERT_EQ(OrviMapiMsgPropsGet(Message(1), &props_), 0);
    ASSERT_EQ(OrviMapiMsgAddrFromGet(messages_.back(), props_, &r), 0);
    EXPECT_EQ(r.kind, 1u);
    ExpectText(r.email, r.emailLength, "ann@h.example");
    ExpectText(r.name, r.nameLength, nullptr);
    ExpectText(r.addressType, r.addressTypeLength, nullptr);
    EXPECT_EQ(r.recipientDisplayNameLength, kSentinel);
    EXPECT_EQ(r.recipientDisplayName, Sentinel<char*>());
}

TEST_F(MessageAddressesTest, RecipientsReadRowByRow)
{
    OpenInbox(kMessages);
    ASSERT_EQ(OrviMapiMsgAddrOtherQuerySet(Message(0), &table_), 0) << LastError();
    EXPECT_EQ(CallFlags("IMessage::GetRecipientTable"), MAPI_DEFERRED_ERRORS);
    EXPECT_EQ(CallFlags("IMAPITable::SetColumns"), TBL_BATCH);
    EXPECT_EQ(OrviMapiMsgAddrOtherGetRowCount(table_), 4);
    const struct {
        uint32_t kind;
        const char *name, *email, *displayName;
    } expected[] = {{3, "Tom", "tom@m.example", nullptr},
                    {4, "clara@m.example", "clara@m.example", nullptr},
                    {5, "Maja", "maja@m.example", "Maja L"},
                    {0, "No type, no address", nullptr, nullptr}}; // its type is an error value
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        ASSERT_EQ(Next(OrviMapiMsgAddrOtherGetRow), 1);
        MsgAddrRecord r = Sentinel<MsgAddrRecord>();
        ASSERT_EQ(OrviMapiMsgAddrOtherGetParam(rows_, &r), 0);
        EXPECT_EQ(r.kind, e.kind);
        ExpectText(r.name, r.nameLength, e.name);
        ExpectText(r.email, r.emailLength, e.email, Sentinel<char*>());
        ExpectText(r.recipientDisplayName, r.recipientDisplayNameLength, e.displayName,
                   Sentinel<char*>());
    }
    EXPECT_EQ(Next(OrviMapiMsgAddrOtherGetRow), 0);
    MsgAddrRecord untouched = Sentinel<MsgAddrRecord>();
    EXPECT_EQ(OrviMapiMsgAddrOtherGetParam(rows_, &untouched), -1);
    EXPECT_EQ(LastErrorText(), "Table is empty");
    EXPECT_EQ(untouched.kind, kSentinel);
}

TEST_F(MessageAddressesTest, AttachmentRecordsTakeEachFieldFromItsColumn)
{
    OpenInbox(kMessages);
    OrviMapiMessage message = Message(0);
    ASSERT_EQ(OrviMapiMsgAttachQuerySet(message, &table_), 0) << LastError();
    EXPECT_EQ(OrviMapiMsgAttachGetRowCount(table_), 3);
    for (int32_t expected : {1, 1, 1, 0}) EXPECT_EQ(Next(OrviMapiMsgAttachGetRow), expected);
    OrviMapiReleaseTable(table_);
    ASSERT_EQ(OrviMapiMsgAttachQuerySet(message, &table_), 0) << LastError();
    ASSERT_EQ(Next(OrviMapiMsgAttachGetAllRows), 3);

    MsgAttachRecord r[3];
    for (uint32_t i = 0; i < 3; ++i) {
        r[i] = Sentinel<MsgAttachRecord>();
        ASSERT_EQ(OrviMapiMsgAttachGetParam(rows_, i, &r[i]), 0) << LastError();
        EXPECT_EQ(r[i].attachmentNumber, static_cast<int32_t>(i));
        const uint32_t* unwritten = r[i].reserved6to9;
        EXPECT_EQ(Fields(unwritten, unwritten + 4), Fields(4, kSentinel));
        EXPECT_EQ(Fields(r[i].reserved15to18, r[i].reserved15to18 + 4), Fields(4, 0));
        EXPECT_EQ(r[i].reserved22, kSentinel);
        ExpectText(r[i].contentLocation, r[i].contentLocationLength, nullptr);
    }
    ExpectText(r[0].fileName, r[0].fileNameLength, "Price list.txt"); // the long name first
    ExpectText(r[0].mimeTag, r[0].mimeTagLength, "text/plain");
    ExpectText(r[0].contentId, r[0].contentIdLength, nullptr);
    // A MIME tag but no PR_ATTACH_FLAGS: not inline.
    EXPECT_EQ(Fields({r[0].notByValue, r[0].isInline, r[0].renderingPosition, r[0].size}),
              Fields({0, 0, 5, 5}));
    ExpectText(r[1].fileName, r[1].fileNameLength, "LOGO.PNG");
    ExpectText(r[1].displayName, r[1].displayNameLength, "Logo");
    EXPECT_EQ(Fields({r[1].notByValue, r[1].isInline, r[1].renderingPosition}), Fields({0, 1, -1}));
    EXPECT_EQ(Fields({r[2].notByValue, r[2].isInline}), Fields({1, 0}));
    ExpectText(r[2].fileName, r[2].fileNameLength, nullptr);

    EXPECT_EQ(OrviMapiMsgAttachGetParam(rows_, 3, &r[0]), -1);
    EXPECT_EQ(LastErrorText(), "Row index out of range");
}

TEST_F(MessageAddressesTest, AttachmentsOpenAsStreamOrMessage)
{
    OpenInbox(kMessages);
    OrviMapiMessage message = Message(0);
    OrviMapiAttach data = nullptr, embedded = nullptr, missing = Sentinel<OrviMapiAttach>();
    ASSERT_EQ(OrviMapiMsgAttachOpen(message, 0, &data), 0) << LastError();
    EXPECT_EQ(CallFlags("IMessage::OpenAttach"), MAPI_BEST_ACCESS);
    ASSERT_EQ(OrviMapiMsgAttachOpen(message, 2, &embedded), 0) << LastError();
    EXPECT_EQ(OrviMapiMsgAttachOpen(message, 7, &missing), -1);
    EXPECT_EQ(missing, Sentinel<OrviMapiAttach>());

    OrviMapiStream stream = nullptr;
    ASSERT_EQ(OrviMapiMsgAttachGetStream(data, &stream), 0) << LastError();
    EXPECT_EQ(CallArg("IAttach::OpenProperty", "tag"), "0x37010102");
    EXPECT_EQ(ReadAll(stream), "hello");
    OrviMapiReleaseStream(stream);
    OrviMapiMessage inner = nullptr;
    ASSERT_EQ(OrviMapiMsgAttachGetEmbeddedMsg(embedded, &inner), 0) << LastError();
    EXPECT_EQ(CallArg("IAttach::OpenProperty", "tag", 1), "0x3701000D");
    messages_.push_back(inner);

    // Data that is not there shows only in the last error.
    stream = Sentinel<OrviMapiStream>();
    EXPECT_EQ(OrviMapiMsgAttachGetStream(embedded, &stream), 0);
    EXPECT_EQ(stream, Sentinel<OrviMapiStream>());
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 271");
    inner = Sentinel<OrviMapiMessage>();
    EXPECT_EQ(OrviMapiMsgAttachGetEmbeddedMsg(data, &inner), 0);
    EXPECT_EQ(inner, Sentinel<OrviMapiMessage>());
    OrviMapiReleaseAttach(data);
    OrviMapiReleaseAttach(embedded);
}

} // namespace
