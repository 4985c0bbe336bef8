#include "core/ChunkLines.h"
#include "core/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace morvane;

namespace {

// The lines of text fed in the given chunks, in the order they were given.
std::vector<std::string> LinesOf(const std::vector<std::string>& chunks)
{
    TChunkLines lines;
    std::vector<std::string> out;
    for (const std::string& chunk : chunks)
        for (std::string& line : lines.Feed(chunk))
            out.push_back(std::move(line));
    if (std::optional<std::string> last = lines.Finish())
        out.push_back(std::move(*last));
    return out;
}

} // namespace

// However a child's output is cut into chunks (a CR LF cut in two included), the
// lines are those of the whole output.
TEST(ChunkLines, AnyCuttingGivesTheLinesOfTheWholeText)
{
    const std::string texts[] = {
        "",
        "abc",
        "abc\n",
        "abc\r\ndef",
        "un\r\ndeux\r\n\r\ntrois\r\n",
        "mac\rlignes\r\rfin",
        "\n\n",
        "\r\n",
        "a\r\n\nb",
        "sans fin de ligne\r",
        "é\r\nà\n",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const std::vector<std::string> whole = SplitLines(text);
        EXPECT_EQ(LinesOf({text}), whole);
        for (std::size_t first = 0; first <= text.size(); ++first)
            for (std::size_t second = first; second <= text.size(); ++second)
                EXPECT_EQ(LinesOf({text.substr(0, first), text.substr(first, second - first), text.substr(second)}),
                          whole)
                    << first << " " << second;
    }
}

TEST(ChunkLines, ALineIsGivenAsSoonAsItsEndArrives)
{
    TChunkLines lines;
    EXPECT_TRUE(lines.Feed("StopServices: arrêt").empty());
    EXPECT_EQ(lines.Feed(" du service\r"), std::vector<std::string>{"StopServices: arrêt du service"});
    EXPECT_TRUE(lines.Feed("\n").empty()) << "the LF of a CR LF cut in two ends no line";
    EXPECT_EQ(lines.Feed("attente\nfini"), std::vector<std::string>{"attente"});
    EXPECT_EQ(lines.Finish(), std::optional<std::string>("fini"));
    EXPECT_EQ(lines.Finish(), std::nullopt);
}
