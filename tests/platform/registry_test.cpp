// The in-process registry read the way the library reads it, and the
// registered file versions behind the version-resource calls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mapisim/decl/win32.h"
#include "mapisim/mapisim.h"

namespace {

constexpr char kProfiles[] = "Software\\Microsoft\\Windows Messaging Subsystem\\Profiles";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { mapisim_reset_platform(); }
    void TearDown() override
    {
        EXPECT_EQ(mapisim_open_registry_keys(), 0u);
        mapisim_reset_platform();
    }
};

struct Enumerated {
    LSTATUS status;
    std::string name;
    DWORD nameLength;
    DWORD type;
    std::vector<BYTE> data;
    DWORD dataLength;
};

// One call with the given capacities; buffers start as a sentinel.
Enumerated Enumerate(HKEY key, DWORD index, DWORD nameCapacity = 256, DWORD dataCapacity = 256)
{
    std::vector<char> name(nameCapacity + 8, '\x7f');
    Enumerated result{};
    result.data.assign(dataCapacity + 8, 0x7f);
    result.nameLength = nameCapacity;
    result.dataLength = dataCapacity;
    result.type = 0xFFFF;
    result.status = RegEnumValueA(key, index, name.data(), &result.nameLength, nullptr,
                                  &result.type, result.data.data(), &result.dataLength);
    result.name.assign(name.data(), name.size());
    return result;
}

HKEY Open(HKEY root, const char* path)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(root, path, 0, KEY_READ, &key), ERROR_SUCCESS) << path;
    return key;
}

TEST_F(RegistryTest, EnumeratesInInsertionOrderWithWindowsCounts)
{
    mapisim_registry_set_string(MAPISIM_HKCU, kProfiles, "DefaultProfile", "Outlook");
    mapisim_registry_set_dword(MAPISIM_HKCU, kProfiles, "Count", 0x01020304);
    mapisim_registry_set_binary(MAPISIM_HKCU, kProfiles, "Blob", "\0\1", 2);
    HKEY key = Open(HKEY_CURRENT_USER, kProfiles);

    Enumerated first = Enumerate(key, 0);
    ASSERT_EQ(first.status, ERROR_SUCCESS);
    EXPECT_EQ(first.nameLength, 14u); // without the terminator
    EXPECT_EQ(std::memcmp(first.name.data(), "DefaultProfile\0", 15), 0);
    EXPECT_EQ(first.name[15], '\x7f');
    EXPECT_EQ(first.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(first.dataLength, 8u); // "Outlook" with its terminator
    EXPECT_EQ(std::memcmp(first.data.data(), "Outlook\0", 8), 0);
    EXPECT_EQ(first.data[8], 0x7f);

    Enumerated second = Enumerate(key, 1);
    EXPECT_EQ(second.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(second.dataLength, 4u);
    EXPECT_EQ(second.data[0], 0x04); // little-endian
    EXPECT_EQ(Enumerate(key, 2).dataLength, 2u);
    EXPECT_EQ(Enumerate(key, 3).status, ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, NameOrDataThatDoesNotFitGivesMoreData)
{
    mapisim_registry_set_string(MAPISIM_HKCU, kProfiles, "DefaultProfile", "Outlook");
    HKEY key = Open(HKEY_CURRENT_USER, kProfiles);

    // The name capacity counts the terminator: 14 characters need 15.
    Enumerated shortName = Enumerate(key, 0, 14);
    EXPECT_EQ(shortName.status, ERROR_MORE_DATA);
    EXPECT_EQ(shortName.name[0], '\x7f');
    EXPECT_EQ(Enumerate(key, 0, 15).status, ERROR_SUCCESS);

    Enumerated shortData = Enumerate(key, 0, 256, 7);
    EXPECT_EQ(shortData.status, ERROR_MORE_DATA);
    EXPECT_EQ(shortData.dataLength, 8u); // the size it would need
    EXPECT_EQ(shortData.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(shortData.data[0], 0x7f);
    EXPECT_EQ(shortData.name[0], '\x7f');
    EXPECT_EQ(shortData.nameLength, 256u);
    EXPECT_EQ(Enumerate(key, 0, 256, 8).status, ERROR_SUCCESS);

    // Without a data buffer the size alone comes back.
    char name[256];
    DWORD nameLength = sizeof name;
    DWORD dataLength = 0;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, nullptr, &dataLength),
              ERROR_SUCCESS);
    EXPECT_EQ(dataLength, 8u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, KeyPathsIgnoreCaseButValueNamesKeepTheirs)
{
    mapisim_registry_set_string(
        MAPISIM_HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Outlook.exe",
        nullptr, "C:\\Office\\OUTLOOK.EXE");
    mapisim_registry_set_string(
        MAPISIM_HKLM, "SOFTWARE\\MICROSOFT\\windows\\currentversion\\app paths\\OUTLOOK.EXE",
        "Path", "C:\\Office");
    // A differently cased name replaces the value and keeps the first spelling.
    mapisim_registry_set_string(
        MAPISIM_HKLM, "software\\microsoft\\windows\\currentversion\\app paths\\outlook.exe",
        "PATH", "D:\\");

    HKEY parent = Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\MICROSOFT\\WINDOWS");
    HKEY key = Open(parent, "currentversion\\App Paths\\outlook.EXE");
    Enumerated defaultValue = Enumerate(key, 0, 256, 260);
    EXPECT_EQ(defaultValue.status, ERROR_SUCCESS);
    EXPECT_EQ(defaultValue.nameLength, 0u);
    EXPECT_EQ(defaultValue.name[0], '\0');
    Enumerated path = Enumerate(key, 1);
    EXPECT_EQ(path.name.substr(0, 5), std::string("Path\0", 5));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(path.data.data())), "D:\\");
    EXPECT_EQ(Enumerate(key, 2).status, ERROR_NO_MORE_ITEMS);

    // Parents exist without values; the other root does not share keys (a machine's own
    // registry has the parents in both roots, but no per-user Outlook.exe path).
    EXPECT_EQ(Enumerate(parent, 0).status, ERROR_NO_MORE_ITEMS);
    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Outlook.exe",
                            0, KEY_READ, &missing),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\Software", 0, KEY_READ, &missing), 161);
    RegCloseKey(key);
    RegCloseKey(parent);
}

