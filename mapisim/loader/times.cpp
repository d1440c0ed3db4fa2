// Times ("2000-03-14T09:26:53Z") and durations ("PT1H") of the
// description, as FILETIME ticks.
#include <cstdio>
#include <cstring>

#include "mapisim/loader/description.h"

namespace mapisim::loader::description {

namespace {

std::int64_t days_from_civil(std::int64_t y, std::int64_t m, std::int64_t d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468; // days since 1970-01-01
}

const std::int64_t kDays1601 = days_from_civil(1601, 1, 1);
const std::int64_t kMaxTicks = (days_from_civil(10000, 1, 1) - kDays1601) * kTicksPerDay - 1;

} // namespace

std::int64_t Loader::parse_time(const J& v, const std::string& s) const
{
    // YYYY-MM-DDThh:mm:ss[.f{1,7}]Z
    auto num = [&](std::size_t at, std::size_t n) {
        std::int64_t x = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (i >= s.size() || s[i] < '0' || s[i] > '9') return std::int64_t{-1};
            x = x * 10 + (s[i] - '0');
        }
        return x;
    };
    const char* form = "expected a UTC time such as \"2000-03-14T09:26:53Z\"";
    if (s.size() < 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':')
        fail(v, form);
    const std::int64_t y = num(0, 4), mo = num(5, 2), d = num(8, 2);
    const std::int64_t h = num(11, 2), mi = num(14, 2), se = num(17, 2);
    std::size_t i = 19;
    std::int64_t fraction = 0;
    if (i < s.size() && s[i] == '.') {
        std::size_t digits = 0;
        while (++i < s.size() && s[i] >= '0' && s[i] <= '9') {
            if (++digits > 7) fail(v, "at most seven fractional digits of a second");
            fraction = fraction * 10 + (s[i] - '0');
        }
        if (digits == 0) fail(v, form);
        for (; digits < 7; ++digits) fraction *= 10;
    }
    if (i + 1 != s.size() || s[i] != 'Z') fail(v, std::string(form) + ", ending in Z");
    if (y < 0 || mo < 0 || d < 0 || h < 0 || mi < 0 || se < 0) fail(v, form);
    static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1601 || mo < 1 || mo > 12 || d < 1 ||
        d > kMonthDays[mo - 1] + (mo == 2 && leap ? 1 : 0) || h > 23 || mi > 59 || se > 59)
        fail(v, "no such time (years 1601 to 9999)");
    const std::int64_t days = days_from_civil(y, mo, d) - kDays1601;
    return days * kTicksPerDay + ((h * 60 + mi) * 60 + se) * kTicksPerSecond + fraction;
}

FileTime Loader::time(const J& v)
{
    std::int64_t t = parse_time(v, str(v));
    if (repeat_.on) {
        const std::int64_t shift = repeat_.shift;
        if ((shift > 0 && t > kMaxTicks - shift) || (shift < 0 && t < -shift))
            fail(v, "the repeat's step moves this time out of the years 1601 to 9999");
        t += shift;
    }
    return FileTime{static_cast<std::uint64_t>(t)};
}

std::int64_t Loader::parse_duration(const J& v, const std::string& s) const
{
    const char* form = "expected a duration such as \"PT2H30M\" or \"-P1D\"";
    std::size_t i = 0;
    const bool minus = !s.empty() && s[0] == '-';
    if (minus) ++i;
    if (i >= s.size() || s[i++] != 'P') fail(v, form);
    std::int64_t ticks = 0;
    bool in_time = false, any = false;
    const char* units = "D"; // what may come next, in order
    while (i < s.size()) {
        if (s[i] == 'T' && !in_time) {
            in_time = true;
            units = "HMS";
            ++i;
            continue;
        }
        std::int64_t n = 0;
        const std::size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 7)
            n = n * 10 + (s[i++] - '0');
        if (i == start || i >= s.size()) fail(v, form);
        const char* unit = std::strchr(units, s[i]);
        if (!unit || !*unit) fail(v, form);
        units = unit + 1;
        const std::int64_t scale = s[i] == 'D'   ? kTicksPerDay
                                   : s[i] == 'H' ? 3600 * kTicksPerSecond
                                   : s[i] == 'M' ? 60 * kTicksPerSecond
                                                 : kTicksPerSecond;
        ticks += n * scale;
        any = true;
        ++i;
    }
    if (!any) fail(v, form);
    return minus ? -ticks : ticks;
}

} // namespace mapisim::loader::description
