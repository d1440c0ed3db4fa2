// The orvimapi command run as a user runs it: on the bundled sample and on
// a small mailbox of the test's own, including its errors.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/command_runner.h"

namespace {

using testsupport::Orvimapi;
using testsupport::Outcome;

// Test processes may run side by side (ctest -j): each uses files of its own.
std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + std::to_string(getpid()) + "-" + name;
}

std::string TempFile(const std::string& name, const std::string& content)
{
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

constexpr const char* kSmallMailbox = R"({
  "profiles": [{
    "name": "Test", "default": true,
    "stores": [
      {"name": "Zeta Archive", "provider": "Tarsk Quillbank"},
      {"name": "Main", "provider": "Personal Folders", "default": true,
       "special": {"inbox": "Inbox", "deleted_items": "Deleted Items"},
       "folders": [
         {"name": "Inbox", "class": "IPF.Note", "folders": [{"name": "Projects", "class": "IPF.Note"}],
          "messages": [
            {"subject": "First", "from": "Ann <ann@example.com>", "to": "Bo <bo@example.com>",
             "received": "2001-02-03T04:05:06Z", "body": "plain body one",
             "attachments": [{"filename": "a.txt", "data": {"text": "attached bytes"}}]},
            {"subject": "Second", "from": "Cy <cy@example.com>", "received": "2001-02-04T00:00:00Z",
             "flags": ["read"], "body": "plain body two"}]},
         {"name": "Deleted Items", "class": "IPF.Note"}]}]}]})";

class CommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        mailbox_ = new std::string(TempFile("small.json", kSmallMailbox));
    }
    static void TearDownTestSuite() { delete mailbox_; }
    static std::string Small(const std::string& arguments)
    {
        return "--mailbox " + *mailbox_ + " " + arguments;
    }
    static std::string* mailbox_;
};
std::string* CommandTest::mailbox_ = nullptr;

TEST_F(CommandTest, TourWalksTheSampleToAnHtmlBody)
{
    const Outcome run = Orvimapi("tour");
    ASSERT_EQ(run.status, 0) << run.out;
    for (const char* expected :
         {" 1. OrviMapiStart", "Personal Folders (default)", "opened Inbox",
          "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=", "10. OrviMapiRelease"})
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;

    const Outcome json = Orvimapi("--json tour");
    ASSERT_EQ(json.status, 0) << json.out;
    EXPECT_EQ(json.out.front(), '[');
    EXPECT_NE(json.out.find("\"step\": 10"), std::string::npos);
}

TEST_F(CommandTest, ExplorerOnTheSample)
{
    const Outcome folders = Orvimapi("folders");
    ASSERT_EQ(folders.status, 0) << folders.out;
    EXPECT_NE(folders.out.find("Web Orders"), std::string::npos);
    EXPECT_NE(folders.out.find("IPF.Contact"), std::string::npos);

    const Outcome orders = Orvimapi("--json messages Inbox/Web\\ Orders");
    ASSERT_EQ(orders.status, 0) << orders.out;
    EXPECT_NE(orders.out.find("\"index\": 250"), std::string::npos);

    const Outcome profiles = Orvimapi("profiles");
    ASSERT_EQ(profiles.status, 0) << profiles.out;
    EXPECT_NE(profiles.out.find("Outlook version code:     3"), std::string::npos) << profiles.out;
}

TEST_F(CommandTest, StoresFoldersAndMessagesOfAMailboxOfItsOwn)
{
    const Outcome stores = Orvimapi(Small("--json stores --all"));
    ASSERT_EQ(stores.status, 0) << stores.out;
    EXPECT_NE(stores.out.find("\"displayName\": \"Main\""), std::string::npos);
    EXPECT_EQ(stores.out.find("Zeta Archive"), std::string::npos) << "the excluded provider shows";

    const Outcome folders = Orvimapi(Small("folders"));
    ASSERT_EQ(folders.status, 0) << folders.out;
    EXPECT_NE(folders.out.find("    Projects"), std::string::npos) << folders.out;

    const Outcome messages = Orvimapi(Small("messages inbox")); // letter case does not matter
    ASSERT_EQ(messages.status, 0) << messages.out;
    EXPECT_NE(messages.out.find("   1  2001-02-03 04:05  Ann"), std::string::npos) << messages.out;
    EXPECT_NE(messages.out.find("* First  [att]"), std::string::npos) << messages.out;
    EXPECT_NE(messages.out.find("2 message(s)"), std::string::npos);

    const Outcome message = Orvimapi(Small("message Inbox 1"));
    ASSERT_EQ(message.status, 0) << message.out;
    EXPECT_NE(message.out.find("To:          Bo <bo@example.com>"), std::string::npos)
        << message.out;

    // The entry identifier the listing shows names the same message.
    const Outcome json = Orvimapi(Small("--json message Inbox 2"));
    const size_t at = json.out.find("\"entryId\": \"") + 12;
    const std::string entryId = json.out.substr(at, json.out.find('"', at) - at);
    const Outcome byId = Orvimapi(Small("message Inbox " + entryId));
    ASSERT_EQ(byId.status, 0) << byId.out;
    EXPECT_NE(byId.out.find("Subject:     Second"), std::string::npos);
}

