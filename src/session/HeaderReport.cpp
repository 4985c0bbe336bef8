#include "session/HeaderReport.h"

#include "core/Text.h"
#include "session/DatabaseLocation.h"

namespace morvane {

std::string_view HeaderKeywordText(HeaderKeyword keyword)
{
    switch (keyword) {
    case HeaderKeyword::Database: return "Database \"";
    case HeaderKeyword::PageSize: return "Page size";
    case HeaderKeyword::PageBuffers: return "Page buffers";
    case HeaderKeyword::SweepInterval: return "Sweep interval:";
    case HeaderKeyword::Attributes: return "Attributes";
    }
    return {};
}

std::optional<HeaderReportValue> ParseHeaderReport(std::string_view line, HeaderKeyword keyword)
{
    const std::string cleaned = Trim(line);
    const std::string_view keywordText = HeaderKeywordText(keyword);
    if (cleaned.size() < keywordText.size() || !SameText(std::string_view{cleaned}.substr(0, keywordText.size()), keywordText))
        return std::nullopt;
    const std::string value = Trim(std::string_view{cleaned}.substr(keywordText.size()));

    HeaderReportValue result;
    result.keyword = keyword;
    switch (keyword) {
    case HeaderKeyword::Database: {
        // The value ends with the closing quote of the file name.
        const std::string_view fileName = std::string_view{value}.substr(0, value.empty() ? 0 : value.size() - 1);
        result.text = ExtractFolder(fileName);
        result.file = std::string{fileName};
        break;
    }
    case HeaderKeyword::PageSize: result.text = value; break;
    case HeaderKeyword::PageBuffers:
    case HeaderKeyword::SweepInterval: result.number = StrToInt(value); break;
    case HeaderKeyword::Attributes: {
        const std::string upper = UpperCase(value);
        result.reserveIndex = upper.find("NO RESERVE") != std::string::npos ? 0 : 1;
        result.writeModeIndex = upper.find("FORCE WRITE") != std::string::npos ? 0 : 1;
        break;
    }
    }
    return result;
}

} // namespace morvane
