#include "platform/RegistryStore.h"

#include "core/Text.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>

namespace morvane::platform {

namespace {

std::mutex locationLock;
std::string locationOverride;

// Appends a code point as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-16LE bytes to UTF-8, stopping at a NUL character; a lone surrogate becomes U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes)
{
    std::string out;
    const std::size_t units = bytes.size() / 2;
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2 * i])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8;
    };
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t code = unit(i);
        if (code == 0)
            break;
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;
        }
        AppendUtf8(out, code);
    }
    return out;
}

// The export's text as UTF-8, whatever its encoding.
std::string DecodeExport(std::string_view bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
        return Utf16LeToUtf8(bytes.substr(2));
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return std::string(bytes.substr(3));
    return std::string(bytes);
}

// Joins the lines a value was wrapped over (a line ending in "\" goes on in the next).
std::vector<std::string> LogicalLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::string pending;
    bool continuing = false;
    for (std::string& line : SplitLines(text)) {
        std::string piece = continuing ? TrimLeft(line) : line;
        const std::string trimmed = TrimRight(piece);
        // Only hex data is wrapped by regedit, always after a comma.
        const bool wraps = trimmed.size() >= 2 && trimmed.back() == '\\' && trimmed[trimmed.size() - 2] == ',';
        pending += wraps ? trimmed.substr(0, trimmed.size() - 1) : piece;
        continuing = wraps;
        if (!wraps) {
            lines.push_back(std::move(pending));
            pending.clear();
        }
    }
    if (!pending.empty())
        lines.push_back(std::move(pending));
    return lines;
}

// A quoted name or text from position pos (at the opening quote), with \\ and \"
// escapes; pos moves past the closing quote. None when the quote is not closed.
std::optional<std::string> ReadQuoted(std::string_view line, std::size_t& pos)
{
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    std::string text;
    for (std::size_t i = pos + 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            text += line[++i];
        } else if (c == '"') {
            pos = i + 1;
            return text;
        } else {
            text += c;
        }
    }
    return std::nullopt;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "01,02,ff" (blanks allowed around the bytes, an empty list allowed).
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    const std::string trimmed = Trim(text);
    if (trimmed.empty())
        return bytes;
    std::size_t start = 0;
    while (start <= trimmed.size()) {
        std::size_t comma = trimmed.find(',', start);
        if (comma == std::string::npos)
            comma = trimmed.size();
        const std::string item = Trim(std::string_view(trimmed).substr(start, comma - start));
        if (item.empty() && comma == trimmed.size())
            break; // a trailing comma
        if (item.size() != 2 && item.size() != 1)
            return std::nullopt;
        int value = 0;
        for (const char c : item) {
            const int digit = HexDigit(c);
            if (digit < 0)
                return std::nullopt;
            value = value * 16 + digit;
        }
        bytes.push_back(static_cast<std::uint8_t>(value));
        start = comma + 1;
    }
    return bytes;
}

