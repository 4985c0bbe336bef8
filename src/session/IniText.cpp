#include "session/IniText.h"

#include "core/Text.h"

#include <vector>

namespace morvane {

namespace {

struct Line {
    std::string_view content;
    std::string_view end; // "\r\n", "\n", "\r" or empty for a last line without one
};

std::vector<Line> SplitKeepingEnds(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t stop = text.find_first_of("\r\n", start);
        if (stop == std::string_view::npos) {
            lines.push_back({text.substr(start), {}});
            break;
        }
        const std::size_t endLength = (text[stop] == '\r' && stop + 1 < text.size() && text[stop + 1] == '\n') ? 2 : 1;
        lines.push_back({text.substr(start, stop - start), text.substr(stop, endLength)});
        start = stop + endLength;
    }
    return lines;
}

bool IsComment(std::string_view trimmed) { return !trimmed.empty() && (trimmed[0] == ';' || trimmed[0] == '#'); }

// The name of a section header line, or false when the line is none.
bool SectionName(std::string_view trimmed, std::string& name)
{
    if (trimmed.empty() || trimmed[0] != '[')
        return false;
    const auto close = trimmed.find(']');
    if (close == std::string_view::npos)
        return false;
    name = Trim(trimmed.substr(1, close - 1));
    return true;
}

std::string OneLine(std::string_view value)
{
    std::string line{value};
    for (char& c : line)
        if (c == '\r' || c == '\n')
            c = ' ';
    return line;
}

} // namespace

std::string SetIniValue(std::string_view text, std::string_view section, std::string_view key, std::string_view value)
{
    const std::vector<Line> lines = SplitKeepingEnds(text);
    const std::string_view lineEnd = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    const std::string wantedSection = Trim(section);
    const std::string wantedKey = Trim(key);
    const std::string newLine = wantedKey + "=" + OneLine(value);

    // The first section of that name: its header and the line after its last line.
    std::size_t header = lines.size();
    std::size_t blockEnd = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string name;
        if (!SectionName(Trim(lines[i].content), name))
            continue;
        if (header != lines.size()) {
            blockEnd = i;
            break;
        }
        if (SameText(name, wantedSection))
            header = i;
    }

    std::size_t replace = lines.size();
    std::size_t insertAfter = header; // the last non-blank line of the section
    for (std::size_t i = header + 1; i < blockEnd; ++i) {
        const std::string trimmed = Trim(lines[i].content);
        if (trimmed.empty())
            continue;
        insertAfter = i;
        const auto equals = trimmed.find('=');
        if (!IsComment(trimmed) && equals != std::string::npos &&
            SameText(Trim(std::string_view{trimmed}.substr(0, equals)), wantedKey)) {
            replace = i;
            break;
        }
    }
    const bool sectionFound = header != lines.size();

    std::string result;
    result.reserve(text.size() + newLine.size() + wantedSection.size() + 8);
    const auto append = [&](std::size_t i) {
        result += lines[i].content;
        result += lines[i].end;
    };
    // A last line without its end gets one before anything is written after it.
    const auto appendEnded = [&](std::size_t i) {
        result += lines[i].content;
        result += lines[i].end.empty() ? lineEnd : lines[i].end;
    };

    if (replace != lines.size()) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i == replace) {
                result += newLine;
                result += lines[i].end;
            } else {
                append(i);
            }
        }
        return result;
    }
    if (sectionFound) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i == insertAfter) {
                appendEnded(i);
                result += newLine;
                result += lineEnd;
            } else {
                append(i);
            }
        }
        return result;
    }
    for (std::size_t i = 0; i < lines.size(); ++i)
        i + 1 == lines.size() ? appendEnded(i) : append(i);
    result += "[" + wantedSection + "]";
    result += lineEnd;
    result += newLine;
    result += lineEnd;
    return result;
}

} // namespace morvane
