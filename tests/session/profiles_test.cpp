// Profile names from the registry, from MAPI's profile table and from the
// session; the Outlook version code; send and receive.
#include <cstring>
#include <string>

#include "frame/platform.h"
#include "support/library_support.h"

namespace {

using namespace testsupport;

constexpr const char* kProfilesKey1 = "SOFTWARE\\MICROSOFT\\WINDOWS MESSAGING SUBSYSTEM\\PROFILES";
constexpr const char* kProfilesKey2 =
    "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\WINDOWS MESSAGING SUBSYSTEM\\PROFILES";
constexpr const char* kAppPathKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Outlook.exe";

constexpr const char* kMailbox = R"({
  "profiles": [
    {"name": "Outlook", "default": true,
     "status_rows": [
       {"name": "Idle A", "status": ["available", "inbound_enabled", "outbound_enabled"]},
       {"name": "Sending", "status": ["available", "inbound_enabled", "outbound_enabled", "outbound_active"]},
       {"name": "No Status"},
       {"name": "Outbound Only", "status": ["available", "outbound_enabled"]},
       {"name": "Idle B", "status": ["inbound_enabled", "outbound_enabled"]},
       {"name": "Address Book", "type": "address_book", "status": ["inbound_enabled", "outbound_enabled"]}],
     "stores": []},
    {"name": "Quiet", "spooler": {"status": []},
     "status_rows": [{"name": "Idle", "status": ["available", "inbound_enabled", "outbound_enabled"]}]}
  ]})";

struct Copied {
    int32_t result;
    std::string text; // the buffer's content up to its terminator
    uint32_t length;
};

using ProfileReader = int32_t (*)(uint32_t, char*, uint32_t*);

Copied Read(ProfileReader read, uint32_t bufSize = 64)
{
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    uint32_t length = 0xEEEE;
    const int32_t result = read(bufSize, buffer, &length);
    return {result, buffer, length};
}

class ProfilesTest : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        Load(kMailbox);
    }
};

TEST_F(ProfilesTest, RegistryDefaultProfileFromEitherKey)
{
    EXPECT_EQ(Read(OrviMapiGetRegistryDefaultProfileName).result, -1);
    EXPECT_EQ(LastError(), "") << "a missing name is not recorded";

    mapisim_registry_set_string(MAPISIM_HKCU, kProfilesKey2, "defaultprofile", "Lowercase");
    EXPECT_EQ(Read(OrviMapiGetRegistryDefaultProfileName).result, -1)
        << "names match case-sensitively";

    mapisim_registry_clear();
    mapisim_registry_set_string(MAPISIM_HKCU, kProfilesKey2, "Other", "x");
    mapisim_registry_set_string(MAPISIM_HKCU, kProfilesKey2, "DefaultProfile", "Second");
    Copied copied = Read(OrviMapiGetRegistryDefaultProfileName);
    EXPECT_EQ(copied.result, 0);
    EXPECT_EQ(copied.text, "Second");
    EXPECT_EQ(copied.length, 6u);

    mapisim_registry_set_string(MAPISIM_HKCU, kProfilesKey1, "DefaultProfile", "First");
    EXPECT_EQ(Read(OrviMapiGetRegistryDefaultProfileName).text, "First");

    copied = Read(OrviMapiGetRegistryDefaultProfileName, 4);
    EXPECT_EQ(copied.result, 0);
    EXPECT_EQ(copied.text, "Fir");
    EXPECT_EQ(copied.length, 3u);
    copied = Read(OrviMapiGetRegistryDefaultProfileName, 1);
    EXPECT_EQ(copied.result, 0);
    EXPECT_EQ(copied.length, 0u);
    EXPECT_EQ(copied.text.substr(0, 3), "xxx") << "nothing written";
}

