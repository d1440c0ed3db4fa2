// The typed registry controls, the same on every platform: each writes the
// value's registry form through mapisim_registry_set_value, which the
// stand-in's own registry (win32/) or the real one (windows/) implements.
#include <cstdint>
#include <cstring>

#include "mapisim/decl/win32.h"
#include "mapisim/mapisim.h"

extern "C" {

MAPISIM_EXPORT int mapisim_registry_set_string(mapisim_root root, const char* key, const char* name,
                                               const char* value)
{
    if (value == nullptr) return -1;
    return mapisim_registry_set_value(root, key, name, REG_SZ, value,
                                      static_cast<uint32_t>(std::strlen(value) + 1));
}

MAPISIM_EXPORT int mapisim_registry_set_dword(mapisim_root root, const char* key, const char* name,
                                              uint32_t value)
{
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return mapisim_registry_set_value(root, key, name, REG_DWORD, bytes, sizeof bytes);
}

MAPISIM_EXPORT int mapisim_registry_set_binary(mapisim_root root, const char* key, const char* name,
                                               const void* data, uint32_t size)
{
    return mapisim_registry_set_value(root, key, name, REG_BINARY, data, size);
}

} // extern "C"
