#pragma once
// Changes one key of an INI text the way the Windows profile functions do: only
// that line changes (or one line is added), so everything else an administrator
// wrote in the file (comments anywhere, spacing, lines the reader skips) is kept.

#include <string>
#include <string_view>

namespace morvane {

// Section and key names are compared without regard to case, blanks around them
// ignored. A missing key is added after the last line of its section; a missing
// section is added at the end. Line ends follow the text's own (CR LF or LF).
// Line breaks inside the value become blanks: a value is one line.
std::string SetIniValue(std::string_view text, std::string_view section, std::string_view key, std::string_view value);

} // namespace morvane
