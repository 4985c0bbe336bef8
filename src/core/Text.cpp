#include "core/Text.h"

#include "core/Exception.h"
#include "core/Format.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace morvane {

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Parses a decimal integer (optional sign, or $/0x hexadecimal) with blanks around it.
bool ParseInteger(std::string_view text, long long minimum, long long maximum, long long& value)
{
    // Leading blanks are accepted, trailing ones are not (as the system's own conversion).
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ')
        ++start;
    const std::string_view trimmed = text.substr(start);
    if (trimmed.empty())
        return false;
    std::size_t pos = 0;
    bool negative = false;
    if (trimmed[pos] == '+' || trimmed[pos] == '-') {
        negative = trimmed[pos] == '-';
        ++pos;
    }
    int base = 10;
    if (pos < trimmed.size() && trimmed[pos] == '$') {
        base = 16;
        ++pos;
    } else if (pos + 1 < trimmed.size() && trimmed[pos] == '0' && (trimmed[pos + 1] == 'x' || trimmed[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    }
    if (pos >= trimmed.size())
        return false;
    unsigned long long magnitude = 0;
    for (; pos < trimmed.size(); ++pos) {
        const char c = trimmed[pos];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        if (magnitude > (ULLONG_MAX - static_cast<unsigned>(digit)) / static_cast<unsigned>(base))
            return false;
        magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (magnitude > static_cast<unsigned long long>(LLONG_MAX) + 1ULL)
            return false;
    }
    long long result;
    if (negative)
        result = magnitude == static_cast<unsigned long long>(LLONG_MAX) + 1ULL ? LLONG_MIN : -static_cast<long long>(magnitude);
    else if (magnitude > static_cast<unsigned long long>(LLONG_MAX))
        return false;
    else
        result = static_cast<long long>(magnitude);
    if (result < minimum || result > maximum)
        return false;
    value = result;
    return true;
}

[[noreturn]] void RaiseNotANumber(std::string_view text)
{
    throw EConvertError(FormatText("'%s' n'est pas une valeur numérique valide", std::string(text)));
}
} // namespace

std::string TrimLeft(std::string_view text)
{
    std::size_t first = 0;
    while (first < text.size() && IsBlank(text[first]))
        ++first;
    return std::string(text.substr(first));
}

std::string TrimRight(std::string_view text)
{
    std::size_t last = text.size();
    while (last > 0 && IsBlank(text[last - 1]))
        --last;
    return std::string(text.substr(0, last));
}

std::string Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

std::string UpperCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = Upper(c);
    return result;
}

std::string LowerCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = Lower(c);
    return result;
}

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

bool StartsText(std::string_view prefix, std::string_view text)
{
    return text.size() >= prefix.size() && SameText(prefix, text.substr(0, prefix.size()));
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

bool TryStrToInt(std::string_view text, int& value)
{
    long long parsed = 0;
    if (!ParseInteger(text, INT_MIN, INT_MAX, parsed))
        return false;
    value = static_cast<int>(parsed);
    return true;
}

int StrToInt(std::string_view text)
{
    int value = 0;
    if (!TryStrToInt(text, value))
        RaiseNotANumber(text);
    return value;
}

long long StrToInt64(std::string_view text)
{
    long long value = 0;
    if (!ParseInteger(text, LLONG_MIN, LLONG_MAX, value))
        RaiseNotANumber(text);
    return value;
}

int StrToIntDef(std::string_view text, int fallback)
{
    int value = 0;
    return TryStrToInt(text, value) ? value : fallback;
}

} // namespace morvane