TEST_F(CommandTest, BodiesAndAttachmentsGoToFiles)
{
    const std::string body = TempPath("body.txt");
    const Outcome text = Orvimapi(Small("message Inbox 1 --body text --out " + body));
    ASSERT_EQ(text.status, 0) << text.out;
    EXPECT_EQ(ReadFile(body), "plain body one");

    const std::string data = TempPath("a.txt");
    const Outcome attachment = Orvimapi(Small("message Inbox 1 --attachment 0 --out " + data));
    ASSERT_EQ(attachment.status, 0) << attachment.out;
    EXPECT_EQ(ReadFile(data), "attached bytes");

    const Outcome html = Orvimapi(Small("message Inbox 2 --body html"));
    EXPECT_EQ(html.status, 1) << html.out;
    EXPECT_NE(html.out.find("the message has no HTML body"), std::string::npos) << html.out;
}

TEST_F(CommandTest, FolderChangesShowTheTreeAfterwards)
{
    Outcome run = Orvimapi(Small("folder create Inbox projects"));
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("created \"projects1\" in Inbox"), std::string::npos) << run.out;

    run = Orvimapi(Small("folder recycle Inbox/Projects"));
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("  Deleted Items"), std::string::npos);
    EXPECT_NE(run.out.find("    Projects"), std::string::npos) << run.out;
}

TEST_F(CommandTest, BadInputGetsOneLineAndAStatus)
{
    const struct {
        std::string arguments;
        int status;
        std::string message;
    } cases[] = {
        {Small("messages Inbox/Nowhere"), 2, "orvimapi: no such folder \"Nowhere\" in Inbox\n"},
        {Small("message Inbox 3"), 2, "orvimapi: no such message 3 in Inbox (it holds 2)\n"},
        {Small("message Inbox 0"), 2, "orvimapi: no such message 0 in Inbox (it holds 2)\n"},
        // Digits alone are a position, not an entry identifier in hex.
        {Small("message Inbox 12345678901234567890"), 2,
         "no such message 12345678901234567890 in Inbox"},
        {Small("message Inbox 800000006D6170"), 2,
         "orvimapi: no such message 800000006D6170 in Inbox\n"},
        {Small("message Inbox 800000006D617"), 2,
         "MSG expects a message position or an even number of hex digits (an entry identifier), "
         "not \"800000006D617\"\n"},
        {Small("message Inbox 1 --attachment 5"), 2,
         "orvimapi: no such attachment #5 in the message\n"},
        {Small("message Inbox 1 --attachment -1"), 2,
         "orvimapi: --attachment expects a whole number from 0 to 4294967295, not \"-1\"\n"},
        {Small("message Inbox 1 --attachment abc"), 2, "--attachment expects a whole number"},
        {Small("message Inbox 1 --attachment 4294967296"), 2,
         "--attachment expects a whole number"},
        {Small("folders --depth abc"), 2,
         "orvimapi: --depth expects a whole number from 0 to 1000, not \"abc\"\n"},
        {Small("folders --depth -1"), 2,
         "--depth expects a whole number from 0 to 1000, not \"-1\""},
        {Small("folders --depth 1x"), 2,
         "--depth expects a whole number from 0 to 1000, not \"1x\""},
        {Small("stores --all --store x"), 2, "unknown option --store"},
        {Small("messages --store Nowhere Inbox"), 2, "orvimapi: no such store \"Nowhere\"\n"},
        {"--mailbox \"\" stores", 2, "orvimapi: --mailbox expects a file name, not \"\"\n"},
        {Small("message Inbox 1 --body pdf"), 2,
         "orvimapi: --body takes text, rtf or html, not pdf\n"},
        // A library failure: status 1, the result by name beside the library's account.
        {Small("folder recycle \"Deleted Items\""), 1,
         "orvimapi: cannot recycle Deleted Items: MAPI_E_INVALID_OBJECT 0x80040108 "
         "[Facility ITF, Error Num 264] at "},
        {Small("--profile Nobody stores"), 1,
         "orvimapi: cannot start a MAPI session: MAPI_E_LOGON_FAILED 0x80040111 "
         "[Facility ITF, Error Num 273] at "},
        {"frobnicate", 2, "orvimapi: unknown command frobnicate (see orvimapi --help)\n"},
        {"--mailbox " + TempFile("bad.json", "{\"profiles\": [{\"name\": 7}]}") + " stores", 2,
         "bad.json:1:24: profiles[0].name: expected a string\n"},
        {"--mailbox /nonexistent/mailbox.json stores", 2,
         "orvimapi: /nonexistent/mailbox.json: cannot open: No such file or directory\n"},
        // Neither a device that never ends nor a directory is read.
        {"--mailbox /dev/zero stores", 2, "orvimapi: /dev/zero: not a regular file\n"},
        {"--mailbox / stores", 2, "orvimapi: /: not a regular file\n"},
    };
    for (const auto& c : cases) {
        const Outcome run = Orvimapi(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.out;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << c.arguments << "\n" << run.out;
        EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << "one line: " << run.out;
    }
}

TEST_F(CommandTest, HelpForTheCommandAndEachSubcommand)
{
    EXPECT_EQ(Orvimapi("--help").status, 0);
    for (const char* command :
         {"tour", "profiles", "stores", "folders", "messages", "message", "folder"}) {
        const Outcome run = Orvimapi(std::string(command) + " --help");
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_EQ(run.out.rfind(std::string("usage: orvimapi ") + command, 0), 0u) << run.out;
    }
}

} // namespace
