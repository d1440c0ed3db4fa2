// MAPI memory: MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, FreeProws.
//
// Every block is known by address (never by reading memory next to a
// pointer), so that a free of a chained block or of foreign memory is
// counted rather than corrupting the heap, and so that the live count
// covers chained blocks too.
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "mapisim/core/counters.h"
#include "mapisim/core/small_mutex.h"
#include "mapisim/decl/mapi.h"
#include "mapisim/mapisim.h"

namespace {

// Enough for any SPropValue (8) and for anything the C library aligns for.
constexpr std::align_val_t kAlignment{16};

// Fresh memory is not zeroed by MAPI; a fixed pattern makes reliance on it show.
constexpr unsigned char kFreshByte = 0xCD;

// Every live block by address, in an open-addressing table: finding,
// adding or removing a block allocates nothing (the table only grows). A
// root block links to its first chained block, and each chained block to
// the next, by address.
class BlockTable {
public:
    struct Entry {
        void* block = nullptr;
        void* root = nullptr; // null for a root block
        void* link = nullptr; // the next block chained to the same root
    };

    Entry* find(const void* block)
    {
        if (slots_.empty()) return nullptr;
        for (std::size_t i = home(block);; i = next(i)) {
            if (slots_[i].block == block) return &slots_[i];
            if (slots_[i].block == nullptr) return nullptr;
        }
    }

    // Throws std::bad_alloc when the table cannot grow (nothing changes).
    void add(const Entry& entry)
    {
        if ((count_ + 1) * 2 > slots_.size()) grow();
        place(entry);
        ++count_;
    }

    // Invalidates every Entry pointer.
    void remove(Entry* entry)
    {
        std::size_t hole = static_cast<std::size_t>(entry - slots_.data());
        slots_[hole] = Entry{};
        // Later entries of the same run move back into the hole when their
        // home is not between it and where they are.
        for (std::size_t i = next(hole); slots_[i].block != nullptr; i = next(i)) {
            const std::size_t at = home(slots_[i].block);
            const bool stays = hole < i ? (hole < at && at <= i) : (hole < at || at <= i);
            if (stays) continue;
            slots_[hole] = slots_[i];
            slots_[i] = Entry{};
            hole = i;
        }
        --count_;
    }

    std::size_t size() const { return count_; }

private:
    std::size_t home(const void* block) const
    {
        // Blocks are 16-aligned: the bits above those, mixed.
        const std::uint64_t x = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(block));
        const std::uint64_t h = (x >> 4) * 0x9E3779B97F4A7C15ull;
        return static_cast<std::size_t>(h ^ (h >> 32)) & (slots_.size() - 1);
    }
    std::size_t next(std::size_t i) const { return (i + 1) & (slots_.size() - 1); }

    void place(const Entry& entry)
    {
        std::size_t i = home(entry.block);
        while (slots_[i].block != nullptr) i = next(i);
        slots_[i] = entry;
    }

    void grow()
    {
        std::vector<Entry> old(slots_.empty() ? 64 : slots_.size() * 2);
        old.swap(slots_);
        for (const Entry& entry : old)
            if (entry.block != nullptr) place(entry);
    }

    std::vector<Entry> slots_; // a power of two in size, at most half full
    std::size_t count_ = 0;
};

mapisim::SmallMutex lock;
BlockTable blocks;
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

// Where plain new already aligns that far (x86 and x86-64 with glibc), the
// aligned form, which costs far more per call, is not needed. Elsewhere the
// compiler's claim is not enough: mingw-w64's i686 GCC claims 16 bytes while
// the C runtime's malloc gives 8.
#if defined(__GLIBC__)
constexpr bool kPlainNewAligns =
    static_cast<std::size_t>(kAlignment) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__;
#else
constexpr bool kPlainNewAligns = false;
#endif

void* NewBlock(ULONG size)
{
    const std::size_t bytes = size == 0 ? 1 : size;
    void* memory = kPlainNewAligns ? ::operator new(bytes, std::nothrow)
                                   : ::operator new(bytes, kAlignment, std::nothrow);
    if (memory != nullptr) std::memset(memory, kFreshByte, bytes);
    return memory;
}

void DeleteBlock(void* memory)
{
    if constexpr (kPlainNewAligns)
        ::operator delete(memory);
    else
        ::operator delete(memory, kAlignment);
}

} // namespace

extern "C" {

MAPISIM_API SCODE STDAPICALLTYPE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer)
{
    if (lppBuffer == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lppBuffer = nullptr;

    std::lock_guard<mapisim::SmallMutex> guard(lock);
    if (FailThisCall()) return MAPI_E_NOT_ENOUGH_MEMORY;
    void* memory = NewBlock(cbSize);
    if (memory == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
    try {
        blocks.add({memory, nullptr, nullptr});
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

    std::lock_guard<mapisim::SmallMutex> guard(lock);
    const BlockTable::Entry* parent = blocks.find(lpObject);
    if (parent == nullptr) return MAPI_E_INVALID_PARAMETER;
    // A chained block as lpObject chains to its root, so one free still
    // releases everything.
    void* root = parent->root != nullptr ? parent->root : lpObject;

    if (FailThisCall()) return MAPI_E_NOT_ENOUGH_MEMORY;
    void* memory = NewBlock(cbSize);
    if (memory == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
    try {
        blocks.add({memory, root, blocks.find(root)->link});
    } catch (const std::bad_alloc&) {
        DeleteBlock(memory);
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    blocks.find(root)->link = memory; // the new block heads the root's chain
    *lppBuffer = memory;
    return S_OK;
}

MAPISIM_API ULONG STDAPICALLTYPE MAPIFreeBuffer(LPVOID lpBuffer)
{
    if (lpBuffer == nullptr) return S_OK;

    std::lock_guard<mapisim::SmallMutex> guard(lock);
    BlockTable::Entry* found = blocks.find(lpBuffer);
    if (found == nullptr || found->root != nullptr) {
        mapisim::NoteBadFree();
        return S_OK;
    }
    void* chained = found->link;
    blocks.remove(found);
    DeleteBlock(lpBuffer);
    while (chained != nullptr) {
        BlockTable::Entry* entry = blocks.find(chained);
        void* following = entry->link;
        blocks.remove(entry);
        DeleteBlock(chained);
        chained = following;
    }
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
    std::lock_guard<mapisim::SmallMutex> guard(lock);
    return static_cast<uint32_t>(blocks.size());
}

MAPISIM_EXPORT uint32_t mapisim_allocation_calls(void)
{
    std::lock_guard<mapisim::SmallMutex> guard(lock);
    return allocationCalls;
}

MAPISIM_EXPORT void mapisim_fail_allocation(uint32_t nth, int persistent)
{
    std::lock_guard<mapisim::SmallMutex> guard(lock);
    failCountdown = nth;
    failPersistently = nth != 0 && persistent != 0;
    failingForever = false;
}

} // extern "C"
