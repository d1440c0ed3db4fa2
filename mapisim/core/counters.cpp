// Live-object and misuse counters, the tombstones of released objects, and
// the stand-in lock.
#include "mapisim/core/counters.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>

#include "mapisim/core/object_count.h"
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
std::mutex graveLock;
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
        std::lock_guard<std::mutex> lock(graveLock);
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

std::recursive_mutex& stand_in_mutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

// How deeply this thread holds the stand-in lock, for StandInRelease.
thread_local unsigned stand_in_depth = 0;

} // namespace

void LockStandIn()
{
    stand_in_mutex().lock();
    ++stand_in_depth;
}

void UnlockStandIn()
{
    --stand_in_depth;
    stand_in_mutex().unlock();
}

StandInRelease::StandInRelease() : depth_(stand_in_depth)
{
    for (unsigned i = 0; i < depth_; ++i) UnlockStandIn();
}

StandInRelease::~StandInRelease()
{
    for (unsigned i = 0; i < depth_; ++i) LockStandIn();
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
