// The in-process registry: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, read
// through RegOpenKeyExA / RegEnumValueA / RegCloseKey, filled by the
// mapisim_registry_* controls.
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "mapisim/decl/win32.h"
#include "mapisim/mapisim.h"

namespace {

struct Value {
    std::string name; // as first set
    DWORD type;
    std::vector<BYTE> data;
};

struct Key {
    std::vector<Value> values; // in the order first set
    bool deleted = false;
};

// An open handle shares the key, so it outlives a delete of that key; as on
// Windows, what it is then used for fails with ERROR_KEY_DELETED.
struct OpenKey {
    int root;
    std::string path; // folded
    std::shared_ptr<Key> key;
};

constexpr int kRoots = 2;

std::mutex lock;
// Per root, keys by folded path; "" is the root key itself.
std::map<std::string, std::shared_ptr<Key>> keys[kRoots];
std::unordered_set<OpenKey*> handles;

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

// Folded path with empty components dropped: "A\\B\\", "A\\\\B" and "a\\b" are
// one key.
std::string NormalPath(std::string_view path)
{
    std::string normal;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) {
            if (!normal.empty()) normal += '\\';
            for (std::size_t i = start; i < end; ++i) normal += Fold(path[i]);
        }
        start = end + 1;
    }
    return normal;
}

std::string Join(const std::string& base, const std::string& sub)
{
    if (base.empty()) return sub;
    if (sub.empty()) return base;
    return base + '\\' + sub;
}

int RootIndex(mapisim_root root)
{
    switch (root) {
        case MAPISIM_HKCU:
            return 0;
        case MAPISIM_HKLM:
            return 1;
    }
    return -1;
}

int PredefinedIndex(HKEY key)
{
    if (key == HKEY_CURRENT_USER) return 0;
    if (key == HKEY_LOCAL_MACHINE) return 1;
    return -1;
}

void EnsureRoots()
{
    for (auto& root : keys)
        if (root.find("") == root.end()) root.emplace("", std::make_shared<Key>());
}

// Under the lock: removes the keys in [first, last) of a root, marking each
// deleted for the handles still open on it. The root key itself stays and
// only loses its values.
void DropKeys(int root, std::map<std::string, std::shared_ptr<Key>>::iterator first,
              std::map<std::string, std::shared_ptr<Key>>::iterator last)
{
    while (first != last) {
        if (first->first.empty()) {
            first->second->values.clear();
            ++first;
            continue;
        }
        first->second->deleted = true;
        first = keys[root].erase(first);
    }
}

// Under the lock: the key and all its parents, created as needed.
Key& CreateKey(int root, const std::string& path)
{
    EnsureRoots();
    std::size_t end = 0;
    while (end != std::string::npos) {
        end = path.find('\\', end + 1);
        std::string prefix = path.substr(0, end);
        if (keys[root].find(prefix) == keys[root].end())
            keys[root].emplace(prefix, std::make_shared<Key>());
    }
    return *keys[root].at(path);
}

// Under the lock: the key an HKEY names, or null when the handle is unknown.
std::shared_ptr<Key> KeyOf(HKEY handle, int* root, std::string* path)
{
    EnsureRoots();
    const int predefined = PredefinedIndex(handle);
    if (predefined >= 0) {
        *root = predefined;
        path->clear();
        return keys[predefined].at("");
    }
    auto* open = reinterpret_cast<OpenKey*>(handle);
    if (handles.find(open) == handles.end()) return nullptr;
    *root = open->root;
    *path = open->path;
    return open->key;
}

int SetValue(mapisim_root root, const char* key, const char* name, DWORD type, const void* data,
             uint32_t size)
{
    const int index = RootIndex(root);
    if (index < 0 || key == nullptr || (data == nullptr && size != 0)) return -1;
    const std::string valueName = name != nullptr ? name : "";
    const auto* bytes = static_cast<const BYTE*>(data);

    std::lock_guard<std::mutex> guard(lock);
    Key& target = CreateKey(index, NormalPath(key));
    for (Value& value : target.values) {
        if (SameName(value.name, valueName)) {
            value.type = type;
            value.data.assign(bytes, bytes + size);
            return 0;
        }
    }
    target.values.push_back(Value{valueName, type, std::vector<BYTE>(bytes, bytes + size)});
    return 0;
}

} // namespace

