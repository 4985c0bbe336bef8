#include "session/DatabaseLocation.h"

namespace morvane {

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }
} // namespace

DatabaseLocation SplitDatabaseLocation(std::string_view dbFileText)
{
    const auto colon = dbFileText.find(':');
    if (colon == std::string_view::npos)
        return {std::string{}, std::string{dbFileText}};
    return {std::string{dbFileText.substr(0, colon)}, std::string{dbFileText.substr(colon + 1)}};
}

std::string ExtractFolder(std::string_view fileName)
{
    for (std::size_t i = fileName.size(); i > 0; --i)
        if (IsSeparator(fileName[i - 1]))
            return std::string{fileName.substr(0, i)};
    return {};
}

std::string ChangeFileExtension(std::string_view fileName, std::string_view extension)
{
    const std::size_t nameStart = ExtractFolder(fileName).size();
    const auto point = fileName.rfind('.');
    std::string result{fileName};
    if (point != std::string_view::npos && point >= nameStart)
        result.resize(point);
    result += extension;
    return result;
}

std::string DriveOfDatabase(std::string_view dbFileText)
{
    const auto colon = dbFileText.find(':');
    const std::size_t start = colon == std::string_view::npos ? 0 : colon + 1;
    return std::string{dbFileText.substr(start, 3)};
}

} // namespace morvane

namespace morvane {

std::string ClusterSizeRootOf(std::string_view dbFileText)
{
    const DatabaseLocation location = SplitDatabaseLocation(dbFileText);
    if (!location.path.empty() && location.path.front() == '/')
        return location.path;
    return DriveOfDatabase(dbFileText);
}

} // namespace morvane
