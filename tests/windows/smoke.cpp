// Loads OrviMapi.dll with LoadLibrary, resolves every listed export and
// checks the behaviour that needs no MAPI profile. Exit status 0 on success.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "OrviMapi.h"

namespace {

const char* const kExportNames[] = {
#define ORVIMAPI_EXPORT_NAME(name) #name,
#include "orvimapi_exports.inc"
#undef ORVIMAPI_EXPORT_NAME
};

int failures = 0;

// Through void(*)(), the generic function pointer, to the export's own type.
template <class Function>
Function Resolve(HMODULE library, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

void Expect(bool condition, const char* what)
{
    if (!condition) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

} // namespace

// Usage: orvimapi_smoke DLL EXPECTED_DEFAULT_PROFILE
// The run registers EXPECTED_DEFAULT_PROFILE as the registry's default
// profile and an Outlook.exe of product version 9.0 under App Paths first.
int main(int argc, char** argv)
{
    const char* dllPath = argc > 1 ? argv[1] : "OrviMapi.dll";
    const char* expectedProfile = argc > 2 ? argv[2] : nullptr;
    HMODULE library = LoadLibraryA(dllPath);
    if (library == nullptr) {
        std::printf("FAIL: LoadLibrary(%s) error %lu\n", dllPath, GetLastError());
        return 1;
    }

    int resolved = 0;
    for (const char* name : kExportNames) {
        if (GetProcAddress(library, name) != nullptr)
            ++resolved;
        else
            std::printf("FAIL: export %s does not resolve\n", name), ++failures;
    }

    using GetLastErrorFn = void(ORVIMAPI_CALL*)(char*, uint32_t, uint32_t*);
    auto getLastError = Resolve<GetLastErrorFn>(library, "OrviMapiGetLastError");
    if (getLastError != nullptr) {
        char text[3000];
        std::memset(text, 'x', sizeof text);
        uint32_t length = 12345;
        getLastError(text, sizeof text, &length);
        Expect(text[0] == '\0' && length == 0, "OrviMapiGetLastError before any failure");
    }

    using ReleaseFn = void(ORVIMAPI_CALL*)(void*);
    auto releaseTable = Resolve<ReleaseFn>(library, "OrviMapiReleaseTable");
    if (releaseTable != nullptr) releaseTable(nullptr);

    using ProfileNameFn = int32_t(ORVIMAPI_CALL*)(uint32_t, char*, uint32_t*);
    auto registryProfile = Resolve<ProfileNameFn>(library, "OrviMapiGetRegistryDefaultProfileName");
    if (registryProfile != nullptr && expectedProfile != nullptr) {
        char name[256];
        std::memset(name, 'x', sizeof name);
        uint32_t length = 0;
        const int32_t result = registryProfile(sizeof name, name, &length);
        Expect(result == 0 && length == std::strlen(expectedProfile) &&
                   std::strcmp(name, expectedProfile) == 0,
               "OrviMapiGetRegistryDefaultProfileName reads the registry");
        std::printf("registry default profile: result %d, \"%s\"\n", result,
                    result == 0 ? name : "");
    }

    using VersionFn = int32_t(ORVIMAPI_CALL*)();
    auto outlookVersion = Resolve<VersionFn>(library, "OrviMapiGetClientOutlookVersion");
    if (outlookVersion != nullptr && expectedProfile != nullptr) {
        const int32_t code = outlookVersion();
        Expect(code == 3, "OrviMapiGetClientOutlookVersion gives 3 for Outlook 9.0");
        std::printf("client Outlook version code: %d\n", code);
    }

    // Without a MAPI subsystem, initialising or logging on fails with MAPI's
    // own result, which the last error carries with the system's text for it.
    using InitializeFn = int32_t(ORVIMAPI_CALL*)();
    using LogonFn = int32_t(ORVIMAPI_CALL*)(const char*, int32_t);
    auto initialize = Resolve<InitializeFn>(library, "OrviMapiInitialize");
    auto logon = Resolve<LogonFn>(library, "OrviMapiLogon");
    if (initialize != nullptr && logon != nullptr && getLastError != nullptr) {
        int32_t result = initialize();
        std::printf("OrviMapiInitialize: 0x%08lx\n", static_cast<unsigned long>(result));
        if (result == 0) {
            result = logon("", 1);
            std::printf("OrviMapiLogon: 0x%08lx\n", static_cast<unsigned long>(result));
        }
        Expect(result < 0, "MAPI fails to initialise or log on without a MAPI subsystem");
        char text[3000];
        uint32_t length = 0;
        getLastError(text, sizeof text, &length);
        char code[64];
        std::snprintf(code, sizeof code, "Error Num %lu",
                      static_cast<unsigned long>(static_cast<uint32_t>(result) & 0xFFFF));
        Expect(length > 0 && std::strstr(text, code) != nullptr,
               "the last error carries the failing result");
        char* systemText = nullptr;
        const DWORD systemLength =
            FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                           static_cast<DWORD>(result), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<char*>(&systemText), 0, nullptr);
        if (systemLength > 0 && systemText != nullptr) {
            Expect(std::strstr(text, systemText) != nullptr,
                   "the last error's text is the platform's own FormatMessageA text");
            LocalFree(systemText);
        } else {
            Expect(std::strstr(text, "Error Text: none") != nullptr,
                   "a result without system text prints as none");
        }
        std::printf("last error:%s\n", text);
    }

    FreeLibrary(library);
    std::printf("smoke: %d of %u exports resolved, %d failure(s)\n", resolved,
                static_cast<unsigned>(sizeof kExportNames / sizeof *kExportNames), failures);
    return failures == 0 ? 0 : 1;
}
