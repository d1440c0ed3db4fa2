// MAPI memory: MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, FreeProws.
//
// Every block is known by address, so that a free of a chained block or of
// foreign memory is counted rather than corrupting the heap, and so that
// the live count covers chained blocks too.
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "mapisim/core/counters.h"
#include "mapisim/decl/mapi.h"
#include "mapisim/mapisim.h"

namespace {

// Enough for any SPropValue (8) and for anything the C library aligns for.
constexpr std::align_val_t kAlignment{16};

// Fresh memory is not zeroed by MAPI; a fixed pattern makes reliance on it show.
constexpr unsigned char kFreshByte = 0xCD;

struct Block {
    void* root;                 // null for a root block
    std::vector<void*> chained; // blocks of MAPIAllocateMore, for a root
};

std::mutex lock;
std::unordered_map<void*, Block> blocks;
uint32_t allocationCalls = 0;
uint32_t failCountdown = 0; // the call at which it reaches 0 fails
bool failPersistently = false;
bool failingForever = false;

// Under the lock: whether this allocation call is one to fail.
bool FailThisCall()
{
    ++allocationCalls;
    if (failingForever) return true;
    if (failCountdown == 0 || --failCountdown != 0) return false;
    failingForever = failPersistently;
    return true;
}

void* NewBlock(ULONG size)
{
    void* memory = ::operator new(size == 0 ? 1 : size, kAlignment, std::nothrow);
    if (memory != nullptr) std::memset(memory, kFreshByte, size == 0 ? 1 : size);
    return memory;
}

void DeleteBlock(void* memory) { ::operator delete(memory, kAlignment); }

} // namespace

extern "C" {

MAPISIM_API SCODE STDAPICALLTYPE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer)
{
    if (lppBuffer == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lppBuffer = nullptr;

    std::lock_guard<std::mutex> guard(lock);
    if (FailThisCall()) return MAPI_E_NOT_ENOUGH_MEMORY;
    void* memory = NewBlock(cbSize);
    if (memory == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
    try {
        blocks.emplace(memory, Block{nullptr, {}});
    } catch (const std::bad_alloc&) {
        DeleteBlock(memory);
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    *lppBuffer = memory;
    return S_OK;
}

MAPISIM_API SCODE STDAPICALLTYPE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer)
{
    if (lppBuffer == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lppBuffer = nullptr;

    std::lock_guard<std::mutex> guard(lock);
    auto parent = blocks.find(lpObject);
    if (parent == blocks.end()) return MAPI_E_INVALID_PARAMETER;
    // A chained block as lpObject chains to its root, so one free still
    // releases everything.
    void* root = parent->second.root != nullptr ? parent->second.root : lpObject;

    if (FailThisCall()) return MAPI_E_NOT_ENOUGH_MEMORY;
    void* memory = NewBlock(cbSize);
    if (memory == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
    try {
        blocks.at(root).chained.push_back(memory);
        try {
            blocks.emplace(memory, Block{root, {}});
        } catch (const std::bad_alloc&) {
            blocks.at(root).chained.pop_back();
            throw;
        }
    } catch (const std::bad_alloc&) {
        DeleteBlock(memory);
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    *lppBuffer = memory;
    return S_OK;
}

MAPISIM_API ULONG STDAPICALLTYPE MAPIFreeBuffer(LPVOID lpBuffer)
{
    if (lpBuffer == nullptr) return S_OK;

    std::lock_guard<std::mutex> guard(lock);
    auto found = blocks.find(lpBuffer);
    if (found == blocks.end() || found->second.root != nullptr) {
        mapisim::NoteBadFree();
        return S_OK;
    }
    for (void* chained : found->second.chained) {
        blocks.erase(chained);
        DeleteBlock(chained);
    }
    blocks.erase(found);
    DeleteBlock(lpBuffer);
    return S_OK;
}

MAPISIM_API void STDAPICALLTYPE FreeProws(LPSRowSet lpRows)
{
    if (lpRows == nullptr) return;
    for (ULONG row = 0; row < lpRows->cRows; ++row) MAPIFreeBuffer(lpRows->aRow[row].lpProps);
    MAPIFreeBuffer(lpRows);
}

MAPISIM_EXPORT uint32_t mapisim_live_allocations(void)
{
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<uint32_t>(blocks.size());
}

MAPISIM_EXPORT uint32_t mapisim_allocation_calls(void)
{
    std::lock_guard<std::mutex> guard(lock);
    return allocationCalls;
}

MAPISIM_EXPORT void mapisim_fail_allocation(uint32_t nth, int persistent)
{
    std::lock_guard<std::mutex> guard(lock);
    failCountdown = nth;
    failPersistently = nth != 0 && persistent != 0;
    failingForever = false;
}

} // extern "C"
