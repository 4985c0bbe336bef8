#pragma once
// The rules of AppLogger.xml that do not need the document: version comparisons,
// the application key and the conversions of attribute texts.

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

// Versions are compared as texts, byte by byte; a prefix is smaller ("1.10" <= "1.2").
bool VersionAtMost(std::string_view version, std::string_view limit) noexcept;

// The key a program entry's ExeName must equal: the program's key, or the title in
// upper case when the key begins with the title (letter case ignored).
std::string ConfigurationApplicationKey(const std::string& title, const std::string& key);

// An attribute integer: an optional minus sign and decimal digits, within 32 bits.
// Raises EConvertError naming the attribute.
std::int32_t ConfigurationInteger(std::string_view text, std::string_view attribute);
// An attribute Boolean: "True"/"False" in any case, or an integer (0 is false).
bool ConfigurationBoolean(std::string_view text, std::string_view attribute);

// The file's text in UTF-8, its declaration saying so: a file declared in windows-1252,
// an ISO set or another encoding iconv knows is converted; UTF-8, the Unicode forms
// and a file without declaration are left as they are. An encoding that cannot be
// converted, or a byte that is no character of it, raises an error naming it.
std::string ConfigurationTextAsUtf8(std::string text);

} // namespace morvane
