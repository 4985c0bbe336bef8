#pragma once
// Date-time values as the system counts them: days since 30 December 1899 at 00:00,
// the fraction being the time of day, in local time.

#include <cstdint>
#include <functional>

namespace morvane {

using TDateTime = double;

// The value that means "never".
inline constexpr TDateTime NeverChanges = 4294967295.0;

struct DateTimeParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    int dayOfWeek = 7; // 1 = Sunday ... 7 = Saturday
};

TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
// Splits a value into its parts, the time rounded to the millisecond.
DateTimeParts DecodeDateTime(TDateTime value);
int DaysInMonth(int year, int month);

inline constexpr double MillisecondsPerDay = 86400000.0;

// The clock every part of the program reads. Tests set their own to check
// midnight and hour changes without waiting; nullptr restores the system clock.
TDateTime Now();
using ClockFunction = std::function<TDateTime()>;
void SetClock(ClockFunction clock);

// Sets a clock for the life of a scope.
class ScopedClock {
public:
    explicit ScopedClock(ClockFunction clock) { SetClock(std::move(clock)); }
    ~ScopedClock() { SetClock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

} // namespace morvane
