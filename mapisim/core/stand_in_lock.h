// One lock over the whole stand-in. Every MAPI call takes it for its whole
// length (the call hook, mapi/calls.h), and so do the last Release of an
// object, installing a world and the test controls: calls from several
// threads then meet the model, the objects' state, the call log and the
// fault rules one at a time, and the stand-in is as free-threaded as MAPI
// is. Recursive, since a call may make others on the same thread. (The
// MAPI allocations, the registry, the file versions and the local
// allocations keep small locks of their own, taken last.)
//
// The notification engine's own lock comes after this one: take this one
// first. Code that waits for another thread (the notification thread's
// deliveries, its end) lets go of this one while it waits (StandInRelease),
// since that thread's sinks make calls, and never takes it back while
// holding its own lock. The notification thread holds neither lock while a
// sink runs.
#pragma once

namespace mapisim {

void LockStandIn();
void UnlockStandIn();

// Holds the stand-in lock for the scope it lives in.
class StandInGuard {
public:
    StandInGuard() { LockStandIn(); }
    ~StandInGuard() { UnlockStandIn(); }
    StandInGuard(const StandInGuard&) = delete;
    StandInGuard& operator=(const StandInGuard&) = delete;
};

// Lets go of the stand-in lock for its scope, however deeply this thread
// holds it, and takes it back as deeply at the end. Other threads' calls
// run meanwhile: what the holder looked at before may have changed.
class StandInRelease {
public:
    StandInRelease();
    ~StandInRelease();
    StandInRelease(const StandInRelease&) = delete;
    StandInRelease& operator=(const StandInRelease&) = delete;

private:
    unsigned depth_;
};

} // namespace mapisim
