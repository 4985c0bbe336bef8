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

namespace {
const char HexDigits[] = "0123456789abcdef";

// The length of the valid UTF-8 sequence at the start of text (shortest form, no
// surrogate, at most U+10FFFF), or 0 when the first byte starts none.
std::size_t ValidSequenceLength(std::string_view text, char32_t& codePoint)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(0);
    std::size_t length;
    char32_t minimum;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
        minimum = 0x80;
        codePoint = first & 0x1F;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        minimum = 0x800;
        codePoint = first & 0x0F;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        codePoint = first & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

void AppendEscaped(std::string& out, char32_t codePoint)
{
    switch (codePoint) {
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    if (codePoint < 0x100) {
        const char escape[] = {'\\', 'x', HexDigits[codePoint >> 4], HexDigits[codePoint & 0xF]};
        out.append(escape, sizeof escape);
        return;
    }
    const char escape[] = {'\\',
                           'u',
                           HexDigits[(codePoint >> 12) & 0xF],
                           HexDigits[(codePoint >> 8) & 0xF],
                           HexDigits[(codePoint >> 4) & 0xF],
                           HexDigits[codePoint & 0xF]};
    out.append(escape, sizeof escape);
}

bool IsControl(char32_t codePoint)
{
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F) || codePoint == 0x2028 ||
           codePoint == 0x2029;
}

void AppendCodePoint(std::string& out, char32_t codePoint)
{
    if (IsControl(codePoint)) {
        AppendEscaped(out, codePoint);
    } else if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else {
        // Only ISO-8859-1 bytes come here (U+00A0 to U+00FF): two bytes each.
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}
} // namespace

void AppendOneLine(std::string& out, std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        // Plain printable ASCII, the whole of the program's own lines, goes in runs.
        std::size_t run = i;
        while (run < text.size() && text[run] >= 0x20 && text[run] < 0x7F)
            ++run;
        out.append(text.data() + i, run - i);
        i = run;
        if (i == text.size())
            break;
        const auto byte = static_cast<unsigned char>(text[i]);
        char32_t codePoint = 0;
        const std::size_t length = byte < 0x80 ? 0 : ValidSequenceLength(text.substr(i), codePoint);
        if (length == 0) {
            AppendCodePoint(out, byte); // a control character, or a byte read as ISO-8859-1
            ++i;
        } else if (IsControl(codePoint)) {
            AppendEscaped(out, codePoint);
            i += length;
        } else {
            out.append(text.data() + i, length);
            i += length;
        }
    }
}

std::string OneLineText(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    AppendOneLine(result, text);
    return result;
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
