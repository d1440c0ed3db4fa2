// The registry and file-version controls on Windows, where the library reads
// the real registry and real version resources: the controls write those.
//
// A clear takes back exactly what the controls wrote (the keys they created,
// the values they set in keys that were there before) and never touches the
// machine's own keys; a value the controls overwrote is not restored. Files
// given a version are copies of this DLL with a version resource put in, and
// a clear deletes them.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "mapisim/mapisim.h"

namespace {

struct Written {
    HKEY root;
    std::string key;
    std::string value; // empty with wholeKey: the key and everything below it
    bool wholeKey;
};

std::mutex lock;
std::vector<Written> written;          // in the order written
std::vector<std::string> versionFiles; // files made by mapisim_version_register

HKEY RootKey(mapisim_root root)
{
    switch (root) {
        case MAPISIM_HKCU:
            return HKEY_CURRENT_USER;
        case MAPISIM_HKLM:
            return HKEY_LOCAL_MACHINE;
    }
    return nullptr;
}

bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Opens (creating it and its parents) the key for writing, and remembers the
// first level the call created so that a clear deletes it.
HKEY CreateKey(HKEY root, const std::string& path)
{
    std::string prefix;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            if (!prefix.empty()) prefix += '\\';
            prefix.append(path, start, end - start);
            if (!KeyExists(root, prefix)) {
                written.push_back({root, prefix, "", true});
                break;
            }
        }
        start = end + 1;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

bool CreatedByUs(HKEY root, const std::string& path)
{
    for (const Written& w : written) {
        if (!w.wholeKey || w.root != root) continue;
        if (_strnicmp(path.c_str(), w.key.c_str(), w.key.size()) == 0 &&
            (path.size() == w.key.size() || path[w.key.size()] == '\\'))
            return true;
    }
    return false;
}

int SetValue(mapisim_root root, const char* key, const char* name, uint32_t type, const void* data,
             uint32_t size)
{
    const HKEY rootKey = RootKey(root);
    if (rootKey == nullptr || key == nullptr || (data == nullptr && size != 0)) return -1;
    const std::string valueName = name != nullptr ? name : "";
    std::lock_guard<std::mutex> guard(lock);
    const bool existed = KeyExists(rootKey, key);
    HKEY opened = CreateKey(rootKey, key);
    if (opened == nullptr) return -1;
    const LSTATUS status =
        RegSetValueExA(opened, valueName.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS) return -1;
    if (existed && !CreatedByUs(rootKey, key)) written.push_back({rootKey, key, valueName, false});
    return 0;
}

// A VS_VERSIONINFO block holding only the fixed file information.
std::vector<BYTE> VersionBlock(uint32_t productMs, uint32_t productLs, uint32_t fileMs,
                               uint32_t fileLs)
{
    static const wchar_t kKey[] = L"VS_VERSION_INFO";
    const std::size_t header = 3 * sizeof(WORD) + sizeof kKey;
    const std::size_t fixedAt = (header + 3) & ~std::size_t{3};
    std::vector<BYTE> block(fixedAt + sizeof(VS_FIXEDFILEINFO), 0);
    const WORD sizes[3] = {static_cast<WORD>(block.size()),
                           static_cast<WORD>(sizeof(VS_FIXEDFILEINFO)), 0};
    std::memcpy(block.data(), sizes, sizeof sizes);
    std::memcpy(block.data() + sizeof sizes, kKey, sizeof kKey);
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileVersionMS = fileMs;
    fixed.dwFileVersionLS = fileLs;
    fixed.dwProductVersionMS = productMs;
    fixed.dwProductVersionLS = productLs;
    fixed.dwFileOS = VOS_NT_WINDOWS32;
    fixed.dwFileType = VFT_APP;
    std::memcpy(block.data() + fixedAt, &fixed, sizeof fixed);
    return block;
}

void CreateParents(const std::string& path)
{
    for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
}

std::string ThisModulePath()
{
    HMODULE self = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&ThisModulePath), &self);
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(self, path, sizeof path);
    return std::string(path, length);
}

} // namespace

