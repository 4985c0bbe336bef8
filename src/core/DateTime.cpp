#include "core/DateTime.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <mutex>

namespace morvane {

namespace {
// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(y + (m <= 2));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

constexpr long long EpochOffsetDays = 25569; // 1899-12-30 to 1970-01-01

std::mutex clockLock;
ClockFunction clockOverride;

TDateTime SystemNow()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec, static_cast<int>(ms % 1000));
}
} // namespace

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    const long long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + EpochOffsetDays;
    const double time = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
    return static_cast<double>(days) + time / MillisecondsPerDay;
}

DateTimeParts DecodeDateTime(TDateTime value)
{
    // Negative values count the time of day away from the date, as the system's own type does.
    double whole = std::trunc(value);
    double fraction = std::fabs(value - whole);
    long long ms = std::llround(fraction * MillisecondsPerDay);
    if (ms >= 86400000LL) {
        ms -= 86400000LL;
        whole += value < 0 ? -1 : 1;
    }
    DateTimeParts parts;
    const long long days = static_cast<long long>(whole) - EpochOffsetDays;
    CivilFromDays(days, parts.year, parts.month, parts.day);
    parts.hour = static_cast<int>(ms / 3600000);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.millisecond = static_cast<int>(ms % 1000);
    // 1970-01-01 was a Thursday (5 when Sunday is 1).
    parts.dayOfWeek = static_cast<int>(((days % 7 + 7) % 7 + 4) % 7) + 1;
    return parts;
}

TDateTime Now()
{
    {
        std::lock_guard guard(clockLock);
        if (clockOverride)
            return clockOverride();
    }
    return SystemNow();
}

void SetClock(ClockFunction clock)
{
    std::lock_guard guard(clockLock);
    clockOverride = std::move(clock);
}

} // namespace morvane
