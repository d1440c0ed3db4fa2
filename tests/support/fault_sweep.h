// Runs an export, or a few exports in a row, with each MAPI call it makes
// (memory-stream operations included) failing in turn: failing that one call
// only, then failing it and every call after it; with Allocations(), each
// MAPI allocation too. After every run the live stand-in objects, MAPI
// allocations, local allocations and registry handles are back where they
// were, no call reached a dead object and no free was bad, a failed run
// reports the failure, and the last run (no call left to fail) succeeds.
//
// Fault sites: every call of the clean run is a site, named by the sweep,
// the method and its occurrence ("MsgGet: IMAPIFolder::OpenEntry #0"); a
// site that no run made fail fails the test, and a site whose runs all
// passed their checks is held. The totals of the process are printed at its
// end: "fault sites: N, faulted N, held N".
//
//   SweepFaults(FaultSweep("GetRootFolder").LastErrorCode(kNotFoundCode), [&] {
//       OrviMapiFolder folder = nullptr;
//       const int32_t result = OrviMapiMsgStoreGetRootFolder(store, &folder, &size, id);
//       OrviMapiReleaseFolder(folder);   // the run releases what it was given
//       return result;
//   });
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "frame/platform.h"
#include "support/library_support.h"

namespace testsupport {

// One MAPI call of an export, and what the export gives when it fails.
struct FaultStep {
    const char* method; // as the call log names it: "IMsgStore::OpenEntry"
    int32_t result;
};

// One run of a sweep, for checks of a caller's own.
struct SweepRun {
    uint32_t nth = 0;         // the call made to fail, 1 = the first
    bool persistent = false;  // every call after it failed too
    bool injected = false;    // false: the export made fewer than nth calls
    bool allocation = false;  // an allocation failed, not a call
    std::string failedMethod; // the call that failed first ("MAPIAllocateBuffer" for an allocation)
    int32_t result = 0;
};

// What a sweep expects, set in a chain:
//   FaultSweep("MsgDelete").Fault(MAPI_E_NOT_FOUND).LastErrorCode("Facility ITF, Error Num 271")
struct FaultSweep {
    explicit FaultSweep(const char* sweepName) : name(sweepName) {}

    // The HRESULT the failing calls give.
    FaultSweep& Fault(int32_t hr) { return fault = hr, *this; }
    // What a run gives when no call fails (0 unless set).
    FaultSweep& Success(int32_t result) { return success = result, *this; }
    // The last error's code after a failed run; not checked unless set.
    FaultSweep& LastErrorCode(std::string code) { return lastErrorCode = std::move(code), *this; }
    // The calls the export makes, in order: the nth failing must be
    // steps[n-1].method and make the export give steps[n-1].result, and the
    // export may make no more calls. A step with result 0 is a failure the
    // export passes over: failing it persistently gives the result of the
    // first later step that is not passed over.
    FaultSweep& Steps(std::vector<FaultStep> calls) { return steps = std::move(calls), *this; }
    // Some failures are recovered from: a failed run may give success.
    FaultSweep& MayRecover() { return mayRecover = true, *this; }
    // Only faults of one call, none that persist.
    FaultSweep& OnceOnly() { return persistent = false, *this; }
    // Checks of the caller's own, after each run.
    FaultSweep& Check(std::function<void(const SweepRun&)> extra)
    {
        return check = std::move(extra), *this;
    }
    // Each MAPI allocation fails in turn as well, before the calls; the
    // clean run then comes twice, so the run must leave the mailbox as it
    // found it.
    FaultSweep& Allocations() { return allocations = true, *this; }
    // More calls (and allocations) than the 64 an export may make.
    FaultSweep& MaxCalls(uint32_t calls) { return maxCalls = calls, *this; }

    const char* name;
    int32_t fault = MAPI_E_NOT_FOUND;
    int32_t success = 0;
    std::string lastErrorCode;
    std::vector<FaultStep> steps;
    bool mayRecover = false;
    bool persistent = true;
    std::function<void(const SweepRun&)> check;
    bool allocations = false;
    uint32_t maxCalls = 64;
};

// Runs `run` as the sweep says; `run` releases whatever the export hands
// out and returns the export's result.
void SweepFaults(const FaultSweep& sweep, const std::function<int32_t()>& run);

// The fault sites of every sweep so far in this process.
struct FaultSiteTotals {
    uint32_t sites = 0, faulted = 0, held = 0;
};
FaultSiteTotals FaultSitesSoFar();

} // namespace testsupport