TEST_F(ProfilesTest, MapiDefaultProfileNeedsInitialize)
{
    EXPECT_EQ(Read(OrviMapiGetDefaultProfileName).result, -1);
    EXPECT_EQ(LastErrorText(), "MsgStore not defined");

    Start("Quiet"); // initialises MAPI, but not through OrviMapiInitialize
    EXPECT_EQ(Read(OrviMapiGetDefaultProfileName).result, -1);
    EXPECT_EQ(LastErrorText(), "MsgStore not defined");
    OrviMapiStop();

    ASSERT_EQ(OrviMapiInitialize(), 0);
    EXPECT_EQ(Read(OrviMapiGetDefaultProfileName).text, "Outlook");
    EXPECT_EQ(Read(OrviMapiGetDefaultProfileName, 0).result, -1);
    EXPECT_EQ(LastErrorText(), SystemText(E_INVALIDARG, "The parameter is incorrect.\r\n"));

    // Without a default profile: -1, and the last error stays as it was.
    Load(R"({"profiles": [{"name": "Plain"}]})");
    EXPECT_EQ(Read(OrviMapiGetDefaultProfileName).result, -1);
    EXPECT_EQ(LastErrorText(), SystemText(E_INVALIDARG, "The parameter is incorrect.\r\n"));
}

TEST_F(ProfilesTest, CurrentProfileIsTheSessions)
{
    EXPECT_EQ(Read(OrviMapiGetCurrentProfileName).result, -1);
    EXPECT_EQ(LastErrorText(), "MAPI Session not started");
    Start("Quiet");
    const Copied copied = Read(OrviMapiGetCurrentProfileName);
    EXPECT_EQ(copied.result, 0);
    EXPECT_EQ(copied.text, "Quiet");
    EXPECT_EQ(Read(OrviMapiGetCurrentProfileName, 0).result, -1);
    EXPECT_EQ(LastErrorCode(), "Facility WIN32, Error Num 87");

    mapisim_fail_method("IMAPISession::GetStatusTable", 1, 0, MAPI_E_NETWORK_ERROR);
    EXPECT_EQ(Read(OrviMapiGetCurrentProfileName).result, -1);
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 277");
}

TEST_F(ProfilesTest, OutlookVersionCodeByProductVersion)
{
    const char* path = "C:\\Office\\OUTLOOK.EXE";
    EXPECT_EQ(OrviMapiGetClientOutlookVersion(), 0) << "no App Paths key";
    mapisim_registry_set_string(MAPISIM_HKLM, kAppPathKey, "", path);
    EXPECT_EQ(OrviMapiGetClientOutlookVersion(), 0) << "no version resource";
    const struct {
        uint32_t ms, ls;
        int32_t code;
    } cases[] = {{0x00090000, 0x0A600000, 3}, {0x00090000, 0, 3}, {0x00080005, 0x12345, 2},
                 {0x00080000, 1, 1},          {0x00080003, 1, 1}, {0x000A0000, 0, 0},
                 {0x00090001, 0, 0}};
    for (const auto& c : cases) {
        mapisim_version_register(path, c.ms, c.ls, 0x00010000, 0); // the file version plays no part
        EXPECT_EQ(OrviMapiGetClientOutlookVersion(), c.code) << std::hex << c.ms;
    }
    EXPECT_EQ(LastError(), "");
}

TEST_F(ProfilesTest, SendReceiveFlushesIdleTransportsInTableOrder)
{
    Start("Outlook");
    OrviMapiSendReceive();
    ASSERT_EQ(mapisim_call_count_of("IMAPIStatus::FlushQueues"), 3u);
    // Idle A, No Status (treated as enabled both ways) and Idle B: the
    // stand-in numbers status rows 3, 4 ... after the subsystem and spooler.
    const char* expected[] = {"3", "5", "7"};
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(CallFlags("IMAPIStatus::FlushQueues", i), FLUSH_UPLOAD | FLUSH_DOWNLOAD);
        EXPECT_EQ(CallArg("IMAPIStatus::FlushQueues", "transport", i), expected[i]) << i;
    }
    EXPECT_EQ(CallFlags("IMAPISession::OpenEntry"), MAPI_BEST_ACCESS);
}

TEST_F(ProfilesTest, SendReceiveWithoutAvailableSpoolerDoesNothing)
{
    Start("Quiet");
    OrviMapiSendReceive();
    EXPECT_EQ(mapisim_call_count_of("IMAPISession::OpenEntry"), 0u);
    EXPECT_EQ(LastError(), "");

    mapisim_fail_method("IMAPISession::GetStatusTable", 1, 0, MAPI_E_NETWORK_ERROR);
    OrviMapiSendReceive();
    EXPECT_EQ(LastErrorCode(), "Facility ITF, Error Num 277");
}

} // namespace