extern "C" {

MAPISIM_API LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions,
                                         REGSAM samDesired, PHKEY phkResult)
{
    (void)ulOptions;
    (void)samDesired; // the stand-in grants every access
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;

    std::lock_guard<std::mutex> guard(lock);
    int root = 0;
    std::string base;
    const std::shared_ptr<Key> parent = KeyOf(hKey, &root, &base);
    if (parent == nullptr) return ERROR_INVALID_HANDLE;
    if (parent->deleted) return ERROR_KEY_DELETED;
    if (lpSubKey != nullptr && lpSubKey[0] == '\\') return ERROR_BAD_PATHNAME;
    const std::string path = Join(base, NormalPath(lpSubKey != nullptr ? lpSubKey : ""));
    auto found = keys[root].find(path);
    if (found == keys[root].end()) return ERROR_FILE_NOT_FOUND;

    auto open = std::make_unique<OpenKey>(OpenKey{root, path, found->second});
    handles.insert(open.get());
    *phkResult = reinterpret_cast<HKEY>(open.release());
    return ERROR_SUCCESS;
}

MAPISIM_API LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                         LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                         LPBYTE lpData, LPDWORD lpcbData)
{
    std::lock_guard<std::mutex> guard(lock);
    int root = 0;
    std::string path;
    const std::shared_ptr<Key> key = KeyOf(hKey, &root, &path);
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (key->deleted) return ERROR_KEY_DELETED;
    if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
        (lpData != nullptr && lpcbData == nullptr))
        return ERROR_INVALID_PARAMETER;
    if (dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;

    const Value& value = key->values[dwIndex];
    const DWORD size = static_cast<DWORD>(value.data.size());
    // The name capacity counts the terminator. When the name or data does
    // not fit, neither is written and the name count is left as it was.
    if (value.name.size() + 1 > *lpcchValueName) return ERROR_MORE_DATA;
    if (lpType != nullptr) *lpType = value.type;
    if (lpData != nullptr && size > *lpcbData) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(value.name.size());
    if (lpData != nullptr && size != 0) std::memcpy(lpData, value.data.data(), size);
    if (lpcbData != nullptr) *lpcbData = size;
    return ERROR_SUCCESS;
}

MAPISIM_API LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    if (PredefinedIndex(hKey) >= 0) return ERROR_SUCCESS;
    std::lock_guard<std::mutex> guard(lock);
    auto* open = reinterpret_cast<OpenKey*>(hKey);
    if (handles.erase(open) == 0) return ERROR_INVALID_HANDLE;
    delete open;
    return ERROR_SUCCESS;
}

MAPISIM_EXPORT int mapisim_registry_set_value(mapisim_root root, const char* key, const char* name,
                                              uint32_t type, const void* data, uint32_t size)
{
    return SetValue(root, key, name, type, data, size);
}

MAPISIM_EXPORT int mapisim_registry_create_key(mapisim_root root, const char* key)
{
    const int index = RootIndex(root);
    if (index < 0 || key == nullptr) return -1;
    std::lock_guard<std::mutex> guard(lock);
    CreateKey(index, NormalPath(key));
    return 0;
}

MAPISIM_EXPORT int mapisim_registry_delete_value(mapisim_root root, const char* key,
                                                 const char* name)
{
    const int index = RootIndex(root);
    if (index < 0 || key == nullptr) return -1;
    const std::string valueName = name != nullptr ? name : "";
    std::lock_guard<std::mutex> guard(lock);
    EnsureRoots();
    auto found = keys[index].find(NormalPath(key));
    if (found == keys[index].end()) return -1;
    auto& values = found->second->values;
    for (auto value = values.begin(); value != values.end(); ++value) {
        if (SameName(value->name, valueName)) {
            values.erase(value);
            return 0;
        }
    }
    return -1;
}

MAPISIM_EXPORT int mapisim_registry_delete_key(mapisim_root root, const char* key)
{
    const int index = RootIndex(root);
    if (index < 0 || key == nullptr) return -1;
    const std::string path = NormalPath(key);
    std::lock_guard<std::mutex> guard(lock);
    EnsureRoots();
    if (path.empty()) { // the root stays; it loses its values and subkeys
        DropKeys(index, keys[index].begin(), keys[index].end());
        return 0;
    }
    auto self = keys[index].find(path);
    if (self == keys[index].end()) return -1;
    DropKeys(index, self, std::next(self));
    // Subkeys sort together right after their parent's path and backslash.
    const std::string below = path + '\\';
    auto first = keys[index].lower_bound(below);
    auto last = first;
    while (last != keys[index].end() && last->first.compare(0, below.size(), below) == 0) ++last;
    DropKeys(index, first, last);
    return 0;
}

MAPISIM_EXPORT void mapisim_registry_clear(void)
{
    std::lock_guard<std::mutex> guard(lock);
    EnsureRoots();
    for (int root = 0; root < kRoots; ++root) DropKeys(root, keys[root].begin(), keys[root].end());
}

MAPISIM_EXPORT uint32_t mapisim_open_registry_keys(void)
{
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<uint32_t>(handles.size());
}

} // extern "C"
