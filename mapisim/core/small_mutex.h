// A mutex that costs one atomic operation to lock and one to unlock when
// no other thread holds it, for the locks every stand-in call takes (the
// stand-in lock, MAPI memory, the tombstones): std::mutex spends several
// times that in the C library's general path. Waiters sleep on the atomic
// (a futex) rather than spin.
//
// Only where atomic waits are futexes. Elsewhere (mingw-w64's libstdc++
// among others) they fall back to a shared condition variable that can
// miss a wake-up between its test of the value and its sleep, and a waiter
// then sleeps for ever; there the plain std::mutex serves.
#pragma once

#if defined(__linux__)
#include <atomic>
#else
#include <mutex>
#endif

namespace mapisim {

#if defined(__linux__)

class SmallMutex {
public:
    SmallMutex() = default;
    SmallMutex(const SmallMutex&) = delete;
    SmallMutex& operator=(const SmallMutex&) = delete;

    void lock() noexcept
    {
        int seen = kFree;
        if (state_.compare_exchange_strong(seen, kHeld, std::memory_order_acquire)) return;
        // Held: announce a waiter, and sleep until the holder lets go.
        if (seen != kContended) seen = state_.exchange(kContended, std::memory_order_acquire);
        while (seen != kFree) {
            state_.wait(kContended, std::memory_order_relaxed);
            seen = state_.exchange(kContended, std::memory_order_acquire);
        }
    }

    void unlock() noexcept
    {
        if (state_.exchange(kFree, std::memory_order_release) == kContended) state_.notify_one();
    }

private:
    static constexpr int kFree = 0;
    static constexpr int kHeld = 1;      // no one waits
    static constexpr int kContended = 2; // someone may wait

    std::atomic<int> state_{kFree};
};

#else

using SmallMutex = std::mutex;

#endif

} // namespace mapisim
