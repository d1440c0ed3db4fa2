// Version resources of registered files: GetFileVersionInfoSizeA,
// GetFileVersionInfoA and VerQueryValueA over the mapisim_version_* table.
//
// The blob is laid out as a Windows VS_VERSIONINFO root block holding only
// the fixed part: WORD wLength, WORD wValueLength, WORD wType, the UTF-16
// key "VS_VERSION_INFO", padding to 32 bits, then VS_FIXEDFILEINFO.
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "mapisim/decl/win32.h"
#include "mapisim/mapisim.h"

namespace {

struct Versions {
    uint32_t productMs, productLs, fileMs, fileLs;
};

constexpr char kKey[] = "VS_VERSION_INFO";
constexpr std::size_t kKeyOffset = 6;
constexpr std::size_t kFixedOffset = 40; // 6 + 16 UTF-16 units, padded to 4
constexpr std::size_t kBlobSize = kFixedOffset + sizeof(VS_FIXEDFILEINFO);
static_assert(kKeyOffset + sizeof kKey * 2 <= kFixedOffset);
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

constexpr DWORD kSignature = 0xFEEF04BD;
constexpr DWORD kStrucVersion = 0x00010000;
constexpr DWORD kFileFlagsMask = 0x3F; // VS_FFI_FILEFLAGSMASK
constexpr DWORD kFileOs = 0x00040004;  // VOS_NT_WINDOWS32
constexpr DWORD kFileType = 1;         // VFT_APP

std::mutex lock;
std::map<std::string, Versions> registered; // by folded path

std::string FoldedPath(const char* path)
{
    std::string folded(path);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

bool Find(LPCSTR path, Versions* versions)
{
    if (path == nullptr) return false;
    std::lock_guard<std::mutex> guard(lock);
    auto found = registered.find(FoldedPath(path));
    if (found == registered.end()) return false;
    *versions = found->second;
    return true;
}

void PutWord(unsigned char* at, WORD value) { std::memcpy(at, &value, sizeof value); }

WORD GetWord(const unsigned char* at)
{
    WORD value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void MakeBlob(const Versions& versions, unsigned char (&blob)[kBlobSize])
{
    std::memset(blob, 0, sizeof blob);
    PutWord(blob, static_cast<WORD>(kBlobSize));
    PutWord(blob + 2, static_cast<WORD>(sizeof(VS_FIXEDFILEINFO)));
    PutWord(blob + 4, 0); // binary value
    for (std::size_t i = 0; i < sizeof kKey; ++i)
        PutWord(blob + kKeyOffset + 2 * i, static_cast<WORD>(kKey[i]));

    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = kSignature;
    fixed.dwStrucVersion = kStrucVersion;
    fixed.dwFileVersionMS = versions.fileMs;
    fixed.dwFileVersionLS = versions.fileLs;
    fixed.dwProductVersionMS = versions.productMs;
    fixed.dwProductVersionLS = versions.productLs;
    fixed.dwFileFlagsMask = kFileFlagsMask;
    fixed.dwFileOS = kFileOs;
    fixed.dwFileType = kFileType;
    std::memcpy(blob + kFixedOffset, &fixed, sizeof fixed);
}

bool IsBlob(const unsigned char* block)
{
    if (GetWord(block) < kBlobSize || GetWord(block + 2) != sizeof(VS_FIXEDFILEINFO)) return false;
    for (std::size_t i = 0; i < sizeof kKey; ++i)
        if (GetWord(block + kKeyOffset + 2 * i) != static_cast<WORD>(kKey[i])) return false;
    DWORD signature;
    std::memcpy(&signature, block + kFixedOffset, sizeof signature);
    return signature == kSignature;
}

} // namespace

extern "C" {

MAPISIM_API DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle)
{
    if (lpdwHandle != nullptr) *lpdwHandle = 0;
    Versions versions;
    return Find(lptstrFilename, &versions) ? static_cast<DWORD>(kBlobSize) : 0;
}

MAPISIM_API BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen,
                                            LPVOID lpData)
{
    (void)dwHandle; // ignored, as on Windows
    Versions versions;
    if (lpData == nullptr || !Find(lptstrFilename, &versions)) return FALSE;
    unsigned char blob[kBlobSize];
    MakeBlob(versions, blob);
    // A short buffer gets the blob cut to its size, as on Windows; the length
    // word then says so, so that VerQueryValueA finds nothing beyond it.
    const std::size_t copied = dwLen < kBlobSize ? dwLen : kBlobSize;
    if (copied < kBlobSize && copied >= 2) PutWord(blob, static_cast<WORD>(copied));
    std::memcpy(lpData, blob, copied);
    return TRUE;
}

MAPISIM_API BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer,
                                       UINT* puLen)
{
    if (pBlock == nullptr || lpSubBlock == nullptr || lplpBuffer == nullptr || puLen == nullptr)
        return FALSE;
    // Only the root block exists: no string tables and no translations.
    if (std::strcmp(lpSubBlock, "\\") != 0) return FALSE;
    const auto* block = static_cast<const unsigned char*>(pBlock);
    if (!IsBlob(block)) return FALSE;
    *lplpBuffer = const_cast<unsigned char*>(block + kFixedOffset);
    *puLen = static_cast<UINT>(sizeof(VS_FIXEDFILEINFO));
    return TRUE;
}

MAPISIM_EXPORT int mapisim_version_register(const char* path, uint32_t product_ms,
                                            uint32_t product_ls, uint32_t file_ms, uint32_t file_ls)
{
    if (path == nullptr || *path == '\0') return -1;
    std::lock_guard<std::mutex> guard(lock);
    registered[FoldedPath(path)] = Versions{product_ms, product_ls, file_ms, file_ls};
    return 0;
}

MAPISIM_EXPORT int mapisim_version_unregister(const char* path)
{
    if (path == nullptr) return -1;
    std::lock_guard<std::mutex> guard(lock);
    return registered.erase(FoldedPath(path)) != 0 ? 0 : -1;
}

MAPISIM_EXPORT void mapisim_version_clear(void)
{
    std::lock_guard<std::mutex> guard(lock);
    registered.clear();
}

} // extern "C"
