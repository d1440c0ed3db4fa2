// The library's message exports over real Outlook messages and a real PST,
// as an application drives them: every message opens and reads without a
// crash, what Outlook shows comes out, and nothing is left alive after.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "OrviMapi.h"
#include "messages/message_support.h"
#include "support/library_support.h"
#include "support/real_data.h"

namespace {

using namespace testsupport;
using msgtest::ReadAll;
using msgtest::Text;

struct Facts {
    std::string subject;
    std::vector<uint32_t> recipientKinds;
    std::vector<std::string> attachments; // "name size", or "message" for an attached one
    std::string html;                     // "" when the message gives none
    std::string senderEmail;
};

class RealMessages : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        SKIP_WITHOUT_REAL_DATA("msg");
        files_ = RealDataFiles("msg");
        std::vector<const char*> paths;
        for (const auto& f : files_) paths.push_back(f.c_str());
        ASSERT_EQ(mapisim_load_msg_files(paths.data(), static_cast<uint32_t>(paths.size())), 0)
            << mapisim_last_load_error();
        Start();
        store_.store = OpenDefaultStore();
        ASSERT_EQ(OrviMapiFolderFindByType(store_.store, 32, &inbox_), 0) << LastError();
    }
    void TearDown() override
    {
        OrviMapiReleaseFolder(inbox_);
        if (store_.store) OrviMapiMsgStoreRelease(store_.store);
        store_.store = nullptr;
        LibraryTest::TearDown();
    }

    // Everything an application reads of a message, through the exports.
    Facts Explore(OrviMapiMessage msg, int depth = 0)
    {
        Facts facts;
        OrviMapiProps props = nullptr;
        EXPECT_EQ(OrviMapiMsgPropsGet(msg, &props), 0) << LastError();
        MsgPropsRecord record = msgtest::Sentinel<MsgPropsRecord>();
        EXPECT_EQ(OrviMapiMsgPropsRead(msg, props, &record), 0) << LastError();
        facts.subject = Text(record.subject, record.subjectLength);
        MsgAddrRecord sender = msgtest::Sentinel<MsgAddrRecord>();
        EXPECT_EQ(OrviMapiMsgAddrSenderGet(msg, props, &sender), 0);
        facts.senderEmail = sender.email ? Text(sender.email, sender.emailLength) : "";
        MsgAddrRecord from = msgtest::Sentinel<MsgAddrRecord>();
        EXPECT_EQ(OrviMapiMsgAddrFromGet(msg, props, &from), 0);

        OrviMapiTable table = nullptr;
        EXPECT_EQ(OrviMapiMsgAddrOtherQuerySet(msg, &table), 0) << LastError();
        for (;;) {
            OrviMapiRowSet rows = nullptr;
            const int32_t got = OrviMapiMsgAddrOtherGetRow(table, &rows);
            if (got == 1) {
                MsgAddrRecord r = msgtest::Sentinel<MsgAddrRecord>();
                EXPECT_EQ(OrviMapiMsgAddrOtherGetParam(rows, &r), 0);
                facts.recipientKinds.push_back(r.kind);
            }
            OrviMapiReleaseResult(rows);
            if (got != 1) break;
        }
        OrviMapiReleaseTable(table);

        table = nullptr;
        OrviMapiRowSet all = nullptr;
        EXPECT_EQ(OrviMapiMsgAttachQuerySet(msg, &table), 0) << LastError();
        const int32_t count = OrviMapiMsgAttachGetAllRows(table, &all);
        EXPECT_GE(count, 0) << LastError();
        for (int32_t i = 0; i < count; ++i) {
            MsgAttachRecord a = msgtest::Sentinel<MsgAttachRecord>();
            EXPECT_EQ(OrviMapiMsgAttachGetParam(all, static_cast<uint32_t>(i), &a), 0);
            OrviMapiAttach attach = nullptr;
            EXPECT_EQ(
                OrviMapiMsgAttachOpen(msg, static_cast<uint32_t>(a.attachmentNumber), &attach), 0)
                << LastError();
            if (!attach) continue;
            if (a.notByValue) {
                OrviMapiMessage inner = nullptr;
                EXPECT_EQ(OrviMapiMsgAttachGetEmbeddedMsg(attach, &inner), 0);
                EXPECT_NE(inner, nullptr) << LastError();
                if (inner && depth < 4) {
                    Explore(inner, depth + 1);
                    facts.attachments.push_back("message");
                }
                OrviMapiReleaseMsg(inner);
            } else {
                OrviMapiStream data = nullptr;
                EXPECT_EQ(OrviMapiMsgAttachGetStream(attach, &data), 0);
                const std::string bytes = data ? ReadAll(data) : "";
                EXPECT_EQ(bytes.size(), a.size) << "attachment " << i;
                OrviMapiReleaseStream(data);
                facts.attachments.push_back(Text(a.fileName, a.fileNameLength) + " " +
                                            std::to_string(a.size));
            }
            OrviMapiReleaseAttach(attach);
        }
        OrviMapiReleaseResult(all);
        OrviMapiReleaseTable(table);

        OrviMapiStream html = nullptr;
        if (OrviMapiMsgGetBodyHTMLStream(msg, static_cast<int32_t>(record.internetCodePage),
                                         &html) == 0 &&
            html)
            facts.html = ReadAll(html);
        OrviMapiReleaseStream(html);
        std::vector<char> text(4096, '\0');
        EXPECT_GE(OrviMapiMsgGetBodyText(msg, static_cast<uint32_t>(text.size()), text.data()), 0);
        OrviMapiMsgPropsRelease(msg, props);
        return facts;
    }

    std::map<std::string, Facts> ExploreInbox()
    {
        std::map<std::string, Facts> by_subject;
        OrviMapiTable contents = nullptr;
        OrviMapiRowSet rows = nullptr;
        const int32_t count = OrviMapiFolderContQueryAll(inbox_, &contents, &rows);
        EXPECT_EQ(count, static_cast<int32_t>(files_.size())) << LastError();
        for (int32_t i = 0; i < count; ++i) {
            uint32_t size = 0;
            unsigned char* id = nullptr;
            EXPECT_EQ(OrviMapiFolderContGetEID(rows, static_cast<uint32_t>(i), &size, &id), 0);
            OrviMapiMessage msg = nullptr;
            EXPECT_EQ(OrviMapiMsgGet(inbox_, size, id, &msg), 0) << LastError();
            if (!msg) continue;
            Facts facts = Explore(msg);
            by_subject[facts.subject] = facts;
            OrviMapiReleaseMsg(msg);
        }
        OrviMapiReleaseResult(rows);
        OrviMapiReleaseTable(contents);
        return by_subject;
    }

    std::vector<std::string> files_;
    StoreHandle store_;
    OrviMapiFolder inbox_ = nullptr;
};

