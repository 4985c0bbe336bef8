#pragma once
// The date-time pattern language shared by the log time stamps and the dated
// file-name macros: a pattern and the locale's date and time data give a text.

#include "core/DateTime.h"
#include "platform/Locale.h"

#include <array>
#include <string>
#include <string_view>

namespace morvane {

// The locale data the patterns ask for; the defaults are those of the C locale.
struct FormatSettings {
    std::string dateSeparator{"/"};
    std::string timeSeparator{":"};
    std::string shortDateFormat{"mm/dd/yy"};
    std::string longDateFormat{"dddd, mmmm dd, yyyy"};
    std::string shortTimeFormat{"hh:nn"};
    std::string longTimeFormat{"hh:nn:ss"};
    std::string timeAmString{"AM"};
    std::string timePmString{"PM"};
    std::array<std::string, 12> shortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> longMonthNames{"January", "February", "March",     "April",   "May",      "June",
                                               "July",    "August",   "September", "October", "November", "December"};
    // Day names, Sunday first.
    std::array<std::string, 7> shortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> longDayNames{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
};

// Writes a value with a pattern (letters case-insensitive, a run of one letter is
// one specifier, quoted text copied, any other character copied).
std::string FormatDateTime(std::string_view pattern, TDateTime value, const FormatSettings& settings);
// The same with the locale data of the machine.
std::string FormatDateTime(std::string_view pattern, TDateTime value);

// The machine's locale data, taken once from the C library's current locale.
const FormatSettings& CurrentFormatSettings();
// Replaces the machine's locale data (tests).
void SetCurrentFormatSettings(const FormatSettings& settings);

// The C library's strftime formats written in this pattern language (letters of
// literal text quoted), and the locale data built from them.
std::string PatternFromStrftime(std::string_view format, std::string_view dateSeparator,
                                std::string_view timeSeparator);
FormatSettings FormatSettingsFromLocale(const platform::LocaleDateTimeData& locale);

} // namespace morvane
