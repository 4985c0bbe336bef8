// The safeguards of the unattended cycle, with the built program against the real
// server: refused before anything runs, a restored file that differs kept aside,
// a run killed between two renames put right at the next start, and a database
// shut down by gfix brought back online when the run fails.

#include "CycleProgramFixture.h"

#include "support/WorkstationSimulatorProcess.h"
#include "window/CycleExitStatus.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace morvane::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

// The program started unattended in the background, killed and reaped with the object.
class BackgroundProgram {
public:
    BackgroundProgram(const std::string& program, std::vector<std::string> environment)
    {
        for (char** variable = environ; *variable != nullptr; ++variable) {
            const std::string setting(*variable);
            if (setting.rfind("DISPLAY=", 0) != 0 && setting.rfind("WAYLAND_DISPLAY=", 0) != 0)
                environment.push_back(setting);
        }
        std::vector<char*> envp;
        for (std::string& setting : environment)
            envp.push_back(setting.data());
        envp.push_back(nullptr);
        std::string path = program;
        std::string automatic = "AUTO";
        char* argv[] = {path.data(), automatic.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int error = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            pid_ = -1;
    }
    ~BackgroundProgram() { Kill(); }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    bool Started() const noexcept { return pid_ > 0; }
    bool Running()
    {
        int status = 0;
        return pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0;
    }
    void Kill() noexcept
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

class CycleSafeguardsTest : public CycleProgramTest {
protected:
    std::string Journal() const { return programFolder_.File("morvane-cycle.journal"); }
    std::string NewFile() const { return DatabasePath() + "_Morvane"; }
    std::string Attributes() const { return HeaderValue(database_->HeaderStatistics().Output, "Attributes"); }
};

TEST_F(CycleSafeguardsTest, NotEnoughFreeSpaceRefusesBeforeAnyBatchFileRuns)
{
    const ToolResult result = RunAuto({"MORVANE_TEST_FREE_SPACE=4096"});
    EXPECT_EQ(result.ExitCode, ExitPreflightRefused) << result.Output << Log();

    EXPECT_TRUE(BatchesRun().empty()) << "no batch file ran";
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_FALSE(Exists(RenamePath()));
    EXPECT_FALSE(Exists(DatabaseFile("Morvane.fbk")));
    EXPECT_FALSE(Exists(Journal()));
    EXPECT_THAT(Log(), HasSubstr("[001] Morvane : Vérification avant le cycle: espace libre insuffisant sur "));
    EXPECT_THAT(Log(), HasSubstr("4096 octets libres"));
    EXPECT_THAT(Log(), Not(HasSubstr("Tous les utilisateurs sont déconnectés"))) << "nobody was sent away";

    EXPECT_EQ(RunReport()["exitStatus"].toInt(-1), ExitPreflightRefused);
    ASSERT_FALSE(ReportedSteps().empty());
    EXPECT_EQ(ReportedSteps().front(), "vérification préalable refused");
    EXPECT_EQ(ReportedSteps().size(), 1u) << "nothing ran after the refusal";
}

TEST_F(CycleSafeguardsTest, RestoredFileThatDiffersIsKeptAsideAndTheOldDatabaseStaysOnline)
{
    // A valid backup of the database as it was before ten more rows came in: the
    // middle batch file puts it in place of the cycle's own backup.
    const std::string earlier = DatabaseFile("plus-ancien.fbk");
    const ToolResult backup =
        RunTool({"gbak", "-b", "-user", "SYSDBA", "-password", "plumtavern", database_->ConnectionString(), earlier});
    ASSERT_EQ(backup.ExitCode, 0) << backup.Output;
    database_->Sql("INSERT INTO CLIENTS SELECT ID + 100000, NOM FROM CLIENTS ROWS 10;\nCOMMIT;\n");
    WriteBatchFile("MidProcess.cmd", "cat '" + earlier + "' > '" + DatabaseFile("Morvane.fbk") + "'\n");

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, ExitRestoreFailed) << result.Output << Log();

    EXPECT_EQ(Rows(), CycleRows + 10) << "the old database is at its path and attaches";
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
    EXPECT_FALSE(Exists(RenamePath())) << "the file moved before the backup is back";
    EXPECT_TRUE(Exists(NewFile())) << "the new file is kept for inspection";
    EXPECT_EQ(FreshDatabase::HeaderStatisticsOf(NewFile()).ExitCode, 0);
    EXPECT_FALSE(Exists(DatabaseFile("Morvane.fbk")));
    EXPECT_FALSE(Exists(Journal()));

    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr("[001] Vérification de la nouvelle base " + NewFile() + ": table CLIENTS: " +
                               std::to_string(CycleRows) + " lignes au lieu de " + std::to_string(CycleRows + 10)));
    EXPECT_THAT(log, HasSubstr("elle reste sous le nom " + NewFile() + " pour examen, la base de données reste à sa "
                               "place."));
    ASSERT_EQ(BatchesRun().size(), 3u) << "the site's services are started again";
    EXPECT_THAT(ReportedSteps(),
                ::testing::IsSupersetOf({"restore ok", "vérification de la nouvelle base failed", "swap skipped"}));
}

