#include "global/DateTimeFormat.h"

#include "core/Text.h"

#include <cctype>
#include <mutex>
#include <vector>

namespace morvane {

namespace {

// One piece of a strftime format: a conversion (without its %) or literal text.
struct Piece {
    bool conversion;
    std::string text;
};

// Splits a format into pieces, composite conversions written out and the E and O
// modifiers dropped.
std::vector<Piece> Split(std::string_view format)
{
    std::vector<Piece> pieces;
    auto literal = [&](char c) {
        if (pieces.empty() || pieces.back().conversion)
            pieces.push_back({false, {}});
        pieces.back().text += c;
    };
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            literal(format[i]);
            continue;
        }
        char c = format[++i];
        if ((c == 'E' || c == 'O') && i + 1 < format.size())
            c = format[++i];
        const char* composite = nullptr;
        switch (c) {
        case 'D': composite = "%m/%d/%y"; break;
        case 'T': composite = "%H:%M:%S"; break;
        case 'R': composite = "%H:%M"; break;
        case 'r': composite = "%I:%M:%S %p"; break;
        case 'F': composite = "%Y-%m-%d"; break;
        case 'n':
        case 't': literal(' '); continue;
        case '%': literal('%'); continue;
        default: break;
        }
        if (composite != nullptr) {
            for (const Piece& piece : Split(composite)) {
                if (piece.conversion)
                    pieces.push_back(piece);
                else
                    for (const char ch : piece.text)
                        literal(ch);
            }
            continue;
        }
        pieces.push_back({true, std::string(1, c)});
    }
    return pieces;
}

bool IsTimeConversion(const Piece& piece)
{
    return piece.conversion && std::string_view("HkIlMSpPZz").find(piece.text[0]) != std::string_view::npos;
}

// The first separator between two conversions, or the fallback.
std::string FirstSeparator(const std::vector<Piece>& pieces, const std::string& fallback)
{
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        const std::string trimmed = Trim(pieces[i].text);
        if (!pieces[i].conversion && pieces[i - 1].conversion && pieces[i + 1].conversion && !trimmed.empty())
            return trimmed;
    }
    return fallback;
}

// Drops the pieces the test picks together with the literal text before each.
std::string Join(const std::vector<Piece>& pieces, bool (*drop)(const Piece&))
{
    std::string format;
    std::vector<Piece> kept;
    for (const Piece& piece : pieces) {
        if (drop(piece)) {
            if (!kept.empty() && !kept.back().conversion)
                kept.pop_back();
            continue;
        }
        kept.push_back(piece);
    }
    for (const Piece& piece : kept)
        format += piece.conversion ? "%" + piece.text : piece.text;
    return Trim(format);
}

std::mutex settingsLock;
bool settingsTaken = false;
FormatSettings currentSettings;

} // namespace

std::string PatternFromStrftime(std::string_view format, std::string_view dateSeparator, std::string_view timeSeparator)
{
    std::string pattern;
    for (const Piece& piece : Split(format)) {
        if (!piece.conversion) {
            for (const char c : piece.text) {
                const bool separator = (c == '/' && dateSeparator == "/") || (c == ':' && timeSeparator == ":");
                if (separator || !(std::isalpha(static_cast<unsigned char>(c)) || c == '/' || c == ':' || c == '"' ||
                                   c == '\''))
                    pattern += c;
                else if (c == '"')
                    pattern += "'\"'";
                else
                    pattern += std::string("\"") + c + "\"";
            }
            continue;
        }
        switch (piece.text[0]) {
        case 'Y': pattern += "yyyy"; break;
        case 'y': pattern += "yy"; break;
        case 'm': pattern += "mm"; break;
        case 'd': pattern += "dd"; break;
        case 'e': pattern += "d"; break;
        case 'b':
        case 'h': pattern += "mmm"; break;
        case 'B': pattern += "mmmm"; break;
        case 'a': pattern += "ddd"; break;
        case 'A': pattern += "dddd"; break;
        case 'H':
        case 'I': pattern += "hh"; break;
        case 'k':
        case 'l': pattern += "h"; break;
        case 'M': pattern += "nn"; break;
        case 'S': pattern += "ss"; break;
        case 'p':
        case 'P': pattern += "ampm"; break;
        default: break; // time zones, week numbers and the like have no specifier
        }
    }
    return pattern;
}

FormatSettings FormatSettingsFromLocale(const platform::LocaleDateTimeData& locale)
{
    FormatSettings settings;
    const auto date = Split(locale.dateFormat);
    const auto time = Split(locale.timeFormat);
    settings.dateSeparator = FirstSeparator(date, settings.dateSeparator);
    settings.timeSeparator = FirstSeparator(time, settings.timeSeparator);
    auto convert = [&](std::string_view format) {
        return PatternFromStrftime(format, settings.dateSeparator, settings.timeSeparator);
    };
    if (!locale.dateFormat.empty())
        settings.shortDateFormat = convert(locale.dateFormat);
    if (!locale.timeFormat.empty()) {
        settings.longTimeFormat = convert(locale.timeFormat);
        settings.shortTimeFormat = convert(Join(time, [](const Piece& p) { return p.conversion && p.text == "S"; }));
    }
    const std::string longDate = Join(Split(locale.dateTimeFormat), IsTimeConversion);
    settings.longDateFormat = longDate.empty() ? settings.shortDateFormat : convert(longDate);
    if (!locale.amString.empty() || !locale.pmString.empty()) {
        settings.timeAmString = locale.amString;
        settings.timePmString = locale.pmString;
    }
    for (std::size_t i = 0; i < 12; ++i) {
        if (!locale.shortMonthNames[i].empty())
            settings.shortMonthNames[i] = locale.shortMonthNames[i];
        if (!locale.longMonthNames[i].empty())
            settings.longMonthNames[i] = locale.longMonthNames[i];
    }
    for (std::size_t i = 0; i < 7; ++i) {
        if (!locale.shortDayNames[i].empty())
            settings.shortDayNames[i] = locale.shortDayNames[i];
        if (!locale.longDayNames[i].empty())
            settings.longDayNames[i] = locale.longDayNames[i];
    }
    return settings;
}

const FormatSettings& CurrentFormatSettings()
{
    std::lock_guard guard(settingsLock);
    if (!settingsTaken) {
        currentSettings = FormatSettingsFromLocale(platform::CurrentLocaleDateTimeData());
        settingsTaken = true;
    }
    return currentSettings;
}

void SetCurrentFormatSettings(const FormatSettings& settings)
{
    std::lock_guard guard(settingsLock);
    currentSettings = settings;
    settingsTaken = true;
}

} // namespace morvane
