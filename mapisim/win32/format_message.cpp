// FormatMessageA from the system's message table, and LocalFree for the
// buffers it allocates.
//
// The texts are Windows' English ones as Microsoft documents them, each
// ending in "\r\n" as the system table gives them. MAPI's own results
// (facility 4) have none, as on Windows. Messages with inserts (%1) are
// left out: without arguments Windows cannot format them either.
#include <cstdint>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>
#include <unordered_set>

#include "mapisim/core/counters.h"
#include "mapisim/decl/win32.h"
#include "mapisim/mapisim.h"

namespace {

struct Message {
    DWORD id;
    const char* text;
};

// Win32 error codes; FACILITY_WIN32 HRESULTs (0x8007xxxx) use these too.
// ERROR_OUTOFMEMORY: Windows 10 and later word it "Not enough memory
// resources are available to complete this operation."; the documented
// (and older) text is kept here.
constexpr Message kWin32Messages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough storage is available to complete this operation.\r\n"},
    {50, "The request is not supported.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {1813, "The specified resource type cannot be found in the image file.\r\n"},
};

// HRESULTs of other facilities: the generic COM results (no final stop,
// as the system table has them) and structured storage.
constexpr Message kResultMessages[] = {
    {0x80004001, "Not implemented\r\n"},
    {0x80004002, "No such interface supported\r\n"},
    {0x80004003, "Invalid pointer\r\n"},
    {0x80004004, "Operation aborted\r\n"},
    {0x80004005, "Unspecified error\r\n"},
    {0x8000FFFF, "Catastrophic failure\r\n"},
    {0x8000000A, "The data necessary to complete this operation is not yet available.\r\n"},
    {0x80030001, "Unable to perform requested operation.\r\n"},
    {0x80030004, "There are insufficient resources to open another file.\r\n"},
    {0x80030005, "Access Denied.\r\n"},
    {0x80030006, "Attempted an operation on an invalid object.\r\n"},
    {0x80030008, "There is insufficient memory available to complete operation.\r\n"},
    {0x80030009, "Invalid pointer error.\r\n"},
    {0x80030012, "There are no more entries to return.\r\n"},
    {0x80030013, "Disk is write-protected.\r\n"},
    {0x80030019, "An error occurred during a seek operation.\r\n"},
    {0x8003001D, "A disk error occurred during a write operation.\r\n"},
    {0x8003001E, "A disk error occurred during a read operation.\r\n"},
    {0x80030020, "A share violation has occurred.\r\n"},
    {0x80030021, "A lock violation has occurred.\r\n"},
    {0x80030057, "Invalid parameter error.\r\n"},
    {0x80030070, "There is insufficient disk space to complete operation.\r\n"},
    {0x800300FF, "Invalid flag error.\r\n"},
    {0x80030102, "Attempted to use an object that has ceased to exist.\r\n"},
};

constexpr DWORD kFacilityWin32Errors = 0x80070000;
constexpr WORD kLangEnglish = 0x09;

const char* Lookup(const Message* table, std::size_t count, DWORD id)
{
    for (std::size_t i = 0; i < count; ++i)
        if (table[i].id == id) return table[i].text;
    return nullptr;
}

const char* SystemText(DWORD id)
{
    if ((id & 0xFFFF0000) == kFacilityWin32Errors)
        return Lookup(kWin32Messages, std::size(kWin32Messages), id & 0xFFFF);
    if (id <= 0xFFFF) return Lookup(kWin32Messages, std::size(kWin32Messages), id);
    return Lookup(kResultMessages, std::size(kResultMessages), id);
}

std::mutex lock;
std::unordered_set<void*> localBlocks;

char* LocalAllocText(std::size_t size)
{
    char* memory = new (std::nothrow) char[size];
    if (memory == nullptr) return nullptr;
    try {
        std::lock_guard<std::mutex> guard(lock);
        localBlocks.insert(memory);
    } catch (const std::bad_alloc&) {
        delete[] memory;
        return nullptr;
    }
    return memory;
}

} // namespace

extern "C" {

MAPISIM_API DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                        DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                                        void* Arguments)
{
    (void)lpSource;  // no module tables: only the system's
    (void)Arguments; // no text here has inserts
    const bool allocate = (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if (allocate && lpBuffer != nullptr) *reinterpret_cast<LPSTR*>(lpBuffer) = nullptr;
    if (lpBuffer == nullptr || (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ||
        (dwFlags & FORMAT_MESSAGE_FROM_STRING) != 0)
        return 0;
    // Neutral, user/system default and English find the English table.
    const WORD primary = static_cast<WORD>(dwLanguageId & 0x3FF);
    if (primary != LANG_NEUTRAL && primary != kLangEnglish) return 0;

    const char* text = SystemText(dwMessageId);
    if (text == nullptr) return 0;
    const std::size_t length = std::strlen(text);

    if (allocate) {
        const std::size_t size = length + 1 > nSize ? length + 1 : nSize;
        char* buffer = LocalAllocText(size);
        if (buffer == nullptr) return 0;
        std::memcpy(buffer, text, length + 1);
        *reinterpret_cast<LPSTR*>(lpBuffer) = buffer;
    } else {
        if (length + 1 > nSize) return 0;
        std::memcpy(lpBuffer, text, length + 1);
    }
    return static_cast<DWORD>(length);
}

MAPISIM_API HLOCAL WINAPI LocalFree(HLOCAL hMem)
{
    if (hMem == nullptr) return nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (localBlocks.erase(hMem) == 0) {
            mapisim::NoteBadFree();
            return hMem; // Windows' failure result: the handle itself
        }
    }
    delete[] static_cast<char*>(hMem);
    return nullptr;
}

MAPISIM_EXPORT uint32_t mapisim_live_local_allocations(void)
{
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<uint32_t>(localBlocks.size());
}

} // extern "C"