struct Interruption {
    const char* name;
    const char* jobSettings;
    const char* pauseAt;
    const char* recovered; // the start-up line that says which file took the path
};

void PrintTo(const Interruption& interruption, std::ostream* out) { *out << interruption.name; }

class CycleInterruptedTest : public CycleSafeguardsTest, public ::testing::WithParamInterface<Interruption> {};

TEST_P(CycleInterruptedTest, ProgramKilledHalfWayIsPutRightAtTheNextStart)
{
    const Interruption& interruption = GetParam();
    WriteJobSettings(interruption.jobSettings);
    std::vector<std::string> environment = AutoEnvironment();
    environment.push_back(std::string("MORVANE_TEST_PAUSE_AT=") + interruption.pauseAt);
    {
        BackgroundProgram program(Program(), environment);
        ASSERT_TRUE(program.Started());
        const auto deadline = std::chrono::steady_clock::now() + 240s;
        while (!Exists(programFolder_.File("morvane-paused")) && program.Running() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(100ms);
        ASSERT_TRUE(Exists(programFolder_.File("morvane-paused"))) << Log();
        program.Kill();
    }
    ASSERT_FALSE(Exists(DatabasePath())) << "killed while the database was away from its path";
    ASSERT_TRUE(Exists(Journal()));

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();

    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_FALSE(Exists(Journal()));
    EXPECT_FALSE(Exists(NewFile()));
    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr("[001] Cycle interrompu trouvé (journal " + Journal() + ")"));
    EXPECT_THAT(log, HasSubstr(std::string("[001] ") + interruption.recovered));
    EXPECT_THAT(log, HasSubstr("[001] Journal du cycle effacé"));
}

INSTANTIATE_TEST_SUITE_P(
    Renames, CycleInterruptedTest,
    ::testing::Values(
        // Between the old file's move and the new file's: the verified new file goes in.
        Interruption{"BetweenTheTwoRenamesAfterRestore", "BeforeBackup=0\nAfterRestore=1\n", "old-file-moved",
                     "Nouvelle base vérifiée mise à sa place: "},
        // Moved before the backup, nothing verified yet: the old file goes back.
        Interruption{"AfterTheMoveBeforeTheBackup", "", "moved-before-backup", "Ancienne base remise à sa place: "}),
    [](const ::testing::TestParamInfo<Interruption>& param) { return std::string(param.param.name); });

TEST_F(CycleSafeguardsTest, JournalThatCannotBeResolvedStopsTheStartAndStays)
{
    struct Case {
        const char* name;
        std::string journal;
        const char* logged;
    } const cases[] = {
        {"not a journal", "pas un journal\n", "[001] Journal du cycle illisible: en-tête absent"},
        // The database it names is nowhere: nothing is moved, nothing is guessed.
        {"nothing to put back",
         "MORVANE JOURNAL 1\ndatabase=" + DatabaseFile("AUTRE.FDB") + "\nrename=" + DatabaseFile("AUTRE.BKP") +
             "\nnew=" + DatabaseFile("AUTRE.FDB_Morvane") + "\ndone moved-before-backup\n",
         "[001] Cycle interrompu: aucune base à remettre à sa place pour "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteProgramFile("morvane-cycle.journal", c.journal);

        const ToolResult result = RunAuto();
        EXPECT_EQ(result.ExitCode, ExitStartUpError) << result.Output << Log();
        EXPECT_THAT(Log(), HasSubstr(c.logged));
        EXPECT_TRUE(Exists(Journal()));
        EXPECT_TRUE(BatchesRun().empty()) << "no cycle started";
        EXPECT_EQ(Rows(), CycleRows);
    }
}

TEST_F(CycleSafeguardsTest, FailedRunAfterAGfixShutdownLeavesTheDatabaseOnline)
{
    WorkstationSimulatorProcess simulator(database_->ConnectionString(), WorkstationSimulatorProcess::Mode::Never);
    WriteBatchFile("MidProcess.cmd", "printf 'pas une sauvegarde' > '" + DatabaseFile("Morvane.fbk") + "'\n");

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, ExitRestoreFailed) << result.Output << Log();

    EXPECT_THAT(Log(), HasSubstr("Gfix shutdown terminé"));
    EXPECT_THAT(Log(), HasSubstr("[001] Base remise en ligne après l'échec du cycle : " +
                                 database_->ConnectionString()));
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_FALSE(Exists(RenamePath()));
    EXPECT_FALSE(Exists(Journal()));
}

} // namespace
} // namespace morvane::test
