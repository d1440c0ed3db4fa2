// Profile names (registry, MAPI's profile table, the open session) and the
// classification of the installed Outlook release.
#include "session/profiles.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "session/session_check.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "session/status_table.h"

namespace {

constexpr const char* kProfilesKeys[] = {
    "SOFTWARE\\MICROSOFT\\WINDOWS MESSAGING SUBSYSTEM\\PROFILES",
    "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\WINDOWS MESSAGING SUBSYSTEM\\PROFILES",
};
constexpr const char* kOutlookAppPathKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Outlook.exe";

int32_t clientOutlookVersion = 2;

// Copies min(length, bufSize - 1) characters and a terminator, only when that
// count is above 0; the count goes to *lenOut either way.
void CopyProfileName(const char* name, uint32_t bufSize, char* buf, uint32_t* lenOut)
{
    const size_t length = std::strlen(name);
    const uint32_t limit = bufSize > 0 ? bufSize - 1 : 0;
    const uint32_t copied = length < limit ? static_cast<uint32_t>(length) : limit;
    if (copied > 0) {
        std::memcpy(buf, name, copied);
        buf[copied] = '\0';
    }
    *lenOut = copied;
}

// Enumerates the values of an open key until `wanted` returns true for one;
// stops at the first call that fails (the end, or a value that does not fit).
template <class Wanted>
bool FindValue(HKEY key, DWORD dataCapacity, Wanted wanted, std::string& dataOut)
{
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        std::vector<BYTE> data(dataCapacity);
        DWORD dataLength = dataCapacity;
        if (RegEnumValueA(key, index, name, &nameLength, nullptr, nullptr, data.data(),
                          &dataLength) != ERROR_SUCCESS)
            return false;
        if (wanted(name)) {
            // The data of a string value includes its terminator; cut at the
            // first zero byte like the C string the caller receives.
            const auto* text = reinterpret_cast<const char*>(data.data());
            dataOut.assign(text, std::find(text, text + dataLength, '\0'));
            return true;
        }
    }
}

} // namespace

int32_t ClientOutlookVersion() { return clientOutlookVersion; }
void SetClientOutlookVersion(int32_t code) { clientOutlookVersion = code; }

bool ReadRegistryDefaultProfile(const char* keyPath, std::string& nameOut)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    const bool found = FindValue(
        key, 256, [](const char* name) { return std::strcmp(name, "DefaultProfile") == 0; },
        nameOut);
    RegCloseKey(key);
    return found;
}

bool RegistryDefaultProfile(std::string& nameOut)
{
    for (const char* keyPath : kProfilesKeys)
        if (ReadRegistryDefaultProfile(keyPath, nameOut)) return true;
    return false;
}

bool GetOutlookAppPath(std::string& pathOut)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOutlookAppPathKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    const bool found = FindValue(
        key, 260, [](const char* name) { return name[0] == '\0'; }, pathOut);
    RegCloseKey(key);
    return found;
}

bool GetFileProductVersion(const char* path, uint32_t& versionMsOut, uint32_t& versionLsOut)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return false;
    std::vector<BYTE> info(size);
    if (!GetFileVersionInfoA(path, 0, size, info.data())) return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<LPVOID*>(&fixed), &fixedLength) ||
        fixed == nullptr)
        return false;
    versionMsOut = fixed->dwProductVersionMS;
    versionLsOut = fixed->dwProductVersionLS;
    return true;
}

int32_t ClassifyOutlookVersion()
{
    std::string path;
    uint32_t versionMs = 0, versionLs = 0;
    if (!GetOutlookAppPath(path) || !GetFileProductVersion(path.c_str(), versionMs, versionLs))
        return 0;
    switch (versionMs) {
        case 0x00090000:
            return 3;
        case 0x00080005:
            return 2;
        case 0x00080000:
        case 0x00080003:
            return 1;
        default:
            return 0;
    }
}

ORVIMAPI_EXTERN(int32_t) OrviMapiGetClientOutlookVersion(void) { return ClassifyOutlookVersion(); }

ORVIMAPI_EXTERN(int32_t)
OrviMapiGetRegistryDefaultProfileName(uint32_t bufSize, char* buf, uint32_t* lenOut)
{
    std::string name;
    if (!RegistryDefaultProfile(name)) return -1;
    CopyProfileName(name.c_str(), bufSize, buf, lenOut);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiGetDefaultProfileName(uint32_t bufSize, char* buf, uint32_t* lenOut)
{
    CHECK_ARG(Session().mapiInitialized, "MsgStore not defined", -1);
    if (bufSize == 0) return RECORD_FAILURE(nullptr, E_INVALIDARG, -1);

    ComPtr<IProfAdmin> admin;
    CHECK_HR(MAPIAdminProfiles(0, admin.put()), -1);
    ComPtr<IMAPITable> table;
    CHECK_HR_FETCH(admin->GetProfileTable(0, table.put()), admin.get(), -1);

    SizedSPropTagArray(2, columns) = {2, {tag::DisplayName, tag::DefaultProfile}};
    SPropValue isDefault{};
    isDefault.ulPropTag = tag::DefaultProfile;
    isDefault.Value.b = TRUE;
    SRestriction restriction{};
    restriction.rt = RES_PROPERTY;
    restriction.res.resProperty.relop = RELOP_EQ;
    restriction.res.resProperty.ulPropTag = tag::DefaultProfile;
    restriction.res.resProperty.lpProp = &isDefault;

    RowSetPtr rows;
    CHECK_HR(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), &restriction,
                            nullptr, 0, rows.put()),
             -1);
    if (rows->cRows == 0 || rows->aRow[0].cValues == 0 ||
        rows->aRow[0].lpProps[0].ulPropTag != tag::DisplayName)
        return -1;
    CopyProfileName(rows->aRow[0].lpProps[0].Value.lpszA, bufSize, buf, lenOut);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiGetCurrentProfileName(uint32_t bufSize, char* buf, uint32_t* lenOut)
{
    CHECK_SESSION(-1);
    if (bufSize == 0) return RECORD_FAILURE(nullptr, E_INVALIDARG, -1);

    IMAPISession* session = Session().currentSession;
    ComPtr<IMAPITable> table;
    CHECK_HR_FETCH(session->GetStatusTable(0, table.put()), session, -1);
    RowSetPtr rows;
    CHECK_HR(HrQueryAllRows(table.get(), StatusColumns(), nullptr, nullptr, 0, rows.put()), -1);

    for (ULONG i = 0; i < rows->cRows; ++i) {
        const SRow& row = rows->aRow[i];
        if (row.cValues < statuscol::Count) continue;
        // The resource type is compared whatever its tag.
        if (row.lpProps[statuscol::ResourceType].Value.ul != kMapiSubsystem) continue;
        const SPropValue& name = row.lpProps[statuscol::DisplayName];
        if (row.lpProps[statuscol::EntryId].Value.bin.cb == 0 || name.ulPropTag != tag::DisplayName)
            return -1;
        CopyProfileName(name.Value.lpszA, bufSize, buf, lenOut);
        return 0;
    }
    return -1;
}