TEST_F(RegistryTest, HandlesSurviveChangesAndCloseOnce)
{
    mapisim_registry_set_string(MAPISIM_HKCU, kProfiles, "A", "1");
    HKEY key = Open(HKEY_CURRENT_USER, kProfiles);
    mapisim_registry_set_string(MAPISIM_HKCU, kProfiles, "B", "2");
    EXPECT_EQ(Enumerate(key, 1).status, ERROR_SUCCESS); // sees later values

    // The key goes while the handle is open: the handle stays valid for
    // closing, and everything else it is used for fails as deleted.
    mapisim_reset_platform();
    EXPECT_EQ(Enumerate(key, 0).status, ERROR_KEY_DELETED);
    HKEY gone = nullptr;
    EXPECT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &gone), ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kProfiles, 0, KEY_READ, &gone),
              ERROR_FILE_NOT_FOUND);
    mapisim_registry_set_string(MAPISIM_HKCU, kProfiles, "A", "1");
    EXPECT_EQ(Enumerate(key, 0).status, ERROR_KEY_DELETED); // a new key of that name is another

    EXPECT_EQ(mapisim_open_registry_keys(), 1u);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Enumerate(key, 0).status, ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, DeletingAKeyTakesItsSubkeysOnly)
{
    mapisim_registry_set_dword(MAPISIM_HKCU, "A\\B\\C", "x", 1);
    mapisim_registry_set_dword(MAPISIM_HKCU, "A\\B0", "x", 1);
    EXPECT_EQ(mapisim_registry_delete_key(MAPISIM_HKCU, "a\\b"), 0);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A\\B\\C", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    key = Open(HKEY_CURRENT_USER, "A\\B0");
    RegCloseKey(key);
    EXPECT_EQ(mapisim_registry_delete_key(MAPISIM_HKCU, "A\\B"), -1);
}

class VersionTest : public RegistryTest {};

TEST_F(VersionTest, RegisteredPathGivesFixedInfoWithProductVersion)
{
    mapisim_version_register("C:\\Office\\OUTLOOK.EXE", 0x00090000, 0x0E1A0001, 0x00090001, 2);
    DWORD handle = 7;
    const DWORD size = GetFileVersionInfoSizeA("c:\\office\\outlook.exe", &handle);
    ASSERT_GT(size, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(handle, 0u);

    std::vector<BYTE> blob(size);
    ASSERT_TRUE(GetFileVersionInfoA("C:\\Office\\Outlook.exe", 0, size, blob.data()));
    void* found = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(blob.data(), "\\", &found, &length));
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    ASSERT_GE(static_cast<BYTE*>(found), blob.data());
    ASSERT_LE(static_cast<BYTE*>(found) + length, blob.data() + size);
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, found, sizeof info);
    EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info.dwProductVersionMS, 0x00090000u);
    EXPECT_EQ(info.dwProductVersionLS, 0x0E1A0001u);
    EXPECT_EQ(info.dwFileVersionMS, 0x00090001u);

    EXPECT_FALSE(
        VerQueryValueA(blob.data(), "\\StringFileInfo\\040904B0\\ProductVersion", &found, &length));
    // A buffer cut short holds no fixed part.
    std::vector<BYTE> cut(size);
    ASSERT_TRUE(GetFileVersionInfoA("C:\\Office\\Outlook.exe", 0, 40, cut.data()));
    EXPECT_FALSE(VerQueryValueA(cut.data(), "\\", &found, &length));
}

TEST_F(VersionTest, UnregisteredPathHasNoVersion)
{
    mapisim_version_register("C:\\a.exe", 1, 2, 3, 4);
    EXPECT_EQ(GetFileVersionInfoSizeA("C:\\b.exe", nullptr), 0u);
    BYTE blob[128];
    EXPECT_FALSE(GetFileVersionInfoA("C:\\b.exe", 0, sizeof blob, blob));
    EXPECT_EQ(mapisim_version_unregister("C:\\A.EXE"), 0);
    EXPECT_EQ(GetFileVersionInfoSizeA("C:\\a.exe", nullptr), 0u);
}

} // namespace
