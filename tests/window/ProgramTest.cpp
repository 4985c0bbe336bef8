// The built program itself, started without a display.

#include "support/TemporaryFolder.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <filesystem>

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
    EXPECT_NE(result.Output.find("Morvane : Le fichier \"" + folder.Path() + "\\Database.ini\" est inexistant."),
              std::string::npos)
        << result.Output;
}

} // namespace
} // namespace morvane::test
