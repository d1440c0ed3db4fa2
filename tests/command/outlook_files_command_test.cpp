// orvimapi --msg and --pst on real Outlook files, as a user runs them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "support/real_data.h"
#include "support/command_runner.h"

namespace {

using testsupport::Orvimapi;
using testsupport::Outcome;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + std::to_string(getpid()) + "-" + name;
}

TEST(OutlookFilesCommand, ExtractsTheHtmlBodyOfARealMessage)
{
    SKIP_WITHOUT_REAL_DATA("msg");
    const std::string out = TempPath("cjk.html");
    const auto run =
        Orvimapi("--msg " + Quoted(testsupport::RealDataDir() + "/msg/Hello +CJK.msg") +
                 " message Inbox 1 --body html --out " + out);
    ASSERT_EQ(run.status, 0) << run.out;
    std::ifstream file(out, std::ios::binary);
    const std::string html((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    EXPECT_EQ(
        html.rfind("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=utf-8\">", 0),
        0u);
    EXPECT_NE(html.find("</html>"), std::string::npos);
    std::remove(out.c_str());
}

TEST(OutlookFilesCommand, ListsSeveralMessagesInTheirOwnInbox)
{
    SKIP_WITHOUT_REAL_DATA("msg");
    const std::string dir = testsupport::RealDataDir() + "/msg/";
    const auto run = Orvimapi("--msg " + Quoted(dir + "Subject.msg") + " " +
                              Quoted(dir + "msgInMsg.msg") + " --json messages Inbox");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("\"subject\": \"Subject\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"subject\": \"I have attachments!\""), std::string::npos);
}

TEST(OutlookFilesCommand, ShowsARealFolderTree)
{
    SKIP_WITHOUT_REAL_DATA("pst");
    const auto run =
        Orvimapi("--pst " + Quoted(testsupport::RealDataFiles("pst").front()) + " folders");
    ASSERT_EQ(run.status, 0) << run.out;
    for (const char* name : {"Calendar", "Contacts", "Deleted Items", "Inbox", "Sent Items"})
        EXPECT_NE(run.out.find(name), std::string::npos) << name << "\n" << run.out;
}

TEST(OutlookFilesCommand, BadFilesAndOptionsGiveOneLineAndStatus2)
{
    const std::string fake = TempPath("fake.msg");
    std::ofstream(fake, std::ios::binary) << "not a message";
    auto run = Orvimapi("--msg " + fake + " messages Inbox");
    EXPECT_EQ(run.status, 2);
    if (mapisim_can_read("msg")) {
        EXPECT_EQ(run.out, "orvimapi: " + fake + ": not a compound file (No OLE2 signature)\n");
    }
    run = Orvimapi("--msg messages Inbox");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("--msg needs one or more .msg files"), std::string::npos) << run.out;
    run = Orvimapi("--pst " + fake + " --mailbox x.json folders");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("give one of --mailbox, --pst and --msg"), std::string::npos) << run.out;
    std::remove(fake.c_str());
}

} // namespace
