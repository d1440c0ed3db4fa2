// The msg command as a user runs it: folder paths, filing, deleting,
// read state, flags and forms of messages named by position or range, and
// the one-line errors of bad input.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/command_runner.h"

namespace {

using testsupport::Orvimapi;
using testsupport::Outcome;

constexpr const char* kMailbox = R"({"profiles": [{"name": "Test", "default": true, "stores": [
  {"name": "Main", "provider": "Personal Folders", "default": true,
   "special": {"inbox": "Inbox", "deleted_items": "Deleted Items"},
   "named_properties": [{"set": "PSETID_Common", "lid": "0x8530"}],
   "folders": [
     {"name": "Inbox", "folders": [{"name": "Projects"}], "messages": [
       {"subject": "First", "class": "IPM.Note"}, {"subject": "Second", "flags": ["read"]},
       {"subject": "Third", "flags": ["read"]}]},
     {"name": "Deleted Items"}]}]}]})";

class MessageCommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Test processes may run side by side (ctest -j): a file of its own.
        mailbox_ = new std::string(::testing::TempDir() + std::to_string(getpid()) + "-msg.json");
        std::ofstream(*mailbox_, std::ios::binary) << kMailbox;
    }
    static void TearDownTestSuite() { delete mailbox_; }

    static Outcome Msg(const std::string& arguments)
    {
        return Orvimapi("--mailbox " + *mailbox_ + " msg " + arguments);
    }
    static bool Has(const Outcome& run, const std::string& text)
    {
        return run.out.find(text) != std::string::npos;
    }

    static std::string* mailbox_;
};
std::string* MessageCommandTest::mailbox_ = nullptr;

TEST_F(MessageCommandTest, PathsOfMessages)
{
    Outcome run = Msg("path Inbox 2");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "Main/Inbox\n");
    run = Msg("path Inbox 1 --separator '\\' --json");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Has(run, R"("path": "Main\\Inbox")")) << run.out;
}

TEST_F(MessageCommandTest, ChangesShowTheFolderAfterwards)
{
    Outcome run = Msg("move Inbox 1,3 Inbox/Projects");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Has(run, "moved 2 messages to Inbox/Projects")) << run.out;
    EXPECT_TRUE(Has(run, "1 message(s)")) << run.out;
    EXPECT_FALSE(Has(run, "First")) << run.out;

    run = Msg("copy Inbox 1-3,2 Inbox/Projects");
    EXPECT_TRUE(Has(run, "copied 3 messages")) << run.out;
    run = Msg("recycle Inbox 2");
    EXPECT_TRUE(Has(run, "moved 1 message to Deleted Items")) << run.out;
    run = Msg("recycle Inbox 2-3 --one-by-one");
    EXPECT_TRUE(Has(run, "deleted 2 messages one at a time") && Has(run, "1 message(s)"))
        << run.out;
    run = Msg("delete Inbox 1");
    EXPECT_TRUE(Has(run, "deleted 1 message") && Has(run, "2 message(s)")) << run.out;

    run = Msg("unread Inbox 2");
    EXPECT_TRUE(Has(run, "marked 1 message unread") && Has(run, "* Second")) << run.out;
    run = Msg("read Inbox 1");
    EXPECT_FALSE(Has(run, "* First")) << run.out;
    run = Msg("flag Inbox 2 'Call back'");
    EXPECT_TRUE(Has(run, "Second: flagged, \"Call back\"")) << run.out;
    run = Msg("flag Inbox 1,2 --complete --json");
    EXPECT_TRUE(Has(run, R"("followUpCode": 1)")) << run.out;
    run = Msg("unflag Inbox 3");
    EXPECT_TRUE(Has(run, "Third: no flag, \" \"")) << run.out;
}

TEST_F(MessageCommandTest, FormsShowWhatTheyWereGiven)
{
    Outcome run = Msg("edit Inbox 1");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Has(run, "folder    Inbox") && Has(run, "subject   First") &&
                Has(run, "class     IPM.Note"))
        << run.out;
    run = Msg("new Inbox/Projects --json");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Has(run, R"("folder": "Projects")") && Has(run, R"("flags": 3)")) << run.out;
}

TEST_F(MessageCommandTest, BadInputGetsOneLineAndStatusTwo)
{
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"copy Inbox 4 Inbox/Projects", "orvimapi: no such message 4 in Inbox (it holds 3)\n"},
        {"delete Inbox 0", "no such message 0 in Inbox"},
        {"delete Inbox 3-1", "the range 3-1 runs backwards"},
        {"delete Inbox ,,", "no messages named in \",,\""},
        {"delete Inbox 1,xyz",
         "MSGS expects message positions, ranges such as 3-5 or entry identifiers in hex"},
        {"move Inbox 1 Nowhere", "no such folder \"Nowhere\""},
        {"read Nowhere 1", "no such folder \"Nowhere\""},
        {"path Inbox 1,2", "path takes one message"},
        {"path Inbox 1 --separator ab", "--separator takes one character"},
        {"frob Inbox 1", "usage: msg path PATH MSG"},
        {"copy Inbox 1", "usage: msg path PATH MSG"},
    };
    for (const auto& c : cases) {
        const Outcome run = Msg(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments << "\n" << run.out;
        EXPECT_TRUE(Has(run, c.message)) << c.arguments << "\n" << run.out;
        EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << "one line: " << run.out;
    }
    const Outcome help = Msg("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: orvimapi msg", 0), 0u) << help.out;
}

} // namespace
