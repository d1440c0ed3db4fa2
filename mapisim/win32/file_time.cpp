// FileTimeToSystemTime and SystemTimeToFileTime: UTC, proleptic Gregorian,
// counted in 100-nanosecond ticks from 1601-01-01 00:00:00.
#include <cstdint>

#include "mapisim/decl/win32.h"

namespace {

constexpr uint64_t kTicksPerMillisecond = 10000;
constexpr uint64_t kTicksPerSecond = 1000 * kTicksPerMillisecond;
constexpr uint64_t kTicksPerDay = 86400 * kTicksPerSecond;
constexpr uint64_t kDaysPer400Years = 146097;
constexpr uint64_t kDaysPer100Years = 36524;
constexpr uint64_t kDaysPer4Years = 1461;
constexpr int kFirstYear = 1601;    // starts a 400-year cycle
constexpr int kLastYear = 30827;    // the last year SYSTEMTIME accepts
constexpr WORD kFirstDayOfWeek = 1; // 1601-01-01 was a Monday

constexpr WORD kDaysBeforeMonth[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

bool IsLeap(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

} // namespace

extern "C" {

MAPISIM_API BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime)
{
    if (lpFileTime == nullptr || lpSystemTime == nullptr) return FALSE;
    const uint64_t ticks =
        (static_cast<uint64_t>(lpFileTime->dwHighDateTime) << 32) | lpFileTime->dwLowDateTime;
    if (ticks > 0x7FFFFFFFFFFFFFFFull) return FALSE;

    uint64_t days = ticks / kTicksPerDay;
    const uint64_t timeOfDay = ticks % kTicksPerDay;
    const WORD dayOfWeek = static_cast<WORD>((days + kFirstDayOfWeek) % 7);

    // Whole cycles first; the last year of each cycle is the long one, hence
    // the caps at 3.
    const uint64_t cycles400 = days / kDaysPer400Years;
    days %= kDaysPer400Years;
    uint64_t centuries = days / kDaysPer100Years;
    if (centuries == 4) centuries = 3;
    days -= centuries * kDaysPer100Years;
    const uint64_t cycles4 = days / kDaysPer4Years;
    days %= kDaysPer4Years;
    uint64_t years = days / 365;
    if (years == 4) years = 3;
    days -= years * 365;

    const unsigned year =
        static_cast<unsigned>(kFirstYear + 400 * cycles400 + 100 * centuries + 4 * cycles4 + years);
    const WORD* before = kDaysBeforeMonth[IsLeap(year) ? 1 : 0];
    unsigned month = 1;
    while (days >= before[month]) ++month;

    lpSystemTime->wYear = static_cast<WORD>(year);
    lpSystemTime->wMonth = static_cast<WORD>(month);
    lpSystemTime->wDayOfWeek = dayOfWeek;
    lpSystemTime->wDay = static_cast<WORD>(days - before[month - 1] + 1);
    lpSystemTime->wHour = static_cast<WORD>(timeOfDay / (3600 * kTicksPerSecond));
    lpSystemTime->wMinute = static_cast<WORD>(timeOfDay / (60 * kTicksPerSecond) % 60);
    lpSystemTime->wSecond = static_cast<WORD>(timeOfDay / kTicksPerSecond % 60);
    lpSystemTime->wMilliseconds =
        static_cast<WORD>(timeOfDay % kTicksPerSecond / kTicksPerMillisecond);
    return TRUE;
}

MAPISIM_API BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime)
{
    if (lpSystemTime == nullptr || lpFileTime == nullptr) return FALSE;
    const SYSTEMTIME& time = *lpSystemTime;
    // wDayOfWeek is ignored, as on Windows.
    if (time.wYear < kFirstYear || time.wYear > kLastYear || time.wMonth < 1 || time.wMonth > 12 ||
        time.wHour > 23 || time.wMinute > 59 || time.wSecond > 59 || time.wMilliseconds > 999)
        return FALSE;
    const WORD* before = kDaysBeforeMonth[IsLeap(time.wYear) ? 1 : 0];
    if (time.wDay < 1 || time.wDay > before[time.wMonth] - before[time.wMonth - 1]) return FALSE;

    const uint64_t yearsBefore = time.wYear - kFirstYear;
    const uint64_t days = yearsBefore * 365 + yearsBefore / 4 - yearsBefore / 100 +
                          yearsBefore / 400 + before[time.wMonth - 1] + time.wDay - 1;
    const uint64_t ticks =
        days * kTicksPerDay +
        (time.wHour * 3600ull + time.wMinute * 60ull + time.wSecond) * kTicksPerSecond +
        time.wMilliseconds * kTicksPerMillisecond;
    lpFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    lpFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

} // extern "C"
