#include "support/fault_sweep.h"

#include <cstdio>
#include <map>
#include <set>

namespace testsupport {
namespace {

// What the sweeps of this process found, site by site.
struct SiteRecord {
    bool faulted = false;
    bool broken = false; // a run that failed it failed a check
};

std::map<std::string, SiteRecord>& Sites()
{
    static std::map<std::string, SiteRecord> sites;
    return sites;
}

// Prints the totals once every test of the process has run.
class SiteReport : public ::testing::Environment {
public:
    void TearDown() override
    {
        const FaultSiteTotals totals = FaultSitesSoFar();
        if (totals.sites > 0)
            std::printf("fault sites: %u, faulted %u, held %u\n", totals.sites, totals.faulted,
                        totals.held);
    }
};
[[maybe_unused]] ::testing::Environment* const siteReport =
    ::testing::AddGlobalTestEnvironment(new SiteReport);

// Failed checks of the running test so far.
int FailedParts()
{
    const ::testing::TestResult* result =
        ::testing::UnitTest::GetInstance()->current_test_info()->result();
    int failed = 0;
    for (int i = 0; i < result->total_part_count(); ++i)
        failed += result->GetTestPartResult(i).failed();
    return failed;
}

// The site of the log's call at `at`: sweep, method, and how many calls of
// that method came before it in the run.
std::string SiteOf(const char* sweep, uint32_t at)
{
    mapisim_call call{};
    if (mapisim_call_get(at, &call) != 0) return {};
    const std::string method = call.method;
    uint32_t occurrence = 0;
    mapisim_call earlier{};
    for (uint32_t i = 0; i < at && mapisim_call_get(i, &earlier) == 0; ++i)
        occurrence += method == earlier.method;
    return std::string(sweep) + ": " + method + " #" + std::to_string(occurrence);
}

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

struct Counts {
    uint32_t objects, allocations, local, keys, dead, badFrees;
    static Counts Now()
    {
        return {mapisim_live_objects(),
                mapisim_live_allocations(),
                mapisim_live_local_allocations(),
                mapisim_open_registry_keys(),
                mapisim_dead_calls(),
                mapisim_bad_frees()};
    }
};

void ExpectCountsBack(const Counts& before)
{
    const Counts after = Counts::Now();
    EXPECT_EQ(after.objects, before.objects) << "objects left alive";
    EXPECT_EQ(after.allocations, before.allocations) << "MAPI allocations left";
    EXPECT_EQ(after.local, before.local) << "local allocations left";
    EXPECT_EQ(after.keys, before.keys) << "registry handles left open";
    EXPECT_EQ(after.dead, before.dead) << "calls on released objects";
    EXPECT_EQ(after.badFrees, before.badFrees) << "bad frees";
}

// Whether a run's result and last error say that it failed as it should.
// An allocation's failure is recorded as the call that failed with it.
void ExpectReported(const FaultSweep& sweep, const SweepRun& r)
{
    if (!(sweep.mayRecover && r.result == sweep.success)) {
        EXPECT_NE(r.result, sweep.success) << r.failedMethod << " failed unnoticed";
    }
    if (r.result != sweep.success && !sweep.lastErrorCode.empty() && !r.allocation) {
        EXPECT_EQ(LastErrorCode(), sweep.lastErrorCode);
    }
}

// One run with the nth call failing; true once the export made fewer calls.
bool RunOnce(const FaultSweep& sweep, const std::function<int32_t()>& run, SweepRun& r,
             std::set<std::string>& clean)
{
    const Counts before = Counts::Now();
    mapisim_call_log_clear();
    mapisim_fail_method("*", r.nth, r.persistent ? 1 : 0, sweep.fault);
    r.result = run();
    mapisim_clear_faults();
    uint32_t at = 0;
    r.injected = FirstInjected(at, r.failedMethod);
    ExpectCountsBack(before);
    if (!r.injected) {
        EXPECT_EQ(r.result, sweep.success) << "runs clean once no call fails";
        if (!sweep.steps.empty()) {
            EXPECT_EQ(r.nth, sweep.steps.size() + 1) << "fewer calls than expected";
        }
        for (uint32_t i = 0; i < mapisim_call_count(); ++i) clean.insert(SiteOf(sweep.name, i));
        return true;
    }
    if (!sweep.steps.empty()) {
        if (r.nth > sweep.steps.size()) {
            ADD_FAILURE() << "more calls than expected: " << r.failedMethod;
            return true;
        }
        EXPECT_EQ(at, r.nth - 1);
        EXPECT_EQ(r.failedMethod, sweep.steps[r.nth - 1].method);
        // A step whose failure is passed over (result 0) goes on to the next
        // call, which a persistent fault fails too: the first step from
        // there that is not passed over decides.
        size_t deciding = r.nth - 1;
        while (r.persistent && deciding + 1 < sweep.steps.size() &&
               sweep.steps[deciding].result == 0)
            ++deciding;
        EXPECT_EQ(r.result, sweep.steps[deciding].result);
    } else {
        ExpectReported(sweep, r);
    }
    return false;
}

// One run with the nth MAPI allocation failing; true once it made fewer.
bool RunOnceFailingAllocation(const FaultSweep& sweep, const std::function<int32_t()>& run,
                              SweepRun& r)
{
    const Counts before = Counts::Now();
    const uint32_t allocationsBefore = mapisim_allocation_calls();
    r.allocation = true;
    mapisim_call_log_clear();
    mapisim_fail_allocation(r.nth, r.persistent ? 1 : 0);
    r.result = run();
    mapisim_fail_allocation(0, 0);
    r.injected = mapisim_allocation_calls() - allocationsBefore >= r.nth;
    r.failedMethod = "MAPIAllocateBuffer";
    ExpectCountsBack(before);
    if (!r.injected) return true;
    // Every allocation's failure is reported, as a call's is.
    ExpectReported(sweep, r);
    return false;
}

void Record(const std::string& site, bool broken)
{
    SiteRecord& record = Sites()[site];
    record.faulted = true;
    record.broken = record.broken || broken;
}

} // namespace

void SweepFaults(const FaultSweep& sweep, const std::function<int32_t()>& run)
{
    // The sites of each faulted run, and those of the clean run.
    std::set<std::string> clean, faulted;
    // Both kinds of fault at each call before the next call, so that the
    // one clean run, which may change the mailbox, comes last.
    const auto sweepKind = [&](bool allocations) {
        for (uint32_t nth = 1; nth <= sweep.maxCalls; ++nth) {
            for (const bool persistent : {false, true}) {
                if (persistent && !sweep.persistent) break;
                SCOPED_TRACE(std::string(sweep.name) + ", failing " +
                             (allocations ? "MAPI allocation " : "MAPI call ") +
                             std::to_string(nth) +
                             (persistent ? " and every one after it" : " only"));
                SweepRun r;
                r.nth = nth;
                r.persistent = persistent;
                const int failedBefore = FailedParts();
                const bool ended = allocations ? RunOnceFailingAllocation(sweep, run, r)
                                               : RunOnce(sweep, run, r, clean);
                if (sweep.check) sweep.check(r);
                if (r.injected) {
                    const std::string site =
                        allocations
                            ? std::string(sweep.name) + ": allocation #" + std::to_string(nth - 1)
                            : SiteOf(sweep.name, r.nth - 1);
                    faulted.insert(site);
                    Record(site, FailedParts() != failedBefore);
                }
                if (ended) return;
            }
        }
        ADD_FAILURE() << sweep.name << " made more " << (allocations ? "allocations" : "MAPI calls")
                      << " than the sweep allows";
    };
    // Allocations first: the clean run of the calls may change the mailbox.
    if (sweep.allocations) sweepKind(true);
    sweepKind(false);
    for (const std::string& site : clean) {
        Sites().try_emplace(site);
        EXPECT_TRUE(faulted.count(site) != 0) << "fault site never faulted: " << site;
    }
}

FaultSiteTotals FaultSitesSoFar()
{
    FaultSiteTotals totals;
    for (const auto& [site, record] : Sites()) {
        ++totals.sites;
        totals.faulted += record.faulted;
        totals.held += record.faulted && !record.broken;
    }
    return totals;
}

} // namespace testsupport
