// Text from outside on its way to a log line: whatever the bytes, the result is one
// line of valid UTF-8, and text that already was one is left as it is.
#include "FuzzInput.h"
#include "core/Text.h"

namespace {

// Strict UTF-8 without control characters, decoded independently of the code under test.
bool IsCleanUtf8Line(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        std::uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (next & 0x3F);
        }
        const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        if (value < 0x20 || (value >= 0x7F && value <= 0x9F) || value == 0x2028 || value == 0x2029)
            return false;
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    const std::string_view text = fuzz::Text(data, size);
    const std::string line = OneLineText(text);
    if (!IsCleanUtf8Line(line))
        __builtin_trap();
    if (IsCleanUtf8Line(text) && line != text)
        __builtin_trap();
    // Appending gives the same text after what is there.
    std::string appended = "prefix: ";
    AppendOneLine(appended, text);
    if (appended.compare(8, std::string::npos, line) != 0)
        __builtin_trap();
    return 0;
}