// The data part of a value line (after "="); none when it cannot be understood.
std::optional<RegistryValue> ParseData(std::string_view data)
{
    RegistryValue value;
    if (!data.empty() && data.front() == '"') {
        std::size_t pos = 0;
        auto text = ReadQuoted(data, pos);
        if (!text || !Trim(data.substr(pos)).empty())
            return std::nullopt;
        value.kind = RegistryValueKind::String;
        value.text = std::move(*text);
        return value;
    }
    if (StartsText("dword:", data)) {
        const std::string digits = Trim(data.substr(6));
        if (digits.empty() || digits.size() > 8)
            return std::nullopt;
        std::uint32_t number = 0;
        for (const char c : digits) {
            const int digit = HexDigit(c);
            if (digit < 0)
                return std::nullopt;
            number = number * 16 + static_cast<std::uint32_t>(digit);
        }
        value.kind = RegistryValueKind::DWord;
        value.number = number;
        return value;
    }
    if (!StartsText("hex", data))
        return std::nullopt;
    std::size_t colon = data.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::string_view type = data.substr(3, colon - 3);
    int typeCode = 3; // REG_BINARY
    if (!type.empty()) {
        if (type.size() < 3 || type.front() != '(' || type.back() != ')')
            return std::nullopt;
        typeCode = 0;
        for (const char c : type.substr(1, type.size() - 2)) {
            const int digit = HexDigit(c);
            if (digit < 0 || typeCode > 0xFFFF)
                return std::nullopt;
            typeCode = typeCode * 16 + digit;
        }
    }
    auto bytes = ParseHexBytes(data.substr(colon + 1));
    if (!bytes)
        return std::nullopt;
    value.data = std::move(*bytes);
    switch (typeCode) {
    case 1: // REG_SZ
    case 2: // REG_EXPAND_SZ
        value.kind = typeCode == 1 ? RegistryValueKind::String : RegistryValueKind::ExpandString;
        value.text = Utf16LeToUtf8(
            std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()));
        break;
    case 4: // REG_DWORD stored as its bytes
        if (value.data.size() == 4) {
            value.kind = RegistryValueKind::DWord;
            value.number = static_cast<std::uint32_t>(value.data[0]) | static_cast<std::uint32_t>(value.data[1]) << 8 |
                           static_cast<std::uint32_t>(value.data[2]) << 16 | static_cast<std::uint32_t>(value.data[3]) << 24;
        } else {
            value.kind = RegistryValueKind::Other;
        }
        break;
    case 3:
        value.kind = RegistryValueKind::Binary;
        break;
    default:
        value.kind = RegistryValueKind::Other;
        break;
    }
    return value;
}

std::string FoldKey(std::string_view keyPath) { return UpperCase(keyPath); }

} // namespace

std::size_t RegistryValue::StoredSize() const
{
    switch (kind) {
    case RegistryValueKind::String:
    case RegistryValueKind::ExpandString:
        return text.size() + 1;
    case RegistryValueKind::DWord:
        return 4;
    default:
        return data.size();
    }
}

const RegistryValue* RegistryStore::Find(std::string_view keyPath, std::string_view valueName) const
{
    const auto key = keys_.find(FoldKey(keyPath));
    if (key == keys_.end())
        return nullptr;
    const auto value = key->second.find(FoldKey(valueName));
    return value == key->second.end() ? nullptr : &value->second;
}

bool RegistryStore::HasKey(std::string_view keyPath) const { return keys_.count(FoldKey(keyPath)) != 0; }

void RegistryStore::AddKey(std::string_view keyPath) { keys_[FoldKey(keyPath)]; }

void RegistryStore::Set(std::string_view keyPath, std::string_view valueName, RegistryValue value)
{
    keys_[FoldKey(keyPath)][FoldKey(valueName)] = std::move(value);
}

RegistryStore ParseRegistryExport(std::string_view bytes)
{
    RegistryStore store;
    std::string currentKey;
    bool inKey = false;
    for (const std::string& rawLine : LogicalLines(DecodeExport(bytes))) {
        const std::string line = Trim(rawLine);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            // "[-KEY]" deletes a key on import: nothing to read from it.
            inKey = line.size() > 2 && line.back() == ']' && line[1] != '-';
            currentKey = inKey ? Trim(std::string_view(line).substr(1, line.size() - 2)) : std::string();
            if (inKey && !currentKey.empty())
                store.AddKey(currentKey);
            continue;
        }
        if (!inKey || currentKey.empty())
            continue;
        std::string name;
        std::size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else {
            auto quoted = ReadQuoted(line, pos);
            if (!quoted)
                continue;
            name = std::move(*quoted);
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            continue;
        auto value = ParseData(Trim(std::string_view(line).substr(pos + 1)));
        if (value)
            store.Set(currentKey, name, std::move(*value));
    }
    return store;
}

std::string RegistryFileLocation()
{
    {
        std::lock_guard guard(locationLock);
        if (!locationOverride.empty())
            return locationOverride;
    }
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config != nullptr && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home != nullptr ? home : "") + "/.config";
    }
    if (folder.back() != '/')
        folder += '/';
    return folder + "Calvenor/registry.reg";
}

void SetRegistryFileLocation(std::string fileName)
{
    std::lock_guard guard(locationLock);
    locationOverride = std::move(fileName);
}

std::optional<RegistryStore> LoadRegistryStore()
{
    std::ifstream file(RegistryFileLocation(), std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad())
        return std::nullopt;
    return ParseRegistryExport(content.str());
}

} // namespace morvane::platform
