// Counting of the library's registry handles and FormatMessageA texts on Windows.
//
// There the library calls the real RegOpenKeyExA, RegCloseKey, FormatMessageA and LocalFree, so
// the stand-in cannot count what it did not hand out. When the stand-in is loaded it puts counting
// wrappers in the import address tables of the modules that import MAPI32 (the library's DLL, or a
// program linking the library's objects): each wrapper calls the real function and keeps the set
// of handles open and texts not yet freed, which the counting controls report as they do
// elsewhere. Modules loaded later, and calls from any other module, are not counted.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <set>

#include "mapisim/mapisim.h"

namespace {

std::mutex lock;
std::set<HKEY> openKeys;
std::set<HLOCAL> localTexts;

LSTATUS WINAPI CountedRegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access,
                                    PHKEY opened)
{
    const LSTATUS status = RegOpenKeyExA(key, subKey, options, access, opened);
    if (status == ERROR_SUCCESS && opened != nullptr) {
        std::lock_guard<std::mutex> guard(lock);
        openKeys.insert(*opened);
    }
    return status;
}

LSTATUS WINAPI CountedRegCloseKey(HKEY key)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        openKeys.erase(key);
    }
    return RegCloseKey(key);
}

DWORD WINAPI CountedFormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                                   LPSTR buffer, DWORD size, va_list* arguments)
{
    const DWORD length =
        FormatMessageA(flags, source, messageId, languageId, buffer, size, arguments);
    if (length != 0 && (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0 && buffer != nullptr) {
        std::lock_guard<std::mutex> guard(lock);
        localTexts.insert(*reinterpret_cast<HLOCAL*>(buffer));
    }
    return length;
}

HLOCAL WINAPI CountedLocalFree(HLOCAL memory)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        localTexts.erase(memory);
    }
    return LocalFree(memory);
}

struct Wrapper {
    const char* name;
    void* counted;
};

const Wrapper kWrappers[] = {
    {"RegOpenKeyExA", reinterpret_cast<void*>(&CountedRegOpenKeyExA)},
    {"RegCloseKey", reinterpret_cast<void*>(&CountedRegCloseKey)},
    {"FormatMessageA", reinterpret_cast<void*>(&CountedFormatMessageA)},
    {"LocalFree", reinterpret_cast<void*>(&CountedLocalFree)},
};

const IMAGE_IMPORT_DESCRIPTOR* FirstImport(BYTE* base)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    return reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
}

bool ImportsMapi32(BYTE* base)
{
    for (const auto* entry = FirstImport(base); entry != nullptr && entry->Name != 0; ++entry)
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), "MAPI32.DLL") == 0)
            return true;
    return false;
}

// Points the module's imports of the wrapped functions at the wrappers, found by name (imports
// by ordinal are left as they are).
void WrapImports(HMODULE module)
{
    BYTE* base = reinterpret_cast<BYTE*>(module);
    if (!ImportsMapi32(base)) return;
    for (const auto* entry = FirstImport(base); entry->Name != 0; ++entry) {
        if (entry->OriginalFirstThunk == 0) continue; // no names to go by
        const auto* names =
            reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (const Wrapper& wrapper : kWrappers) {
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), wrapper.name) != 0)
                    continue;
                DWORD protection = 0;
                if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                                    &protection))
                    continue;
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(wrapper.counted);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection,
                               &protection);
            }
        }
    }
}

void WrapLoadedModules()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    MODULEENTRY32 module{};
    module.dwSize = sizeof module;
    for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module))
        WrapImports(module.hModule);
    CloseHandle(snapshot);
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    // The modules that import MAPI32 have their imports bound before this runs.
    if (reason == DLL_PROCESS_ATTACH) WrapLoadedModules();
    return TRUE;
}

MAPISIM_EXPORT uint32_t mapisim_open_registry_keys(void)
{
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<uint32_t>(openKeys.size());
}

MAPISIM_EXPORT uint32_t mapisim_live_local_allocations(void)
{
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<uint32_t>(localTexts.size());
}

} // extern "C"
