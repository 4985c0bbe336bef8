// The built program itself, started without a display.

#include "support/FileText.h"
#include "support/TemporaryFolder.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace morvane::test {
namespace {

TEST(ProgramTest, HeadlessAutoRunThatCannotStartEndsWithAnErrorInsteadOfWaiting)
{
    // The program stands in a folder of its own, with no connection profile beside it.
    TemporaryFolder folder;
    const std::string program = folder.File("morvane");
    std::filesystem::create_symlink(MORVANE_PROGRAM, program);

    const ToolResult result = RunTool({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                                       "timeout", "60", program, "AUTO"});
    EXPECT_EQ(result.ExitCode, 1) << result.Output;
    // The error box nobody could see went to standard error, titled with the application title.
    EXPECT_NE(result.Output.find("Morvane : Le fichier \"" + folder.Path() + "/Database.ini\" est inexistant."),
              std::string::npos)
        << result.Output;
}

TEST(ProgramTest, HeadlessRunWithoutSessionFoldersWritesOnlyItsOwnMessagesOnStandardError)
{
    // As a scheduler starts it: no display and no session runtime folder.
    TemporaryFolder folder;
    const std::string program = folder.File("morvane");
    std::filesystem::create_symlink(MORVANE_PROGRAM, program);

    // Standard error alone: the shell sends the program's standard output away.
    const ToolResult result =
        RunTool({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", "-u", "XDG_RUNTIME_DIR",
                 "timeout", "60", "sh", "-c", "\"$0\" AUTO 2>&1 >/dev/null", program});
    EXPECT_EQ(result.ExitCode, 1) << result.Output;
    EXPECT_EQ(OutputLines(result.Output),
              std::vector<std::string>{"Morvane : Le fichier \"" + folder.Path() + "/Database.ini\" est inexistant."})
        << result.Output;
}

TEST(ProgramTest, EveryFailedStartLeavesItsReasonInTheLog)
{
    // A start that fails at once logs its reason just before the program ends: the
    // writer must get it into the file every time, not only when it is quick enough.
    TemporaryFolder folder;
    const std::string program = folder.File("morvane");
    std::filesystem::copy_file(MORVANE_PROGRAM, program);
    std::ofstream(folder.File("AppLogger.xml")) << R"(<?xml version="1.0" encoding="UTF-8"?>
<AppLogger Version="1.2"><AllStations><AllApplications>
  <Fichier class="TFileLogger" NiveauMax="255" LogSpecifique="0">
    <FileName>morvane.log</FileName>
    <DoAppend>False</DoAppend>
  </Fichier>
</AllApplications></AllStations></AppLogger>
)";
    const std::string reason = "Le fichier \"" + folder.Path() + "/Database.ini\" est inexistant.";
    for (int run = 1; run <= 20; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const ToolResult result = RunTool({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=offscreen",
                                           "timeout", "60", program, "AUTO"});
        EXPECT_EQ(result.ExitCode, 1) << result.Output;
        const std::string log = ReadFileText(folder.File("morvane.log"));
        EXPECT_NE(log.find(reason), std::string::npos) << log;
    }
}

} // namespace
} // namespace morvane::test
