#pragma once
// The date and time data of the C library's current locale, as the C library
// gives them (strftime formats and names).

#include <array>
#include <string>

namespace morvane::platform {

struct LocaleDateTimeData {
    std::string dateFormat;      // D_FMT, e.g. "%m/%d/%y"
    std::string timeFormat;      // T_FMT, e.g. "%H:%M:%S"
    std::string dateTimeFormat;  // D_T_FMT
    std::string amString, pmString;
    std::array<std::string, 12> shortMonthNames, longMonthNames;
    std::array<std::string, 7> shortDayNames, longDayNames; // Sunday first
};

LocaleDateTimeData CurrentLocaleDateTimeData();

// Takes the environment's locale; when its text is not UTF-8 (LANG=C, or no LANG,
// as a scheduler starts programs), chooses C.UTF-8 for this process and the
// programs it starts, so that passwords, paths and names are read the same way
// whoever started it. Returns the codeset in use afterwards.
std::string UseUtf8Locale();

} // namespace morvane::platform
