// The built program itself, started without a display.

#include "support/FileText.h"
#include "support/TemporaryFolder.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace morvane::test {
namespace {

std::vector<std::string> FolderContents(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The program beside a configuration that a normal start would read and write to
// (a log, the job settings file, a run report), with a display it cannot reach: a
// start that created the window or read the configuration would leave files or fail.
class InformationRun {
public:
    InformationRun()
    {
        std::filesystem::create_symlink(MORVANE_PROGRAM, program_);
        std::ofstream(folder_.File("AppLogger.xml")) << R"(<?xml version="1.0" encoding="UTF-8"?>
<AppLogger Version="1.2"><AllStations><AllApplications>
  <Fichier class="TFileLogger" NiveauMax="255" LogSpecifique="0"><FileName>morvane.log</FileName></Fichier>
</AllApplications></AllStations></AppLogger>
)";
        std::ofstream(folder_.File("Database.ini")) << "DatabaseName=127.0.0.1:" << folder_.File("absent.fdb") << "\n";
        before_ = FolderContents(folder_.Path());
    }

    // Standard output alone in Output; standard error is kept apart.
    ToolResult Run(const std::vector<std::string>& parameters)
    {
        std::vector<std::string> argv{"env", "-u", "WAYLAND_DISPLAY", "-u", "XDG_RUNTIME_DIR", "DISPLAY=:97",
                                      "QT_QPA_PLATFORM=xcb", "TMPDIR=" + temporary_.Path(),
                                      "XDG_CONFIG_HOME=" + configuration_.Path(), "STDERR_FILE=" + errors_,
                                      "timeout", "60", "sh", "-c", "exec \"$0\" \"$@\" 2>\"$STDERR_FILE\"", program_};
        argv.insert(argv.end(), parameters.begin(), parameters.end());
        return RunTool(argv);
    }

    std::string Errors() const { return ReadFileText(errors_); }
    const std::string& Folder() const { return folder_.Path(); }
    const std::string& ConfigurationFolder() const { return configuration_.Path(); }
    // What the run left: new files beside the program, or in the temporary folder.
    void ExpectNothingCreated() const
    {
        EXPECT_EQ(FolderContents(folder_.Path()), before_);
        EXPECT_TRUE(FolderContents(temporary_.Path()).empty());
        EXPECT_TRUE(FolderContents(configuration_.Path()).empty());
    }

private:
    TemporaryFolder folder_;
    TemporaryFolder temporary_;
    TemporaryFolder configuration_;
    TemporaryFolder output_;
    std::string program_ = folder_.File("morvane");
    std::string errors_ = output_.File("stderr");
    std::vector<std::string> before_;
};

TEST(ProgramTest, VersionIsPrintedOnStandardOutputWithoutStartingAnything)
{
    // Any letter case, anywhere on the line, with a value or not: it is answered and
    // nothing else happens, AUTO included.
    for (const std::vector<std::string>& parameters :
         {std::vector<std::string>{"--version"}, {"--VERSION"}, {"AUTO", "--Version"}, {"--version=1", "AUTO"}}) {
        SCOPED_TRACE(parameters.front());
        InformationRun run;
        const ToolResult result = run.Run(parameters);
        EXPECT_EQ(result.ExitCode, 0) << result.Output << run.Errors();
        EXPECT_EQ(result.Output, std::string("Morvane ") + MORVANE_VERSION + "\n");
        EXPECT_EQ(run.Errors(), "");
        run.ExpectNothingCreated();
    }
}

TEST(ProgramTest, HelpNamesTheParametersAndTheFilesThisStartWouldRead)
{
    for (const std::vector<std::string>& parameters :
         {std::vector<std::string>{"--help"}, {"--Help"}, {"AUTO", "DATABASEINI=site.ini", "--help"},
          {"--version", "--help"}}) {
        SCOPED_TRACE(parameters.back());
        InformationRun run;
        const ToolResult result = run.Run(parameters);
        EXPECT_EQ(result.ExitCode, 0) << result.Output << run.Errors();
        EXPECT_EQ(run.Errors(), "");
        run.ExpectNothingCreated();

        const std::vector<std::string> lines = OutputLines(result.Output);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), "Usage: morvane [AUTO] [DATABASEINI=FILE] [NEPASUTILISERPREFIXTS_]");
        for (const std::string& expected :
             {std::string("  AUTO "), std::string("  DATABASEINI=FILE "), std::string("  NEPASUTILISERPREFIXTS_ "),
              std::string("  --help "), std::string("  --version "), "Files, in " + run.Folder() + "/:",
              std::string("  DatabaseMorvane.ini, else Database.ini"), std::string("  morvane.ini"),
              std::string("  AppLogger.xml"), "and " + run.ConfigurationFolder() + "/Calvenor/registry.reg"}) {
            const bool found = std::any_of(lines.begin(), lines.end(),
                                           [&](const std::string& line) { return line.starts_with(expected); });
            EXPECT_TRUE(found) << "no line starting with \"" << expected << "\" in:\n" << result.Output;
        }
    }
}

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
