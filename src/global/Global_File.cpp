#include "global/Global_File.h"

#include "core/Exception.h"
#include "core/Text.h"
#include "global/DateTimeFormat.h"
#include "global/Global_Computer.h"
#include "global/Global_Utils.h"
#include "platform/Disk.h"

namespace morvane {

namespace {

constexpr std::size_t MacroSearchLength = 300;
constexpr std::size_t TextKeptAfterMacro = 400;
// A command-line value may hold further macros, but one that holds its own macro
// would be expanded without end: passes beyond this many mean such a loop.
constexpr std::size_t ExtraPasses = 64;

[[noreturn]] void InvalidTemplate(const std::string& pattern)
{
    throw Exception("FileLogger : Masque de fichier invalide \"" + pattern + "\"");
}

bool Contains(const std::string& format, char letter)
{
    const std::string upper = UpperCase(format);
    return upper.find(letter) != std::string::npos;
}

// The program file's name without folder and without its extension, case kept.
std::string ExeName()
{
    std::string name = ProgramFileName();
    const std::size_t slash = name.find_last_of('/');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

std::string Replacement(const std::string& macro, const std::string& pattern, TDateTime& nextChange)
{
    if (macro == "?STATION_NAME?")
        return GetStationName(true, true);
    if (macro == "?STATION_NAME_NOTS?")
        return GetStationName(false, false);
    if (macro.compare(0, 11, "?FORMATDATE") == 0)
        return DateText(macro.substr(11, macro.size() - 12), nextChange);
    if (macro == "?DATE?")
        return DateText("yyyymmdd", nextChange);
    if (macro == "?DATEHEURE?")
        return DateText("yyyymmddhhnnss", nextChange);
    if (macro == "?EXENAME?")
        return ExeName();
    if (macro.compare(0, 10, "?PARAMSTR=") == 0) {
        std::string value;
        GetParamValue(macro.substr(10, macro.size() - 11), value);
        return value;
    }
    InvalidTemplate(pattern);
}

} // namespace

std::string DateText(const std::string& format, TDateTime& nextChange)
{
    const TDateTime now = Now();
    const std::string text = FormatDateTime(format, now);
    const DateTimeParts p = DecodeDateTime(now);
    if (Contains(format, 'Z'))
        nextChange = now;
    else if (Contains(format, 'S'))
        nextChange = now + 1000.0 / MillisecondsPerDay;
    else if (Contains(format, 'N'))
        nextChange = EncodeDateTime(p.year, p.month, p.day, p.hour, p.minute) + 60000.0 / MillisecondsPerDay;
    else if (Contains(format, 'H'))
        nextChange = EncodeDateTime(p.year, p.month, p.day, p.hour) + 3600000.0 / MillisecondsPerDay;
    else if (Contains(format, 'D'))
        nextChange = EncodeDateTime(p.year, p.month, p.day) + 1.0;
    else if (Contains(format, 'M'))
        nextChange = p.month == 12 ? EncodeDateTime(p.year + 1, 1, 1) : EncodeDateTime(p.year, p.month + 1, 1);
    else if (Contains(format, 'Y'))
        nextChange = EncodeDateTime(p.year + 1, 1, 1);
    return text;
}

std::string TGlobalFile::ExpandMacros(const std::string& pattern, TDateTime& nextChange) const
{
    nextChange = NeverChanges;
    std::string text = pattern;
    const std::size_t maximumPasses = pattern.size() + ExtraPasses;
    for (std::size_t pass = 0;; ++pass) {
        const std::size_t start = text.find('?');
        if (start == std::string::npos)
            return text;
        if (pass >= maximumPasses)
            InvalidTemplate(pattern);
        const std::size_t end = text.find('?', start + 1);
        if (end == std::string::npos || end - start > MacroSearchLength)
            InvalidTemplate(pattern);
        const std::string macro = text.substr(start, end - start + 1);
        const std::string replacement = Replacement(macro, pattern, nextChange);
        text = text.substr(0, start) + replacement + text.substr(end + 1, TextKeptAfterMacro);
    }
}

std::string TGlobalFile::ExpandMacros(const std::string& pattern, bool& dependsOnDate) const
{
    TDateTime nextChange = NeverChanges;
    std::string text = ExpandMacros(pattern, nextChange);
    dependsOnDate = nextChange < NeverChanges;
    return text;
}

std::string TGlobalFile::ExpandMacros(const std::string& pattern) const
{
    bool dependsOnDate = false;
    return ExpandMacros(pattern, dependsOnDate);
}

TGlobalFile& GlobalFile()
{
    static TGlobalFile instance;
    return instance;
}

std::uint32_t GetClusterSize(const std::string& root) { return platform::ClusterSize(root); }

} // namespace morvane