TEST_F(RealMessages, EveryMessageReadsAsOutlookShowsIt)
{
    const auto inbox = ExploreInbox();
    ASSERT_EQ(inbox.size(), files_.size() - 3); // black friday, lunch and eml come twice

    const Facts& subject = inbox.at("Subject");
    EXPECT_EQ(subject.recipientKinds, (std::vector<uint32_t>{3, 4, 5}));
    EXPECT_EQ(inbox.at("200 recipients").recipientKinds.size(), 200u);

    EXPECT_EQ(inbox.at("Attach and inline").attachments,
              (std::vector<std::string>{"attach.png 1558", "image001.png 809"}));
    EXPECT_EQ(inbox.at("attachmentFiles").attachments,
              (std::vector<std::string>{"jpg.jpg 726", "png.png 134", "tif.tif 664"}));
    EXPECT_EQ(inbox.at("I have attachments!").attachments,
              (std::vector<std::string>{"message", "green.png 134"}));
    EXPECT_EQ(inbox.at("Has Has 64KB bin.msg").attachments, (std::vector<std::string>{"message"}));
    EXPECT_EQ(inbox.at("Sent time").senderEmail, "xmailuser@xmailserver.test");

    // HTML from the compressed RTF, led by a META tag naming the charset of
    // the message's code page where the library knows one (not us-ascii).
    const std::string& html = inbox.at("Subject").html;
    EXPECT_EQ(html.rfind("<html", 0), 0u) << html.substr(0, 200);
    EXPECT_NE(html.find("</html>"), std::string::npos);
    const std::string& unicode = inbox.at("Hello +CJK").html;
    EXPECT_EQ(
        unicode.rfind(
            "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=utf-8\">\r\n<html", 0),
        0u)
        << unicode.substr(0, 200);
}

class RealPst : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        SKIP_WITHOUT_REAL_DATA("pst");
        ASSERT_EQ(mapisim_load_pst_file(RealDataFiles("pst").front().c_str()), 0)
            << mapisim_last_load_error();
        Start();
    }
};

TEST_F(RealPst, FoldersListAndOpenThroughTheExports)
{
    StoreHandle store{OpenDefaultStore()};
    OrviMapiFolder contacts = nullptr;
    ASSERT_EQ(OrviMapiFolderFindByType(store.store, 36, &contacts), 0) << LastError();
    OrviMapiTable table = nullptr;
    OrviMapiRowSet rows = nullptr;
    ASSERT_EQ(OrviMapiFolderContQueryAll(contacts, &table, &rows), 2) << LastError();
    for (uint32_t i = 0; i < 2; ++i) {
        uint32_t size = 0;
        unsigned char* id = nullptr;
        ASSERT_EQ(OrviMapiFolderContGetEID(rows, i, &size, &id), 0);
        OrviMapiMessage msg = nullptr;
        ASSERT_EQ(OrviMapiMsgGet(contacts, size, id, &msg), 0) << LastError();
        OrviMapiProps props = nullptr;
        EXPECT_EQ(OrviMapiMsgPropsGet(msg, &props), 0) << LastError();
        MsgPropsRecord record = msgtest::Sentinel<MsgPropsRecord>();
        EXPECT_EQ(OrviMapiMsgPropsRead(msg, props, &record), 0);
        const std::string cls = Text(record.messageClass, record.messageClassLength);
        EXPECT_TRUE(cls == "IPM.Contact" || cls == "IPM.DistList") << cls;
        OrviMapiMsgPropsRelease(msg, props);
        OrviMapiReleaseMsg(msg);
    }
    OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(table);
    OrviMapiReleaseFolder(contacts);
}

} // namespace
