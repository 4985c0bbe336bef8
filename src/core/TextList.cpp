#include "core/TextList.h"

#include "core/Text.h"

namespace morvane {

namespace {
bool NamesMatch(std::string_view a, std::string_view b, NameMatch match)
{
    return match == NameMatch::ExactCase ? a == b : SameText(a, b);
}
} // namespace

void TStringList::Delete(std::size_t index)
{
    if (index < lines_.size())
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::string TStringList::Text(std::string_view lineEnd) const
{
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += lineEnd;
    }
    return text;
}

void TStringList::SetText(std::string_view text) { lines_ = SplitLines(text); }

std::string TStringList::NameOf(std::string_view line)
{
    const auto equals = line.find('=');
    return std::string(equals == std::string_view::npos ? line : line.substr(0, equals));
}

std::string TStringList::ValueOf(std::string_view line)
{
    const auto equals = line.find('=');
    return equals == std::string_view::npos ? std::string() : std::string(line.substr(equals + 1));
}

int TStringList::IndexOfName(std::string_view name, NameMatch match) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].find('=') == std::string::npos)
            continue;
        if (NamesMatch(NameOf(lines_[i]), name, match))
            return static_cast<int>(i);
    }
    return -1;
}

int TStringList::IndexOf(std::string_view line, NameMatch match) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (NamesMatch(lines_[i], line, match))
            return static_cast<int>(i);
    return -1;
}

std::string TStringList::Values(std::string_view name, NameMatch match) const
{
    const int index = IndexOfName(name, match);
    return index < 0 ? std::string() : ValueOf(lines_[static_cast<std::size_t>(index)]);
}

void TStringList::SetValue(std::string_view name, std::string_view value, NameMatch match)
{
    const int index = IndexOfName(name, match);
    std::string line = std::string(name) + "=" + std::string(value);
    if (index < 0) {
        if (!value.empty())
            lines_.push_back(std::move(line));
    } else if (value.empty()) {
        Delete(static_cast<std::size_t>(index));
    } else {
        lines_[static_cast<std::size_t>(index)] = std::move(line);
    }
}

} // namespace morvane
