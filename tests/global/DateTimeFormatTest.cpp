#include "global/DateTimeFormat.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

FormatSettings French()
{
    FormatSettings s;
    s.dateSeparator = ".";
    s.timeSeparator = "h";
    s.shortDateFormat = "dd/mm/yyyy";
    s.longDateFormat = "dddd d mmmm yyyy";
    s.shortTimeFormat = "hh:nn";
    s.longTimeFormat = "hh:nn:ss";
    s.timeAmString = "matin";
    s.timePmString = "soir";
    s.shortMonthNames[2] = "mars";
    s.longMonthNames[2] = "mars";
    s.shortDayNames[2] = "mar.";
    s.longDayNames[2] = "mardi";
    return s;
}

TEST(FormatDateTime, WritesEverySpecifier)
{
    const FormatSettings c;        // the C library's defaults
    const FormatSettings fr = French();
    const TDateTime afternoon = EncodeDateTime(2024, 3, 5, 14, 7, 9, 42); // a Tuesday
    const TDateTime morning = EncodeDateTime(2009, 3, 14, 9, 5, 3, 7);
    const TDateTime midnight = EncodeDateTime(2024, 3, 5);
    const TDateTime noon = EncodeDateTime(2024, 3, 5, 12, 0, 0);
    const TDateTime halfSecondAfterMidnight = EncodeDateTime(2024, 3, 5, 0, 0, 0, 500);
    const struct {
        const char* pattern;
        TDateTime value;
        const FormatSettings& settings;
        const char* expected;
    } cases[] = {
        {"yyyy-mm-dd hh:nn:ss.zzz", afternoon, c, "2024-03-05 14:07:09.042"},
        {"yyyy-mm-dd hh:nn:ss.zzz", morning, c, "2009-03-14 09:05:03.007"},
        {"y|yy|yyy|YYYY|yyyyy", morning, c, "09|09|2009|2009|2009"},
        {"m|mm|mmm|mmmm|mmmmm", afternoon, c, "3|03|Mar|March|March"},
        {"d|dd|ddd|dddd", afternoon, c, "5|05|Tue|Tuesday"},
        {"ddddd|dddddd", afternoon, c, "03/05/24|Tuesday, March 05, 2024"},
        {"ddddd|dddddd", afternoon, fr, "05.03.2024|mardi 5 mars 2024"},
        {"h|hh|hhh", morning, c, "9|09|09"},
        {"n|nn|nnn|s|ss|sss", morning, c, "5|05|05|3|03|03"},
        {"z|zz|zzz|zzzz", morning, c, "7|07|007|007"},
        {"z|zz|zzz", afternoon, c, "42|42|042"},
        // m right after an hour (specifiers between count, other text does not) means minutes
        {"hh:mm|h m|hh'x'mm|hhmm|hh x mm", afternoon, c, "14:07|14 7|14x07|1407|14 x 07"},
        {"mm hh|hh:nn mm|hh dd mm", afternoon, c, "03 14|14:07 03|14 05 03"},
        {"HH:MM", afternoon, c, "14:07"},
        // am/pm forms: the marker as written, ampm from the locale, hours on 12
        {"hh:nn am/pm|hh:nn AM/PM|h a/p|h A/P", afternoon, c, "02:07 pm|02:07 PM|2 p|2 P"},
        {"h am/pm", morning, c, "9 am"},
        {"h ampm", afternoon, fr, "2 soir"},
        {"h ampm", morning, fr, "9 matin"},
        {"h am/pm|h am/pm", midnight, c, "12 am|12 am"},
        {"h am/pm", noon, c, "12 pm"},
        // only an hour that a marker follows is on 12 hours; one after the marker is not
        {"am/pm hh", afternoon, c, "pm 14"},
        {"ampm hh", afternoon, c, "PM 14"},
        {"A/P h", afternoon, c, "P 14"},
        {"hh ampm hh|h a/p h", afternoon, c, "02 PM 14|2 p 14"},
        {"hh a", afternoon, c, "14 a"}, // a lone a is no marker
        {"hh a mm|hh am/pm mm", afternoon, c, "14 a 07|02 pm 03"},
        {"hh 'am/pm'", afternoon, c, "14 am/pm"},
        {"hh:nn hh am/pm", afternoon, c, "14:07 02 pm"}, // only the hour before the marker
        // c, t and tt
        {"c", afternoon, c, "03/05/24 14:07:09"},
        {"c", midnight, c, "03/05/24"},
        {"c", halfSecondAfterMidnight, c, "03/05/24 00:00:00"},
        {"c", EncodeDateTime(2024, 3, 5, 0, 0, 0, 1), c, "03/05/24 00:00:00"},
        {"c", afternoon, fr, "05.03.2024 14h07h09"},
        {"t|tt", afternoon, c, "14:07|14:07:09"},
        // separators, quoted text and characters copied
        {"dd/mm/yy hh:nn", afternoon, fr, "05.03.24 14h07"},
        {"'yyyy' \"mm\" 'it''s'", afternoon, c, "yyyy mm its"},
        {"'unterminated", afternoon, c, "unterminated"},
        {"x#q_-.,!", afternoon, c, "x#q_-.,!"},
        {"", afternoon, c, ""},
    };
    for (const auto& test : cases)
        EXPECT_EQ(FormatDateTime(test.pattern, test.value, test.settings), test.expected) << test.pattern;
}

