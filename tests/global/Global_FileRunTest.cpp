#include "global/Global_File.h"

#include "core/MessagePump.h"

#include "support/CountingPump.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace morvane {
namespace {
using morvane::test::CountingPump;


// Whatever the pipe delivered in one read, the list holds the whole output, and
// only a chunk that ended a line closes an entry.
void ExpectEntriesCoverTheOutput(const TStringList& lines, std::size_t firstNew, const std::string& output)
{
    std::string joined;
    for (std::size_t i = firstNew; i < lines.Count(); ++i) {
        joined += lines[i];
        if (i + 1 < lines.Count()) {
            EXPECT_EQ(lines[i].back(), '\n') << "entry " << i << " was not joined to the next";
        }
    }
    EXPECT_EQ(joined, output);
}

TEST(RunCmdLine, ReturnsOutputAndErrorsMergedInOneText)
{
    const struct {
        const char* command;
        const char* output;
    } cases[] = {
        {"echo sortie; echo erreur >&2; echo fin", "sortie\nerreur\nfin\n"},
        {"echo seulement >&2", "seulement\n"},
        {"printf 'abc\\r\\ndef'", "abc\r\ndef"},
        {"exit 3", ""},                          // the exit code is not read
        {"cat; read line; echo \"[$line]\"", "[]\n"}, // the input is closed at once
        {"printf 'a\\0b'", "a"},                 // a chunk ends at its first NUL
    };
    for (const auto& c : cases) {
        TStringList lines;
        EXPECT_EQ(RunCmdLine(c.command, "", &lines), c.output) << c.command;
        ExpectEntriesCoverTheOutput(lines, 0, c.output);
        EXPECT_EQ(RunCmdLine(c.command, "", nullptr), c.output) << c.command;
    }
}

TEST(RunCmdLine, AMissingCommandGivesTheShellsComplaintAndNoError)
{
    const std::string output = RunCmdLine("morvane_no_such_command --x", "", nullptr);
    EXPECT_NE(output.find("morvane_no_such_command"), std::string::npos);
    EXPECT_NE(output.find("not found"), std::string::npos);
}

TEST(RunCmdLine, RunsInTheWorkingFolder)
{
    const std::string folder = std::filesystem::temp_directory_path().string();
    EXPECT_EQ(RunCmdLine("pwd", folder, nullptr), std::filesystem::canonical(folder).string() + "\n");
    EXPECT_EQ(RunCmdLine("echo never", "/nonexistent/morvane", nullptr), ""); // cannot start: no output, no error
}

TEST(RunCmdLine, JoinsChunksUntilOneEndsALineAndServesTheWindowAfterEach)
{
    TStringList lines{"avant"};
    CountingPump pump;
    // 3000 characters without a line end arrive in at least three chunks of 1024.
    const std::string output = RunCmdLine("head -c 3000 /dev/zero | tr '\\0' x", "", &lines);
    EXPECT_EQ(output, std::string(3000, 'x'));
    ASSERT_EQ(lines.Count(), 2u);
    EXPECT_EQ(lines[0], "avant"); // entries are appended, the list is never cleared
    EXPECT_EQ(lines[1], output);
    EXPECT_GE(pump.calls, 1 + 3);

    // A run that ends its lines: entries close only where a chunk ended one.
    const std::string many = RunCmdLine("i=0; while [ $i -lt 400 ]; do echo \"ligne $i\"; i=$((i+1)); done", "", &lines);
    EXPECT_EQ(lines[1], output);
    ExpectEntriesCoverTheOutput(lines, 2, many);
    EXPECT_NE(many.find("ligne 399\n"), std::string::npos);
}

// Each chunk reaches the caller while the command still runs: the command below
// waits for a file that only the caller's look at its first chunk creates.
TEST(RunCmdLine, HandsEachChunkOverBeforeTheCommandEnds)
{
    const std::filesystem::path seen = std::filesystem::temp_directory_path() /
                                       ("morvane-chunk-seen-" + std::to_string(::getpid()));
    std::filesystem::remove(seen);
    std::vector<std::string> chunks;
    CountingPump pump;
    std::vector<int> pumpedBefore;
    const std::string command = "echo premier; i=0; while [ ! -e '" + seen.string() +
                                "' ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done; "
                                "if [ -e '" + seen.string() + "' ]; then echo vu; else echo 'pas vu'; fi";

    const std::string output = RunCmdLine(command, "", nullptr, [&](std::string_view chunk) {
        chunks.emplace_back(chunk);
        pumpedBefore.push_back(pump.calls);
        if (chunk.find("premier") != std::string_view::npos)
            std::ofstream(seen.string()) << "vu";
    });
    std::filesystem::remove(seen);

    EXPECT_EQ(output, "premier\nvu\n");
    ASSERT_GE(chunks.size(), 2u);
    EXPECT_EQ(chunks.front(), "premier\n");
    std::string joined;
    for (const std::string& chunk : chunks)
        joined += chunk;
    EXPECT_EQ(joined, output);
    // Handed over before the window is served for that chunk.
    for (std::size_t i = 1; i < pumpedBefore.size(); ++i)
        EXPECT_EQ(pumpedBefore[i], pumpedBefore[i - 1] + 1);
}

TEST(QuoteShellArgument, PassesAnyTextToTheCommandAsOneWord)
{
    const std::string cases[] = {
        "",
        "C:\\Calvenor BD\\BD.FDB",
        "it's",
        "'';\"$HOME\" `id` $(id) \\ * ? ~ # & | > <",
        "ligne 1\nligne 2",
        "-shut -force 0",
        "Sécurité",
    };
    for (const auto& text : cases) {
        // One word: printf gets exactly one argument, whatever the text holds.
        const std::string command = "set -- " + QuoteShellArgument(text) + "; printf '%s|%d' \"$1\" $#";
        EXPECT_EQ(RunCmdLine(command, "", nullptr), text + "|1") << text;
    }
    EXPECT_EQ(QuoteShellArgument("it's"), "'it'\\''s'");
}

} // namespace
} // namespace morvane
