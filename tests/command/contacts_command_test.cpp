// orvimapi ab and orvimapi contacts, run as a user runs them on the sample.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/command_runner.h"

namespace {

using testsupport::Orvimapi;
using testsupport::Outcome;

size_t Lines(const std::string& text)
{
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

TEST(ContactsCommand, ListsTheAddressBookAndTheDialogItGot)
{
    Outcome ab = Orvimapi("ab");
    ASSERT_EQ(ab.status, 0) << ab.out;
    EXPECT_EQ(
        ab.out.find("Ann Hollis  <SMTP:ann.hollis@harrowvale.example>  Harrow Vale Brewery\n"), 0u)
        << ab.out;

    ab = Orvimapi("--json ab");
    ASSERT_EQ(ab.status, 0) << ab.out;
    EXPECT_NE(ab.out.find("\"fileUnder\": null"), std::string::npos);
    EXPECT_NE(ab.out.find("\"company\": \"Harrow Vale Brewery\""), std::string::npos);

    const Outcome dialog = Orvimapi("ab --dialog");
    ASSERT_EQ(dialog.status, 0) << dialog.out;
    EXPECT_NE(dialog.out.find("flags: 0x00000001"), std::string::npos) << dialog.out;
    EXPECT_NE(dialog.out.find("recipient wells: 0"), std::string::npos) << dialog.out;

    const Outcome noPab = Orvimapi("--profile \"Show Laptop\" ab");
    EXPECT_EQ(noPab.status, 1);
    EXPECT_NE(noPab.out.find("No PAB defined"), std::string::npos) << noPab.out;
}

TEST(ContactsCommand, ListsAddsAndUpdatesContacts)
{
    const Outcome all = Orvimapi("contacts");
    ASSERT_EQ(all.status, 0) << all.out;
    EXPECT_GE(Lines(all.out), 30u);
    EXPECT_EQ(all.out.find("  1  Abigail Thornton"), 0u) << all.out;

    const Outcome added = Orvimapi(
        "contacts add --name \"Zed Test\" --email SMTP:zed@example.com "
        "--email EX:/O=ZED");
    ASSERT_EQ(added.status, 0) << added.out;
    EXPECT_EQ(added.out, "  1  Zed Test  <SMTP:zed@example.com>, <EX:/O=ZED>\n");

    const Outcome updated = Orvimapi("contacts update 2 --email SMTP:ann@new.example");
    ASSERT_EQ(updated.status, 0) << updated.out;
    EXPECT_NE(
        updated.out.find("Ann Hollis  <SMTP:ann@new.example>, <SMTP:annhollis@freenet.example>"),
        std::string::npos)
        << updated.out;

    const Outcome other = Orvimapi("--profile \"Show Laptop\" contacts \"Show Contacts\"");
    ASSERT_EQ(other.status, 0) << other.out;
    EXPECT_NE(other.out.find("<RADIO:Channel 4>"), std::string::npos) << other.out;
}

TEST(ContactsCommand, BadArgumentsAreOneLineUsageErrors)
{
    for (const char* arguments :
         {"contacts add", "contacts add --name N --email nocolon", "contacts update 2",
          "contacts update 99 --email SMTP:a@b", "contacts update zz --email SMTP:a@b",
          "contacts add --name N --email A:1 --email B:2 --email C:3 --email D:4",
          "contacts --name N", "contacts Nowhere", "ab extra", "ab --bogus"}) {
        const Outcome outcome = Orvimapi(arguments);
        EXPECT_EQ(outcome.status, 2) << arguments << ": " << outcome.out;
        EXPECT_EQ(Lines(outcome.out), 1u) << arguments << ": " << outcome.out;
    }
}

} // namespace
