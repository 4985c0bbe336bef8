#pragma once
// A list of text lines, used for name=value parameter lists and for the lines
// shown in the report area. How names are matched is up to each user of the list;
// the helpers here take the rule as an argument.

#include <string>
#include <string_view>
#include <vector>

namespace morvane {

enum class NameMatch { IgnoreCase, ExactCase };

class TStringList {
public:
    TStringList() = default;
    TStringList(std::initializer_list<std::string> lines) : lines_(lines) {}

    std::size_t Count() const noexcept { return lines_.size(); }
    bool Empty() const noexcept { return lines_.empty(); }
    const std::string& operator[](std::size_t index) const { return lines_.at(index); }
    std::string& operator[](std::size_t index) { return lines_.at(index); }
    const std::vector<std::string>& Lines() const noexcept { return lines_; }

    void Add(std::string line) { lines_.push_back(std::move(line)); }
    void Delete(std::size_t index);
    void Clear() noexcept { lines_.clear(); }
    void Assign(const TStringList& other) { lines_ = other.lines_; }

    // The lines joined, each followed by the line end.
    std::string Text(std::string_view lineEnd = "\n") const;
    // Replaces the lines with those of a text (CR LF, LF or CR line ends).
    void SetText(std::string_view text);

    // Name and value of a line: the text before and after its first "=".
    // A line without "=" has the whole line as name and an empty value.
    static std::string NameOf(std::string_view line);
    static std::string ValueOf(std::string_view line);
    std::string Names(std::size_t index) const { return NameOf(lines_.at(index)); }
    std::string ValueFromIndex(std::size_t index) const { return ValueOf(lines_.at(index)); }

    // The first line whose name matches, or -1.
    int IndexOfName(std::string_view name, NameMatch match = NameMatch::IgnoreCase) const;
    int IndexOf(std::string_view line, NameMatch match = NameMatch::IgnoreCase) const;
    // The value of the first line with that name, or the empty text.
    std::string Values(std::string_view name, NameMatch match = NameMatch::IgnoreCase) const;
    // Sets the value of the first line with that name, adds a line when there is none,
    // removes the line when the value is empty.
    void SetValue(std::string_view name, std::string_view value, NameMatch match = NameMatch::IgnoreCase);

    bool operator==(const TStringList& other) const = default;

private:
    std::vector<std::string> lines_;
};

} // namespace morvane
