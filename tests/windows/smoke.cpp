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

}  // namespace

int main(int argc, char** argv)
{
    const char* dllPath = argc > 1 ? argv[1] : "OrviMapi.dll";
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

    FreeLibrary(library);
    std::printf("smoke: %d of %u exports resolved, %d failure(s)\n", resolved,
                static_cast<unsigned>(sizeof kExportNames / sizeof *kExportNames), failures);
    return failures == 0 ? 0 : 1;
}
