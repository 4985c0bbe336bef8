#pragma once
// Takes the database settings out of the lines of a header statistics report.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace morvane {

enum class HeaderKeyword { Database, PageSize, PageBuffers, SweepInterval, Attributes };

// The five keywords in the order each report line is tried against them.
inline constexpr std::array<HeaderKeyword, 5> HeaderKeywords{HeaderKeyword::Database, HeaderKeyword::PageSize,
                                                             HeaderKeyword::PageBuffers, HeaderKeyword::SweepInterval,
                                                             HeaderKeyword::Attributes};

// The text a line begins with for that keyword ("Database \"", "Page size", ...).
std::string_view HeaderKeywordText(HeaderKeyword keyword);

// What one matching line gives. Only the members of its keyword are set.
struct HeaderReportValue {
    HeaderKeyword keyword{HeaderKeyword::Database};
    std::string text;      // Database: the backup folder; PageSize: the page-size text
    std::string file;      // Database: the file as the server names it (an alias or a link resolved)
    int number{0};         // PageBuffers, SweepInterval
    int reserveIndex{-1};  // Attributes: 0 "NON" (no reserve), 1 "OUI"
    int writeModeIndex{-1}; // Attributes: 0 "NON" (forced writes), 1 "OUI" (asynchronous)
};

// Compares a report line with one keyword (without regard to case, after removing
// blanks and control characters at both ends) and returns what it sets, or nothing
// when the line does not begin with the keyword. The database line keeps its own
// letter case, so the folder names a folder that exists on a case-sensitive system.
// A number that is not an integer raises EConvertError.
std::optional<HeaderReportValue> ParseHeaderReport(std::string_view line, HeaderKeyword keyword);

} // namespace morvane
