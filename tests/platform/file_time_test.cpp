// FILETIME <-> SYSTEMTIME: UTC, proleptic Gregorian from 1601.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "mapisim/decl/win32.h"

namespace {

FILETIME Ticks(uint64_t ticks)
{
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

uint64_t TicksOf(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// y-m-d h:m:s.ms and day of week (0 Sunday), as one comparable text.
std::string Text(const SYSTEMTIME& t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%u-%02u-%02u %02u:%02u:%02u.%03u dow%u", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek);
    return text;
}

std::string Convert(uint64_t ticks)
{
    const FILETIME file = Ticks(ticks);
    SYSTEMTIME system{};
    if (!FileTimeToSystemTime(&file, &system)) return "FALSE";
    // Every time that converts converts back to the same tick, bar the
    // sub-millisecond part and the one year past what SYSTEMTIME accepts.
    FILETIME back{};
    if (system.wYear <= 30827) {
        EXPECT_TRUE(SystemTimeToFileTime(&system, &back));
        EXPECT_EQ(TicksOf(back), ticks - ticks % 10000);
    }
    return Text(system);
}

TEST(FileTimeTest, KnownInstants)
{
    EXPECT_EQ(Convert(0), "1601-01-01 00:00:00.000 dow1");
    EXPECT_EQ(Convert(116444736000000000ull), "1970-01-01 00:00:00.000 dow4");
    EXPECT_EQ(Convert(0x01BF82B162C9FC50ull + 1234), "2000-02-29 12:34:56.789 dow2");
    EXPECT_EQ(Convert(0x014F6598C43F8000ull - 1), "1900-02-28 23:59:59.999 dow3");
    EXPECT_EQ(Convert(0x014F6598C43F8000ull), "1900-03-01 00:00:00.000 dow4");
    EXPECT_EQ(Convert(0x037FF5CDB46A4000ull), "2400-02-29 00:00:00.000 dow2");
    EXPECT_EQ(Convert(0x7FFF35F4F06C58F0ull), "30827-12-31 23:59:59.999 dow5");
    EXPECT_EQ(Convert(0x7FFFFFFFFFFFFFFFull), "30828-09-14 02:48:05.477 dow4");
}

TEST(FileTimeTest, TopBitSetDoesNotConvertAndLeavesTheOutputAlone)
{
    for (uint64_t ticks : {0x8000000000000000ull, 0xFFFFFFFFFFFFFFFFull}) {
        const FILETIME file = Ticks(ticks);
        SYSTEMTIME system;
        std::memset(&system, 0x7f, sizeof system);
        EXPECT_FALSE(FileTimeToSystemTime(&file, &system));
        EXPECT_EQ(system.wYear, 0x7f7f);
    }
}

TEST(FileTimeTest, SystemTimeFieldsAreValidated)
{
    const SYSTEMTIME good{2000, 2, 0, 29, 23, 59, 59, 999};
    FILETIME file{};
    EXPECT_TRUE(SystemTimeToFileTime(&good, &file));

    const SYSTEMTIME bad[] = {
        {1600, 12, 0, 31, 0, 0, 0, 0}, {30828, 1, 0, 1, 0, 0, 0, 0}, {1900, 2, 0, 29, 0, 0, 0, 0},
        {2001, 2, 0, 29, 0, 0, 0, 0},  {2000, 4, 0, 31, 0, 0, 0, 0}, {2000, 0, 0, 1, 0, 0, 0, 0},
        {2000, 13, 0, 1, 0, 0, 0, 0},  {2000, 1, 0, 0, 0, 0, 0, 0},  {2000, 1, 0, 1, 24, 0, 0, 0},
        {2000, 1, 0, 1, 0, 60, 0, 0},  {2000, 1, 0, 1, 0, 0, 60, 0}, {2000, 1, 0, 1, 0, 0, 0, 1000},
    };
    for (const SYSTEMTIME& time : bad)
        EXPECT_FALSE(SystemTimeToFileTime(&time, &file)) << Text(time);

    // The day of week given is not checked.
    const SYSTEMTIME wrongWeekday{2000, 2, 6, 29, 0, 0, 0, 0};
    EXPECT_TRUE(SystemTimeToFileTime(&wrongWeekday, &file));
}

} // namespace
