#include "support/fault_sweep.h"

namespace testsupport {
namespace {

// The first call of the log a fault rule made fail, and its place.
bool FirstInjected(uint32_t& at, std::string& method)
{
    mapisim_call call{};
    for (at = 0; mapisim_call_get(at, &call) == 0; ++at)
        if (call.injected) {
            method = call.method;
            return true;
        }
    return false;
}

// One run with the nth call failing; true once the export made fewer calls.
bool RunOnce(const FaultSweep& sweep, const std::function<int32_t()>& run, SweepRun& r)
{
    const uint32_t objects = mapisim_live_objects(), allocations = mapisim_live_allocations();
    mapisim_call_log_clear();
    mapisim_fail_method("*", r.nth, r.persistent ? 1 : 0, sweep.fault);
    r.result = run();
    mapisim_clear_faults();
    uint32_t at = 0;
    r.injected = FirstInjected(at, r.failedMethod);
    EXPECT_EQ(mapisim_live_objects(), objects) << "objects left alive";
    EXPECT_EQ(mapisim_live_allocations(), allocations) << "MAPI allocations left";
    if (!r.injected) {
        EXPECT_EQ(r.result, sweep.success) << "runs clean once no call fails";
        if (!sweep.steps.empty()) {
            EXPECT_EQ(r.nth, sweep.steps.size() + 1) << "fewer calls than expected";
        }
        return true;
    }
    if (!sweep.steps.empty()) {
        if (r.nth > sweep.steps.size()) {
            ADD_FAILURE() << "more calls than expected: " << r.failedMethod;
            return true;
        }
        EXPECT_EQ(at, r.nth - 1);
        EXPECT_EQ(r.failedMethod, sweep.steps[r.nth - 1].method);
        EXPECT_EQ(r.result, sweep.steps[r.nth - 1].result);
    } else if (!(sweep.mayRecover && r.result == sweep.success)) {
        EXPECT_NE(r.result, sweep.success) << r.failedMethod << " failed unnoticed";
    }
    if (r.result != sweep.success && !sweep.lastErrorCode.empty()) {
        EXPECT_EQ(LastErrorCode(), sweep.lastErrorCode);
    }
    return false;
}

} // namespace

void SweepFaults(const FaultSweep& sweep, const std::function<int32_t()>& run)
{
    // Both kinds of fault at each call before the next call, so that the
    // one clean run, which may change the mailbox, comes last.
    for (uint32_t nth = 1; nth <= sweep.maxCalls; ++nth) {
        for (const bool persistent : {false, true}) {
            if (persistent && !sweep.persistent) break;
            SCOPED_TRACE(std::string(sweep.name) + ", failing MAPI call " + std::to_string(nth) +
                         (persistent ? " and every call after it" : " only"));
            SweepRun r;
            r.nth = nth;
            r.persistent = persistent;
            const bool ended = RunOnce(sweep, run, r);
            if (sweep.check) sweep.check(r);
            if (ended) return;
        }
    }
    ADD_FAILURE() << sweep.name << " made more MAPI calls than the sweep allows";
}

} // namespace testsupport