extern "C" {

MAPISIM_EXPORT int mapisim_registry_set_value(mapisim_root root, const char* key, const char* name,
                                              uint32_t type, const void* data, uint32_t size)
{
    return SetValue(root, key, name, type, data, size);
}

MAPISIM_EXPORT int mapisim_registry_create_key(mapisim_root root, const char* key)
{
    const HKEY rootKey = RootKey(root);
    if (rootKey == nullptr || key == nullptr) return -1;
    std::lock_guard<std::mutex> guard(lock);
    HKEY opened = CreateKey(rootKey, key);
    if (opened == nullptr) return -1;
    RegCloseKey(opened);
    return 0;
}

MAPISIM_EXPORT int mapisim_registry_delete_value(mapisim_root root, const char* key,
                                                 const char* name)
{
    const HKEY rootKey = RootKey(root);
    if (rootKey == nullptr || key == nullptr) return -1;
    return RegDeleteKeyValueA(rootKey, key, name != nullptr ? name : "") == ERROR_SUCCESS ? 0 : -1;
}

MAPISIM_EXPORT int mapisim_registry_delete_key(mapisim_root root, const char* key)
{
    const HKEY rootKey = RootKey(root);
    // The roots themselves are the machine's: only keys below them go.
    if (rootKey == nullptr || key == nullptr || *key == '\0') return -1;
    return RegDeleteTreeA(rootKey, key) == ERROR_SUCCESS ? 0 : -1;
}

MAPISIM_EXPORT void mapisim_registry_clear(void)
{
    std::lock_guard<std::mutex> guard(lock);
    for (auto w = written.rbegin(); w != written.rend(); ++w) {
        if (w->wholeKey) {
            RegDeleteTreeA(w->root, w->key.c_str());
        } else {
            RegDeleteKeyValueA(w->root, w->key.c_str(), w->value.c_str());
        }
    }
    written.clear();
}

MAPISIM_EXPORT int mapisim_version_register(const char* path, uint32_t product_ms,
                                            uint32_t product_ls, uint32_t file_ms, uint32_t file_ls)
{
    if (path == nullptr || *path == '\0') return -1;
    std::lock_guard<std::mutex> guard(lock);
    CreateParents(path);
    if (!CopyFileA(ThisModulePath().c_str(), path, FALSE)) return -1;
    versionFiles.push_back(path);
    const std::vector<BYTE> block = VersionBlock(product_ms, product_ls, file_ms, file_ls);
    HANDLE update = BeginUpdateResourceA(path, FALSE);
    if (update == nullptr) return -1;
    const BOOL put =
        UpdateResourceA(update, MAKEINTRESOURCEA(16) /* RT_VERSION */, MAKEINTRESOURCEA(1),
                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                        const_cast<BYTE*>(block.data()), static_cast<DWORD>(block.size()));
    return EndUpdateResourceA(update, !put) && put ? 0 : -1;
}

MAPISIM_EXPORT int mapisim_version_unregister(const char* path)
{
    if (path == nullptr) return -1;
    std::lock_guard<std::mutex> guard(lock);
    for (auto file = versionFiles.begin(); file != versionFiles.end(); ++file) {
        if (_stricmp(file->c_str(), path) == 0) {
            DeleteFileA(file->c_str());
            versionFiles.erase(file);
            return 0;
        }
    }
    return -1;
}

MAPISIM_EXPORT void mapisim_version_clear(void)
{
    std::lock_guard<std::mutex> guard(lock);
    for (const std::string& file : versionFiles) DeleteFileA(file.c_str());
    versionFiles.clear();
}

MAPISIM_EXPORT void mapisim_reset_platform(void)
{
    mapisim_registry_clear();
    mapisim_version_clear();
}

} // extern "C"
