// Starting and stopping the one session: flags and profile by the rules,
// the use count, MAPI's initialisation, and the failures that leave the
// session open without a counted use.
#include <string>

#include "frame/platform.h"
#include "support/library_support.h"

namespace {

using namespace testsupport;

constexpr const char* kMailbox = R"({
  "profiles": [
    {"name": "Outlook", "default": true, "stores": [
      {"name": "Personal Folders", "provider": "Personal Folders", "default": true,
       "folders": [{"name": "Inbox"}]}]},
    {"name": "Work", "stores": []}
  ]})";

constexpr const char* kProfilesKey2 =
    "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\WINDOWS MESSAGING SUBSYSTEM\\PROFILES";
constexpr const char* kAppPathKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Outlook.exe";
constexpr const char* kOutlookPath = "C:\\Program Files\\Microsoft Office\\Office\\OUTLOOK.EXE";

void InstallOutlook(uint32_t productVersionMs)
{
    mapisim_registry_set_string(MAPISIM_HKLM, kAppPathKey, "", kOutlookPath);
    mapisim_version_register(kOutlookPath, productVersionMs, 2416, productVersionMs, 2416);
}

bool SessionOpen()
{
    OrviMapiSession session = nullptr;
    OrviMapiReturnSession(&session);
    return session != nullptr;
}

class SessionTest : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        Load(kMailbox);
    }
};

TEST_F(SessionTest, StartTwiceNeedsTwoStops)
{
    Start("Outlook");
    Start("Work"); // only counts: the open session is shared
    EXPECT_EQ(mapisim_call_count_of("MAPILogonEx"), 1u);
    OrviMapiStop();
    EXPECT_TRUE(SessionOpen());
    EXPECT_EQ(mapisim_call_count_of("MAPIUninitialize"), 0u);
    OrviMapiStop();
    EXPECT_FALSE(SessionOpen());
    EXPECT_EQ(mapisim_call_count_of("MAPIUninitialize"), 1u);
    EXPECT_EQ(mapisim_mapi_initialized(), 0u);
}

// The flag sets the library's logons use.
constexpr uint32_t kJoinShared = MAPI_EXTENDED | MAPI_ALLOW_OTHERS | MAPI_LOGON_UI;
constexpr uint32_t kJoinDefault = kJoinShared | MAPI_USE_DEFAULT;
constexpr uint32_t kNewSession = kJoinShared | MAPI_NEW_SESSION;
constexpr uint32_t kNewExplicit = kNewSession | MAPI_EXPLICIT_PROFILE;

struct FlagCase {
    const char* name;
    int32_t shareSession;
    uint32_t outlookMs; // 0: no Outlook installed
    const char* registryDefault;
    uint32_t expectedFlags;
    const char* expectedProfile;
};

TEST_F(SessionTest, LogonFlagsAndProfileFollowShareVersionAndRegistry)
{
    const FlagCase cases[] = {
        {"", 2, 0x00090000, "Outlook", kNewSession, "Outlook"}, // a registry default, by name
        {"", 0, 0x00090000, nullptr, kNewExplicit, ""},         // none: the user chooses
        {"Work", 1, 0x00080005, nullptr, kJoinDefault, ""},     // shared before 9.0: name dropped
        {"Work", 1, 0x00090000, nullptr, kJoinShared, "Work"},  // shared with 9.0: name kept
        {"", 1, 0x00090000, nullptr, kJoinDefault, ""},
        {"Work", 0, 0, nullptr, kNewSession, "Work"},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(std::string("name '") + c.name + "' share " + std::to_string(c.shareSession));
        mapisim_reset_platform();
        if (c.outlookMs != 0) InstallOutlook(c.outlookMs);
        if (c.registryDefault != nullptr)
            mapisim_registry_set_string(MAPISIM_HKCU, kProfilesKey2, "DefaultProfile",
                                        c.registryDefault);
        mapisim_call_log_clear();
        EXPECT_EQ(OrviMapiStart(c.name, c.shareSession), 0) << LastError();
        EXPECT_EQ(CallFlags("MAPILogonEx"), c.expectedFlags);
        EXPECT_EQ(CallArg("MAPILogonEx", "profile"), c.expectedProfile);
        OrviMapiStop();
    }
}

TEST_F(SessionTest, ProfileNameOver64CharactersFailsBeforeMapi)
{
    const std::string longName(65, 'p');
    EXPECT_EQ(OrviMapiStart(longName.c_str(), 0), -1);
    EXPECT_EQ(mapisim_call_count(), 0u);
    EXPECT_EQ(LastErrorText(), "none");
    EXPECT_EQ(LastErrorCode(), "none");

    // 64 characters go on to MAPI, which knows no such profile.
    EXPECT_EQ(OrviMapiStart(longName.substr(1).c_str(), 0), -1);
    EXPECT_EQ(CallArg("MAPILogonEx", "profile"), longName.substr(1));
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 273"); // MAPI_E_LOGON_FAILED
    EXPECT_FALSE(SessionOpen());
    EXPECT_EQ(mapisim_mapi_initialized(), 0u) << "a failed logon uninitialises MAPI";
}