TEST(FormatDateTime, ALocaleFormatThatNamesItselfEnds)
{
    FormatSettings s;
    s.shortDateFormat = "ddddd-c";
    s.longTimeFormat = "tt";
    const std::string text = FormatDateTime("ddddd", EncodeDateTime(2024, 3, 5, 1, 2, 3), s);
    EXPECT_FALSE(text.empty());
    EXPECT_LT(text.size(), 100u);
}

TEST(FormatSettingsFromLocale, TranslatesTheCLibraryFormats)
{
    const struct {
        const char* date;
        const char* time;
        const char* dateTime;
        const char* dateSeparator;
        const char* timeSeparator;
        const char* shortDate;
        const char* longDate;
        const char* shortTime;
        const char* longTime;
    } cases[] = {
        {"%m/%d/%y", "%H:%M:%S", "%a %b %e %H:%M:%S %Y", "/", ":", "mm/dd/yy", "ddd mmm d yyyy", "hh:nn", "hh:nn:ss"},
        {"%d/%m/%Y", "%T", "%a %d %b %Y %T %Z", "/", ":", "dd/mm/yyyy", "ddd dd mmm yyyy", "hh:nn", "hh:nn:ss"},
        {"%d.%m.%Y", "%T", "%a %d %b %Y %T %Z", ".", ":", "dd.mm.yyyy", "ddd dd mmm yyyy", "hh:nn", "hh:nn:ss"},
        {"%Y-%m-%d", "%Hh%M", "%A %d %B %Y", "-", "h", "yyyy-mm-dd", "dddd dd mmmm yyyy", "hh\"h\"nn", "hh\"h\"nn"},
        {"%D", "%r", "", "/", ":", "mm/dd/yy", "mm/dd/yy", "hh:nn ampm", "hh:nn:ss ampm"},
        {"", "", "", "/", ":", "mm/dd/yy", "mm/dd/yy", "hh:nn", "hh:nn:ss"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        platform::LocaleDateTimeData locale;
        locale.dateFormat = c.date;
        locale.timeFormat = c.time;
        locale.dateTimeFormat = c.dateTime;
        const FormatSettings s = FormatSettingsFromLocale(locale);
        EXPECT_EQ(s.dateSeparator, c.dateSeparator);
        EXPECT_EQ(s.timeSeparator, c.timeSeparator);
        EXPECT_EQ(s.shortDateFormat, c.shortDate);
        EXPECT_EQ(s.longDateFormat, c.longDate);
        EXPECT_EQ(s.shortTimeFormat, c.shortTime);
        EXPECT_EQ(s.longTimeFormat, c.longTime);
    }
}

TEST(FormatSettingsFromLocale, TheMachineLocaleWritesTheDefaultPattern)
{
    // Tests run in the C locale: its formats give the familiar shapes.
    const TDateTime value = EncodeDateTime(2009, 3, 14, 16, 5, 9, 42);
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", value, FormatSettingsFromLocale(platform::CurrentLocaleDateTimeData())),
              "2009-03-14 16:05:09.042");
    EXPECT_EQ(FormatDateTime("ddddd mmmm", value, FormatSettingsFromLocale(platform::CurrentLocaleDateTimeData())),
              "03/14/09 March");
}

} // namespace
} // namespace morvane
