// Profile names from the registry, and the installed Outlook release.
#pragma once

#include <cstdint>
#include <string>

// The version code of the installed Outlook: 3 for 9.0, 2 for 8.5, 1 for 8.0
// and 8.3, 0 for none or any other. Computed afresh on each call.
int32_t ClassifyOutlookVersion();

// The code that session start recorded; 2 until MAPI is first initialised.
int32_t ClientOutlookVersion();
void SetClientOutlookVersion(int32_t code);

// The "DefaultProfile" value under `keyPath` in HKEY_CURRENT_USER.
bool ReadRegistryDefaultProfile(const char* keyPath, std::string& nameOut);

// The registry's default profile: the first profiles key, then the second.
bool RegistryDefaultProfile(std::string& nameOut);

// The registered path of Outlook.exe (App Paths), or false.
bool GetOutlookAppPath(std::string& pathOut);

bool GetFileProductVersion(const char* path, uint32_t& versionMsOut, uint32_t& versionLsOut);
