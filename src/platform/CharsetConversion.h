#pragma once
// Text in a named character set (windows-1252, ISO-8859-15, ...) turned into UTF-8 by
// the C library's converter. The outcome says what went wrong; the caller words it.

#include <cstddef>
#include <string>
#include <string_view>

namespace morvane::platform {

struct Utf8Conversion {
    enum class Status {
        Converted,
        UnknownCharset, // the converter knows no such set, or not towards UTF-8
        InvalidInput,   // the byte at invalidOffset starts no character of the set
    };
    Status status = Status::Converted;
    std::string text;              // the UTF-8 text when Converted
    std::size_t invalidOffset = 0; // for InvalidInput: where reading stopped in the input
};

Utf8Conversion ConvertToUtf8(std::string_view text, const std::string& charset);

} // namespace morvane::platform
