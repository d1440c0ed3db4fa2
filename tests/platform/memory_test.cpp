// MAPI memory of the stand-in: chaining, counts, misuse and failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "mapisim/decl/mapi.h"
#include "mapisim/mapisim.h"

namespace {

class MapiMemoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mapisim_fail_allocation(0, 0);
        mapisim_reset_misuse_counters();
        baseline_ = mapisim_live_allocations();
    }
    void TearDown() override
    {
        mapisim_fail_allocation(0, 0);
        EXPECT_EQ(mapisim_live_allocations(), baseline_);
    }
    uint32_t Live() const { return mapisim_live_allocations() - baseline_; }

    uint32_t baseline_ = 0;
};

TEST_F(MapiMemoryTest, FreeingTheRootFreesEverythingChainedToIt)
{
    void* root = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(24, &root), S_OK);
    void* child = nullptr;
    void* grandchild = nullptr;
    ASSERT_EQ(MAPIAllocateMore(100, root, &child), S_OK);
    // Chaining to a chained block still hangs the new block on the root.
    ASSERT_EQ(MAPIAllocateMore(0, child, &grandchild), S_OK);
    EXPECT_NE(grandchild, nullptr);
    EXPECT_EQ(Live(), 3u);

    EXPECT_EQ(MAPIFreeBuffer(root), 0u);
    EXPECT_EQ(Live(), 0u);
    EXPECT_EQ(mapisim_bad_frees(), 0u);
}

// Thousands of live blocks, chained in differing numbers and freed in a
// scrambled order: every block stays known until its root goes, whatever
// else came and went around it.
TEST_F(MapiMemoryTest, ManyBlocksStayKnownThroughAnyOrderOfFrees)
{
    constexpr int kRoots = 3000;
    std::vector<void*> roots(kRoots), chained(kRoots);
    uint32_t total = 0;
    for (int i = 0; i < kRoots; ++i) {
        ASSERT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(i % 40), &roots[i]), S_OK);
        ++total;
        void* parent = roots[i];
        for (int c = 0; c < i % 4; ++c) {
            ASSERT_EQ(MAPIAllocateMore(8, parent, &chained[i]), S_OK);
            parent = chained[i]; // a chained block as the parent chains to the root
            ++total;
        }
    }
    EXPECT_EQ(Live(), total);
    uint32_t state = 12345;
    for (int i = kRoots - 1; i > 0; --i) {
        state = state * 1103515245u + 12345u;
        std::swap(roots[i], roots[(state >> 8) % static_cast<uint32_t>(i + 1)]);
    }
    for (int i = 0; i < kRoots; ++i)
        if (chained[i] != nullptr && i % 7 == 0) MAPIFreeBuffer(chained[i]); // not a root
    const uint32_t misused = mapisim_bad_frees();
    EXPECT_GT(misused, 0u);
    for (void* root : roots) MAPIFreeBuffer(root);
    EXPECT_EQ(Live(), 0u);
    EXPECT_EQ(mapisim_bad_frees(), misused);
    for (int i = 0; i < 10; ++i) MAPIFreeBuffer(roots[i]); // gone: each counted
    EXPECT_EQ(mapisim_bad_frees(), misused + 10);
}

TEST_F(MapiMemoryTest, BlocksAreAlignedForAnyPropertyValue)
{
    void* root = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(1, &root), S_OK);
    for (int i = 0; i < 8; ++i) {
        void* more = nullptr;
        ASSERT_EQ(MAPIAllocateMore(static_cast<ULONG>(i * 3 + 1), root, &more), S_OK);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(more) % 16, 0u);
    }
    EXPECT_EQ(reinterpret_cast<uintptr_t>(root) % 16, 0u);
    MAPIFreeBuffer(root);
}

TEST_F(MapiMemoryTest, MisusedFreesAreCountedNotFatal)
{
    EXPECT_EQ(MAPIFreeBuffer(nullptr), 0u);
    EXPECT_EQ(mapisim_bad_frees(), 0u);

    void* root = nullptr;
    void* child = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(8, &root), S_OK);
    ASSERT_EQ(MAPIAllocateMore(8, root, &child), S_OK);
    MAPIFreeBuffer(child); // chained: only the root may be freed
    EXPECT_EQ(mapisim_bad_frees(), 1u);
    EXPECT_EQ(Live(), 2u);

    int local = 0;
    MAPIFreeBuffer(&local);
    MAPIFreeBuffer(root);
    MAPIFreeBuffer(root); // twice
    EXPECT_EQ(mapisim_bad_frees(), 3u);

    void* orphan = reinterpret_cast<void*>(&local);
    EXPECT_EQ(MAPIAllocateMore(8, &local, &orphan), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(orphan, nullptr);
}

TEST_F(MapiMemoryTest, FreeProwsFreesEachRowThenTheSet)
{
    LPSRowSet rows = nullptr;
    ASSERT_EQ(
        MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(3)), reinterpret_cast<void**>(&rows)),
        S_OK);
    rows->cRows = 3;
    for (ULONG i = 0; i < rows->cRows; ++i) {
        rows->aRow[i].cValues = 1;
        ASSERT_EQ(MAPIAllocateBuffer(sizeof(SPropValue),
                                     reinterpret_cast<void**>(&rows->aRow[i].lpProps)),
                  S_OK);
        void* text = nullptr;
        ASSERT_EQ(MAPIAllocateMore(16, rows->aRow[i].lpProps, &text), S_OK);
    }
    // A row without values is allowed; its old values are freed by hand.
    SRow* const row = rows->aRow + 1;
    LPSPropValue detached = row->lpProps;
    row->lpProps = nullptr;
    EXPECT_EQ(Live(), 7u);
    FreeProws(rows);
    EXPECT_EQ(Live(), 2u);
    EXPECT_EQ(mapisim_bad_frees(), 0u);
    MAPIFreeBuffer(detached);
    FreeProws(nullptr);
}

TEST_F(MapiMemoryTest, InjectedFailureHitsTheNthCallOnceOrForGood)
{
    const uint32_t callsBefore = mapisim_allocation_calls();
    mapisim_fail_allocation(2, 0);
    void* first = nullptr;
    void* second = reinterpret_cast<void*>(1);
    void* third = nullptr;
    EXPECT_EQ(MAPIAllocateBuffer(4, &first), S_OK);
    EXPECT_EQ(MAPIAllocateMore(4, first, &second), MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(MAPIAllocateMore(4, first, &third), S_OK);
    EXPECT_EQ(mapisim_allocation_calls() - callsBefore, 3u);

    mapisim_fail_allocation(1, 1);
    void* failed = nullptr;
    EXPECT_EQ(MAPIAllocateBuffer(4, &failed), MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(MAPIAllocateBuffer(4, &failed), MAPI_E_NOT_ENOUGH_MEMORY);
    mapisim_fail_allocation(0, 0);
    EXPECT_EQ(Live(), 2u);
    MAPIFreeBuffer(first);
}

} // namespace
