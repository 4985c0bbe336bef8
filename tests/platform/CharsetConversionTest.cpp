#include "platform/CharsetConversion.h"

#include <gtest/gtest.h>

namespace morvane::platform {
namespace {

using Status = Utf8Conversion::Status;

TEST(CharsetConversion, ConvertsOrSaysWhyNot)
{
    const struct {
        const char* charset;
        std::string input;
        Status status;
        std::string text;
        std::size_t invalidOffset;
    } cases[] = {
        {"windows-1252", "caf\xE9 \x80", Status::Converted, "café €", 0},
        {"ISO-8859-15", "\xA4", Status::Converted, "€", 0},
        {"ISO-8859-1", "", Status::Converted, "", 0},
        {"UTF-8", "ok \xC3\xA9", Status::Converted, "ok é", 0},
        // A stateful set: the shift back to ASCII belongs to the input, not the output.
        {"ISO-2022-JP", "a\x1B$B$\"\x1B(Bb", Status::Converted, "aあb", 0},
        {"no-such-charset", "abc", Status::UnknownCharset, "", 0},
        {"UTF-8", "ab\xFF" "cd", Status::InvalidInput, "", 2},
        {"windows-1252", "ab\x81", Status::InvalidInput, "", 2}, // a hole in the code page
        {"UTF-8", "abc\xC3", Status::InvalidInput, "", 3}, // cut in the middle of a character
    };
    for (const auto& c : cases) {
        const Utf8Conversion result = ConvertToUtf8(c.input, c.charset);
        EXPECT_EQ(result.status, c.status) << c.charset << " " << c.input;
        EXPECT_EQ(result.text, c.text) << c.charset << " " << c.input;
        EXPECT_EQ(result.invalidOffset, c.invalidOffset) << c.charset << " " << c.input;
    }
}

TEST(CharsetConversion, OutputThatOutgrowsTheFirstGuessIsWhole)
{
    // Each byte becomes three: more than the room first set aside.
    const std::string input(10000, '\x80');
    std::string expected;
    for (int i = 0; i < 10000; ++i)
        expected += "€";
    const Utf8Conversion result = ConvertToUtf8(input, "windows-1252");
    ASSERT_EQ(result.status, Status::Converted);
    EXPECT_EQ(result.text, expected);
}

} // namespace
} // namespace morvane::platform