TEST_F(SessionTest, LogonNeedsInitializeAndOnlyCountsWhileOpen)
{
    EXPECT_EQ(OrviMapiLogon("Outlook", 1), MAPI_E_CALL_FAILED);
    EXPECT_EQ(LastError(), "") << "nothing is recorded";

    Start("Outlook");
    EXPECT_EQ(OrviMapiLogon("Outlook", 1), MAPI_E_CALL_FAILED);
    OrviMapiStop(); // the logon above was not counted
    EXPECT_FALSE(SessionOpen());
}

TEST_F(SessionTest, InitializeThenLogonChoosesByFlagsAlone)
{
    ASSERT_EQ(OrviMapiInitialize(), 0);
    ASSERT_EQ(OrviMapiInitialize(), 0);
    EXPECT_EQ(mapisim_call_count_of("MAPIInitialize"), 1u);

    ASSERT_EQ(OrviMapiLogon("Work", 0), 0);
    EXPECT_EQ(CallFlags("MAPILogonEx"), kJoinDefault);
    EXPECT_EQ(CallArg("MAPILogonEx", "profile"), "(null)");
    EXPECT_EQ(OrviMapiLogon("Work", 1), 0); // counted, not logged on again
    OrviMapiStop();
    OrviMapiStop();
    EXPECT_FALSE(SessionOpen());

    // After the library's own uninitialisation, initialising works again.
    ASSERT_EQ(OrviMapiInitialize(), 0);
    ASSERT_EQ(OrviMapiLogon("", 1), 0) << LastError();
    EXPECT_EQ(CallFlags("MAPILogonEx", 1), kNewSession);
}

TEST_F(SessionTest, FailedLogonReturnsTheResultAndClosesEverything)
{
    ASSERT_EQ(OrviMapiInitialize(), 0);
    mapisim_fail_method("MAPILogonEx", 1, 0, MAPI_E_LOGON_FAILED);
    EXPECT_EQ(OrviMapiLogon("", 0), MAPI_E_LOGON_FAILED);
    EXPECT_FALSE(SessionOpen());
    EXPECT_EQ(mapisim_call_count_of("MAPIUninitialize"), 1u);
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 273");

    mapisim_fail_method("MAPILogonEx", 1, 0, MAPI_E_LOGON_FAILED);
    EXPECT_EQ(OrviMapiStart("Outlook", 0), -1);
    EXPECT_FALSE(SessionOpen());
}

TEST_F(SessionTest, AddressBookFailureLeavesTheSessionOpenUncounted)
{
    mapisim_fail_method("IMAPISession::OpenAddressBook", 1, 0, MAPI_E_CALL_FAILED);
    EXPECT_EQ(OrviMapiStart("Outlook", 0), -1);
    EXPECT_TRUE(SessionOpen());
    EXPECT_EQ(LastErrorText(), SystemText(E_FAIL, "Unspecified error\r\n"));

    // Further starts only count; one stop closes (the count was never raised).
    Start("Outlook");
    OrviMapiStop();
    EXPECT_FALSE(SessionOpen());

    ASSERT_EQ(OrviMapiInitialize(), 0);
    mapisim_fail_method("IMAPISession::OpenAddressBook", 1, 0, MAPI_E_CALL_FAILED);
    EXPECT_EQ(OrviMapiLogon("", 0), MAPI_E_CALL_FAILED);
    EXPECT_TRUE(SessionOpen());
}

TEST_F(SessionTest, ReturnSessionWithoutSessionGivesNull)
{
    OrviMapiSession session = reinterpret_cast<OrviMapiSession>(1);
    OrviMapiReturnSession(&session);
    EXPECT_EQ(session, nullptr);
}

TEST_F(SessionTest, ExportsRefuseWorkWithoutSession)
{
    OrviMapiTable table = nullptr;
    EXPECT_EQ(OrviMapiMsgStoreQuerySet(&table, 0), -1);
    EXPECT_EQ(LastErrorText(), "MAPI Session not started");
    EXPECT_EQ(LastErrorCode(), "none");
    // Found anywhere: the build strips "../" too, but a compiler cache that leaves the prefix maps
    // out of its key may hand back an object built before it did.
    EXPECT_NE(LastErrorLocation().find("src/stores/store_table.cpp#"), std::string::npos)
        << LastErrorLocation();
}

} // namespace
