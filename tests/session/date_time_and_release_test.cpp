#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "OrviMapi.h"
#include "mapisim/mapisim.h"
#include "session/date_time_text.h"

namespace {

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wDayOfWeek = 3;
    time.wMilliseconds = 999; // never shown
    return time;
}

TEST(DateTimeText, FourteenDigitsWithLeadingZeros)
{
    char buffer[32];
    ASSERT_EQ(DateTimeText(buffer, sizeof buffer, Time(1999, 12, 31, 23, 5, 9)), 0);
    EXPECT_STREQ(buffer, "19991231230509");
    ASSERT_EQ(DateTimeText(buffer, sizeof buffer, Time(2000, 2, 1, 0, 0, 0)), 0);
    EXPECT_STREQ(buffer, "20000201000000");
}

TEST(DateTimeText, BufferOfFifteenIsEnoughAndFourteenIsRefused)
{
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(DateTimeText(buffer, 14, Time(2000, 2, 1, 0, 0, 0)), -1);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(DateTimeText(buffer, 15, Time(2000, 2, 1, 0, 0, 0)), 0);
    EXPECT_STREQ(buffer, "20000201000000");
}

TEST(DateTimeText, FiveDigitYearNeedsSixteenBytes)
{
    char buffer[32];
    ASSERT_EQ(DateTimeText(buffer, sizeof buffer, Time(30827, 12, 31, 23, 59, 59)), 0);
    EXPECT_STREQ(buffer, "308271231235959");
}

TEST(ReleaseExports, NullHandlesAreHarmless)
{
    OrviMapiReleaseTable(nullptr);
    OrviMapiReleaseFolder(nullptr);
    OrviMapiReleaseAttach(nullptr);
    OrviMapiReleaseStream(nullptr);
    OrviMapiReleaseMsg(nullptr);
    OrviMapiReleaseResult(nullptr);
    OrviMapiFolderPropsRelease(nullptr, nullptr);
    OrviMapiMsgPropsRelease(nullptr, nullptr);
}

// The property-array releases free a chained MAPI allocation whole, with or
// without the (unused) object handle; a row set goes with its rows.
TEST(ReleaseExports, FreeWhatTheyAreGiven)
{
    const uint32_t before = mapisim_live_allocations();
    for (int withHandle = 0; withHandle < 2; ++withHandle) {
        SPropValue* props = nullptr;
        ASSERT_EQ(MAPIAllocateBuffer(2 * sizeof(SPropValue), reinterpret_cast<void**>(&props)),
                  S_OK);
        void* text = nullptr;
        ASSERT_EQ(MAPIAllocateMore(16, props, &text), S_OK);
        OrviMapiFolderPropsRelease(withHandle ? reinterpret_cast<OrviMapiFolder>(props) : nullptr,
                                   reinterpret_cast<OrviMapiProps>(props));
        EXPECT_EQ(mapisim_live_allocations(), before);

        ASSERT_EQ(MAPIAllocateBuffer(sizeof(SPropValue), reinterpret_cast<void**>(&props)), S_OK);
        OrviMapiMsgPropsRelease(nullptr, reinterpret_cast<OrviMapiProps>(props));
        EXPECT_EQ(mapisim_live_allocations(), before);
    }

    SRowSet* rows = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(CbNewSRowSet(1), reinterpret_cast<void**>(&rows)), S_OK);
    rows->cRows = 1;
    rows->aRow[0].cValues = 1;
    ASSERT_EQ(
        MAPIAllocateBuffer(sizeof(SPropValue), reinterpret_cast<void**>(&rows->aRow[0].lpProps)),
        S_OK);
    OrviMapiReleaseResult(reinterpret_cast<OrviMapiRowSet>(rows));
    EXPECT_EQ(mapisim_live_allocations(), before);
    EXPECT_EQ(mapisim_bad_frees(), 0u);
}

} // namespace
