// Hostile text and secrets in the unattended cycle of the built program, against the
// real server: batch-file names and the names on gfix's command line that look like
// shell code reach their program as one word each and run nothing else, and the
// administrator's password stays out of everything the program writes, even with
// every level logged.

#include "CycleProgramFixture.h"

#include "core/Text.h"
#include "cycle/CycleExitStatus.h"
#include "support/WorkstationSimulatorProcess.h"
#include "support/FileText.h"

#include <filesystem>
#include <functional>
#include <set>
#include <unistd.h>

namespace morvane::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Three names a site could type into the job settings; each would run "touch pwned"
// in the program's folder if any part of it reached the shell as code.
const std::vector<std::string>& HostileBatchNames()
{
    static const std::vector<std::string> names{
        "Stop 'a' \"b\" $(touch pwned) `touch pwned`;touch pwned;.cmd",
        "Mid;touch pwned & touch pwned | touch pwned.cmd",
        "Start $(touch pwned)`touch pwned`'\\'' && touch pwned.cmd",
    };
    return names;
}

class SecurityTest : public CycleProgramTest {
protected:
    // A batch file that notes the name it was started under, without letting the
    // shell read that name again.
    void WriteNamingBatchFile(const std::string& name) const
    {
        WriteProgramFile(name, "#!/bin/sh\nprintf '%s\\n' \"${0##*/}\" >> batches.txt\n");
        std::filesystem::permissions(programFolder_.File(name), std::filesystem::perms::owner_all);
    }

    // Every level of every source to a file logger and to a memory logger that
    // writes a batch every few lines, so that nothing logged escapes the scan.
    void LogEverything() const
    {
        WriteProgramFile("AppLogger.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<AppLogger Version="1.2"><AllStations><AllApplications>
  <Fichier class="TFileLogger" NiveauMax="255" LogSpecifique="-1"><FileName>morvane.log</FileName></Fichier>
  <Memoire class="TMemoryLogger" NiveauMax="255" LogSpecifique="-1"><FileName>memoire.log</FileName><MaxLigne>5</MaxLigne><DumpType>Buffer</DumpType></Memoire>
</AllApplications></AllStations></AppLogger>
)");
    }

    // The files below the program's folder that hold the password, except the
    // two configuration files that hold it by design and the program itself,
    // which carries it as a constant.
    std::vector<std::string> FilesHoldingThePassword() const
    {
        const std::set<std::string> skipped{"Database.ini", "morvane.ini", "morvane"};
        std::vector<std::string> holding;
        // Beside the program, and what the runs kept for the database.
        for (const std::string& folder : {programFolder_.Path(), CycleStateFolder(DatabasePath())})
            for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
                if (!entry.is_regular_file() || skipped.count(entry.path().filename().string()) != 0)
                    continue;
                if (HoldsThePassword(ReadFileText(entry.path().string())))
                    holding.push_back(entry.path().filename().string());
            }
        return holding;
    }

    static bool HoldsThePassword(const std::string& text)
    {
        return LowerCase(text).find(LowerCase(SysdbaPassword)) != std::string::npos;
    }

    std::string MemoryLog() const
    {
        return ReadFileText(programFolder_.File("memoire.log"));
    }
};

TEST_F(SecurityTest, HostileBatchFileNamesRunAsOneFileEachAndNothingElse)
{
    const std::vector<std::string>& names = HostileBatchNames();
    for (const std::string& name : names)
        WriteNamingBatchFile(name);
    WriteJobSettings("BatchFileBeforeBackup=" + names[0] + "\nBatchFileAfterBackup=" + names[1] +
                     "\nBatchFileAfterRestore=" + names[2] + "\n");

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, 0) << result.Output << Log();

    EXPECT_EQ(BatchesRun(), names);
    EXPECT_FALSE(Exists(programFolder_.File("pwned"))) << Log();
    EXPECT_EQ(Rows(), CycleRows);
}

