#include "global/DateTimeFormat.h"

#include "core/Format.h"

#include <cctype>

namespace morvane {

namespace {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
bool IsSpecifierLetter(char upper) { return std::string_view("YMDHNSZTC").find(upper) != std::string_view::npos; }

bool StartsNoCase(std::string_view text, std::size_t pos, std::string_view prefix)
{
    if (text.size() - pos < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Upper(text[pos + i]) != Upper(prefix[i]))
            return false;
    return true;
}

// Locale formats may themselves hold c, t or ddddd; two levels are enough for any
// real locale and stop a format that names itself.
constexpr int MaximumNesting = 2;

class Formatter {
public:
    Formatter(TDateTime value, const FormatSettings& settings) : parts_(DecodeDateTime(value)), settings_(settings) {}

    std::string Run(std::string_view pattern)
    {
        Append(pattern, 0);
        return std::move(out_);
    }

private:
    void Number(int value, std::size_t digits) { out_ += FormatText("%.*d", static_cast<int>(digits), value); }

    // Whether an am/pm marker follows the hour at pos, before the next hour specifier:
    // only such an hour is on the 12-hour clock, one after the marker stays on 24.
    static bool AmPmFollows(std::string_view pattern, std::size_t pos)
    {
        bool quoted = false;
        for (; pos < pattern.size(); ++pos) {
            const char c = pattern[pos];
            if (c == '\'' || c == '"') {
                quoted = !quoted;
            } else if (!quoted && (c == 'a' || c == 'A')) {
                return StartsNoCase(pattern, pos, "am/pm") || StartsNoCase(pattern, pos, "a/p") ||
                       StartsNoCase(pattern, pos, "ampm");
            } else if (!quoted && (c == 'h' || c == 'H')) {
                return false;
            }
        }
        return false;
    }

    void Append(std::string_view pattern, int level)
    {
        if (level > MaximumNesting)
            return;
        char lastToken = ' ';
        std::size_t pos = 0;
        while (pos < pattern.size()) {
            const char starter = pattern[pos];
            char token = Upper(starter);
            // Only specifiers count for "m right after an hour"; other letters are text.
            if (IsSpecifierLetter(token)) {
                if (token == 'M' && lastToken == 'H')
                    token = 'N';
                lastToken = token;
            }
            std::size_t count = 1;
            auto takeRun = [&] {
                while (pos + count < pattern.size() && Upper(pattern[pos + count]) == Upper(starter))
                    ++count;
            };
            switch (token) {
            case 'Y':
                takeRun();
                if (count <= 2)
                    Number(parts_.year % 100, 2);
                else
                    Number(parts_.year, 4);
                break;
            case 'M':
                takeRun();
                if (count <= 2)
                    Number(parts_.month, count);
                else if (count == 3)
                    out_ += settings_.shortMonthNames[static_cast<std::size_t>(parts_.month - 1)];
                else
                    out_ += settings_.longMonthNames[static_cast<std::size_t>(parts_.month - 1)];
                break;
            case 'D':
                takeRun();
                if (count <= 2)
                    Number(parts_.day, count);
                else if (count == 3)
                    out_ += settings_.shortDayNames[static_cast<std::size_t>(parts_.dayOfWeek - 1)];
                else if (count == 4)
                    out_ += settings_.longDayNames[static_cast<std::size_t>(parts_.dayOfWeek - 1)];
                else if (count == 5)
                    Append(settings_.shortDateFormat, level + 1);
                else
                    Append(settings_.longDateFormat, level + 1);
                break;
            case 'H': {
                takeRun();
                int hour = parts_.hour;
                if (AmPmFollows(pattern, pos + count)) {
                    if (hour == 0)
                        hour = 12;
                    else if (hour > 12)
                        hour -= 12;
                }
                Number(hour, count > 2 ? 2 : count);
                break;
            }
            case 'N':
                takeRun();
                Number(parts_.minute, count > 2 ? 2 : count);
                break;
            case 'S':
                takeRun();
                Number(parts_.second, count > 2 ? 2 : count);
                break;
            case 'Z':
                takeRun();
                Number(parts_.millisecond, count > 3 ? 3 : count);
                break;
            case 'T':
                takeRun();
                Append(count == 1 ? settings_.shortTimeFormat : settings_.longTimeFormat, level + 1);
                break;
            case 'C':
                takeRun();
                Append(settings_.shortDateFormat, level + 1);
                // Midnight to the millisecond is a date alone; half a second later is not.
                if (parts_.hour != 0 || parts_.minute != 0 || parts_.second != 0 || parts_.millisecond != 0) {
                    out_ += ' ';
                    Append(settings_.longTimeFormat, level + 1);
                }
                break;
            case 'A': {
                const bool afternoon = parts_.hour >= 12;
                if (StartsNoCase(pattern, pos, "am/pm")) {
                    out_ += pattern.substr(afternoon ? pos + 3 : pos, 2); // copied in the case written
                    count = 5;
                } else if (StartsNoCase(pattern, pos, "a/p")) {
                    out_ += pattern.substr(afternoon ? pos + 2 : pos, 1);
                    count = 3;
                } else if (StartsNoCase(pattern, pos, "ampm")) {
                    out_ += afternoon ? settings_.timePmString : settings_.timeAmString;
                    count = 4;
                } else {
                    out_ += starter;
                }
                if (count > 1)
                    lastToken = 'A'; // a marker, not a lone a
                break;
            }
            case '/':
                out_ += settings_.dateSeparator;
                break;
            case ':':
                out_ += settings_.timeSeparator;
                break;
            case '\'':
            case '"': {
                const std::size_t close = pattern.find(starter, pos + 1);
                const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
                out_ += pattern.substr(pos + 1, end - pos - 1);
                count = (close == std::string_view::npos ? end : end + 1) - pos;
                break;
            }
            default:
                out_ += starter;
                break;
            }
            pos += count;
        }
    }

    DateTimeParts parts_;
    const FormatSettings& settings_;
    std::string out_;
};

} // namespace

std::string FormatDateTime(std::string_view pattern, TDateTime value, const FormatSettings& settings)
{
    return Formatter(value, settings).Run(pattern);
}

std::string FormatDateTime(std::string_view pattern, TDateTime value)
{
    return FormatDateTime(pattern, value, CurrentFormatSettings());
}

} // namespace morvane
