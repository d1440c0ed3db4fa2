// orvimapi watch and --events: what an application hears, as the command shows it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/command_runner.h"

namespace {

using testsupport::Orvimapi;
using testsupport::Outcome;

std::string TempFile(const std::string& name, const std::string& content)
{
    const std::string path = ::testing::TempDir() + std::to_string(getpid()) + "-" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

TEST(WatchCommand, ShowsDeliveredMailAsItArrivesOnEitherThread)
{
    const std::string mail =
        TempFile("mail.json", R"([{"subject": "Fresh news", "from": "Ann <ann@example.com>"}])");
    for (const char* thread : {"", " --thread"}) {
        SCOPED_TRACE(thread);
        const Outcome o = Orvimapi("watch --deliver " + mail + " --to Inbox" + thread);
        ASSERT_EQ(o.status, 0) << o.out;
        EXPECT_EQ(o.out,
                  "new mail message \"Fresh news\" in \"Inbox\"\n"
                  "created message \"Fresh news\" in \"Inbox\"\n"
                  "delivered 1 message\n");
    }
    const Outcome json = Orvimapi("--json watch --deliver " + mail);
    ASSERT_EQ(json.status, 0) << json.out;
    EXPECT_EQ(json.out.find("{\"event\":\"new mail\",\"code\":1,\"kind\":\"message\""), 0u)
        << json.out;

    const Outcome bad = Orvimapi("watch --deliver " + mail + " --to Nowhere");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.out.find("no folder \"Nowhere\""), std::string::npos) << bad.out;
    EXPECT_EQ(Orvimapi("watch --to Inbox").status, 2) << "--to without --deliver";
}

TEST(WatchCommand, FolderChangesShowWhatTheyRaised)
{
    const Outcome moved = Orvimapi("folder move Inbox/Suppliers Inbox/Clients --events");
    ASSERT_EQ(moved.status, 0) << moved.out;
    EXPECT_NE(moved.out.find(
                  "notifications:\n  moved folder \"Suppliers\" in \"Clients\" from \"Inbox\"\n"),
              std::string::npos)
        << moved.out;
    const Outcome quiet = Orvimapi("folder move Inbox/Suppliers Inbox/Clients");
    EXPECT_EQ(quiet.out.find("notifications:"), std::string::npos);
    const Outcome emptied = Orvimapi("--json folder empty Inbox/Suppliers --events");
    ASSERT_EQ(emptied.status, 0) << emptied.out;
    EXPECT_NE(emptied.out.find("\"event\": \"deleted\""), std::string::npos) << emptied.out;
}

TEST(WatchCommand, MessageChangesShowWhatTheyRaised)
{
    const Outcome moved = Orvimapi("msg move Inbox/Suppliers 1 Inbox/Clients --events");
    ASSERT_EQ(moved.status, 0) << moved.out;
    EXPECT_NE(moved.out.find("notifications:\n  moved message "), std::string::npos) << moved.out;
    EXPECT_NE(moved.out.find(" in \"Clients\" from \"Suppliers\"\n"), std::string::npos)
        << moved.out;
    const Outcome read = Orvimapi("--json msg unread Inbox 1 --events");
    ASSERT_EQ(read.status, 0) << read.out;
    EXPECT_NE(read.out.find("\"events\": ["), std::string::npos) << read.out;
}

} // namespace
