// Live-object and misuse counters, the tombstones of released objects, and
// the stand-in lock.
#include "mapisim/core/counters.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>

#include "mapisim/core/object_count.h"
#include "mapisim/core/small_mutex.h"
#include "mapisim/core/stand_in_lock.h"
#include "mapisim/mapisim.h"

namespace mapisim {
namespace {

std::atomic<uint32_t> liveObjects{0};
std::atomic<uint32_t> deadCalls{0};
std::atomic<uint32_t> badFrees{0};

// What stays in a released object's storage: any IUnknown call through a
// stale pointer lands here (every interface starts with IUnknown's slots).
struct Tombstone final : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        NoteDeadCall();
        if (object != nullptr) *object = nullptr;
        return E_UNEXPECTED;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        NoteDeadCall();
        return 0;
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        NoteDeadCall();
        return 0;
    }
};
static_assert(sizeof(Tombstone) <= sizeof(ComObject<IUnknown>),
              "a tombstone must fit in the smallest object");

// The most recent graves; the oldest one's storage is freed to make room.
constexpr std::size_t kGraves = 4096;
SmallMutex graveLock;
std::array<Tombstone*, kGraves> graves{};
std::size_t nextGrave = 0;

} // namespace

void NoteObjectCreated() { liveObjects.fetch_add(1); }
void NoteObjectDestroyed() { liveObjects.fetch_sub(1); }
void NoteDeadCall() { deadCalls.fetch_add(1); }
void NoteBadFree() { badFrees.fetch_add(1); }

void Bury(void* storage)
{
    Tombstone* grave = new (storage) Tombstone;
    Tombstone* evicted = nullptr;
    {
        std::lock_guard<SmallMutex> lock(graveLock);
        evicted = graves[nextGrave];
        graves[nextGrave] = grave;
        nextGrave = (nextGrave + 1) % kGraves;
    }
    if (evicted != nullptr) {
        evicted->~Tombstone();
        ::operator delete(static_cast<void*>(evicted));
    }
}

namespace {

// A plain mutex and this thread's depth rather than std::recursive_mutex:
// only the outermost lock of a thread touches the mutex, and a nested one
// (a call made inside a call) costs an increment.
SmallMutex standInMutex;

// How deeply this thread holds the stand-in lock; more than 0 only on the
// thread that holds it.
thread_local unsigned stand_in_depth = 0;

} // namespace

void LockStandIn()
{
    if (stand_in_depth++ == 0) standInMutex.lock();
}

void UnlockStandIn()
{
    if (--stand_in_depth == 0) standInMutex.unlock();
}

StandInRelease::StandInRelease() : depth_(stand_in_depth)
{
    if (depth_ == 0) return;
    stand_in_depth = 0;
    standInMutex.unlock();
}

StandInRelease::~StandInRelease()
{
    if (depth_ == 0) return;
    standInMutex.lock();
    stand_in_depth = depth_;
}

} // namespace mapisim

extern "C" {

MAPISIM_EXPORT uint32_t mapisim_live_objects(void) { return mapisim::liveObjects.load(); }

MAPISIM_EXPORT uint32_t mapisim_dead_calls(void) { return mapisim::deadCalls.load(); }

MAPISIM_EXPORT uint32_t mapisim_bad_frees(void) { return mapisim::badFrees.load(); }

MAPISIM_EXPORT void mapisim_reset_misuse_counters(void)
{
    mapisim::deadCalls.store(0);
    mapisim::badFrees.store(0);
}

} // extern "C"