// The runs that name the password to the server's services: on every run, for the
// shutdown when a station will not let go of the database, and again when the
// failed run brings it back online. None may write it down. The failed run is also
// the one that shows a database shut down for the cycle back online at its path.
TEST_F(SecurityTest, ThePasswordIsInNoLogReportOrOtherFileAfterAFullyLoggedRun)
{
    struct Case {
        const char* name;
        bool stubbornStation;   // an attachment that ignores the request to leave
        const char* midProcess; // extra lines for the batch between backup and restore
        int exitStatus;
    } const cases[] = {
        {"rebuilt", false, "", ExitCompleted},
        {"restore failed, brought back online", true, "printf 'pas une sauvegarde' > \"$SPOILED\"\n",
         ExitRestoreFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string file : {"morvane.log", "memoire.log", "batches.txt"})
            std::filesystem::remove(programFolder_.File(file));
        std::filesystem::remove(ReportFile());
        std::filesystem::remove(RenamePath()); // the old file a previous case kept
        LogEverything();
        WriteBatchFile("MidProcess.cmd", c.midProcess);
        std::unique_ptr<WorkstationSimulatorProcess> station;
        std::vector<std::string> environment{"SPOILED=" + DatabaseFile("Morvane.fbk")};
        if (c.stubbornStation) {
            station = std::make_unique<WorkstationSimulatorProcess>(database_->ConnectionString(),
                                                                    WorkstationSimulatorProcess::Mode::Never);
            // The station is not given the whole 35 seconds to close.
            UseProgramWithTestHooks();
            environment.push_back(ShortWaits());
        }

        const ToolResult result = RunAuto(environment);
        EXPECT_EQ(result.ExitCode, c.exitStatus) << result.Output << Log();
        station.reset();

        // The scan proves something only when the run logged to both loggers to
        // its end and went through the steps that name the password.
        EXPECT_THAT(Log(), HasSubstr("Rapport du cycle"));
        EXPECT_THAT(MemoryLog(), HasSubstr("Rapport du cycle"));
        EXPECT_TRUE(Exists(ReportFile()));
        if (c.stubbornStation) {
            EXPECT_THAT(Log(), HasSubstr("Base arrêtée pour le cycle (shutdown full)"));
        }
        if (c.exitStatus != ExitCompleted) {
            EXPECT_THAT(Log(), HasSubstr("[001] Base remise en ligne après l'échec du cycle : " +
                                         database_->ConnectionString()));
        }

        EXPECT_EQ(FilesHoldingThePassword(), std::vector<std::string>{});
        EXPECT_FALSE(HoldsThePassword(result.Output)) << result.Output;
        // Online at its path with every row, the old file kept aside only by a rebuild.
        EXPECT_EQ(Rows(), CycleRows);
        EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
        EXPECT_EQ(Exists(RenamePath()), c.exitStatus == ExitCompleted);
        EXPECT_FALSE(Exists(Journal()));
    }
}

// Run as root, the program acts on nothing that another user could have changed: the
// loggers' configuration (it says where root writes), the profile, the job settings
// and the batch files (what root runs), and the folders that hold them.
TEST_F(SecurityTest, ARootRunRefusesFilesOthersCouldChange)
{
    ASSERT_EQ(::geteuid(), 0u) << "the refusal is root's";
    namespace fs = std::filesystem;
    const struct {
        const char* name;
        std::string path;
        std::function<void(const std::string&)> open;
    } cases[] = {
        {"the loggers' configuration writable by the group", programFolder_.File("AppLogger.xml"),
         [](const std::string& path) { fs::permissions(path, fs::perms::group_write, fs::perm_options::add); }},
        {"the profile owned by the server's user", programFolder_.File("Database.ini"),
         [](const std::string& path) { RunTool({"chown", "firebird", path}); }},
        {"a batch file anybody may write", programFolder_.File("StopServices.cmd"),
         [](const std::string& path) { fs::permissions(path, fs::perms::others_write, fs::perm_options::add); }},
        {"the program's folder open to all", programFolder_.Path(),
         [](const std::string& path) { fs::permissions(path, fs::perms::all, fs::perm_options::add); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto mode = fs::status(c.path).permissions();
        c.open(c.path);
        const ToolResult result = RunAuto();
        EXPECT_EQ(result.ExitCode, ExitPreflightRefused) << result.Output;
        EXPECT_THAT(result.Output, HasSubstr("Lancé par root, le programme refuse "));
        EXPECT_THAT(result.Output, HasSubstr(c.path));
        EXPECT_TRUE(BatchesRun().empty()) << "nothing ran";
        EXPECT_FALSE(Exists(RenamePath()));
        // Put back as it was for the next row.
        RunTool({"chown", "root", c.path});
        fs::permissions(c.path, mode);
    }
    // Closed again, the same run goes through.
    EXPECT_EQ(RunAuto().ExitCode, ExitCompleted) << Log();
}

} // namespace
} // namespace morvane::test
