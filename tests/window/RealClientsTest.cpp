// The cycle with real client applications attached and writing: every commit a
// client was told succeeded must be in the database at its path afterwards, the
// database online, and the exit status the one documented for what happened. Also
// the runs a site makes by mistake (two at once, a failed night, a stop request)
// and what each leaves; a rename path the cycle cannot use is among the refusals of
// CycleSafeguardsTest.cpp. The program built with the test hooks runs unattended
// against the real server.

#include "BackgroundProgram.h"
#include "CommittingClientsFixture.h"

#include "cycle/CycleExitStatus.h"
#include "support/CommittingClientProcess.h"
#include "support/FileText.h"
#include "support/WaitUntil.h"

#include <csignal>
#include <iostream>
#include <set>

namespace morvane::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;


class RealClientsTest : public CommittingClientsTest {
protected:

    // Two clients: the site's administrator account, which may attach even when the
    // database is shut down for ordinary users, and an ordinary user.
    void StartClients()
    {
        clients_.push_back(std::make_unique<ClientProcess>(database_->ConnectionString(), "SYSDBA", SysdbaPassword,
                                                           1, Commits()));
        clients_.push_back(
            std::make_unique<ClientProcess>(database_->ConnectionString(), ClientUser, ClientPassword, 2, Commits()));
        // Writing before the cycle starts.
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (ReadFileLines(Commits()).size() < 20 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(50ms);
    }
    void StopClients() { clients_.clear(); }


    std::vector<std::unique_ptr<ClientProcess>> clients_;
};

const std::string LandingLine = "Connexion arrivée pendant le déplacement de la base, coupée";

struct ClientsCase {
    const char* name;
    bool forced;
    bool beforeBackup;
    int exitStatus;
};
void PrintTo(const ClientsCase& c, std::ostream* out) { *out << c.name; }

class RealClientsCycleTest : public RealClientsTest, public ::testing::WithParamInterface<ClientsCase> {};

TEST_P(RealClientsCycleTest, EveryCommitAClientWasToldOfIsInTheDatabaseAtItsPath)
{
    const ClientsCase& c = GetParam();
    WriteJobSettings(std::string("ForcerDeconnexionClient=") + (c.forced ? "1" : "0") + "\n" +
                     (c.beforeBackup ? "BeforeBackup=1\nAfterRestore=0\n" : "BeforeBackup=0\nAfterRestore=1\n"));
    StartClients();

    // The clients never answer the requests to close: two seconds of waiting for them
    // show as much as the real 35.
    const ToolResult result = RunAuto({ShortWaits()});
    // The clients find the database again after the cycle and go on writing.
    const std::size_t afterRun = ReadFileLines(Commits()).size();
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (ReadFileLines(Commits()).size() < afterRun + 10 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    StopClients();

    EXPECT_EQ(result.ExitCode, c.exitStatus) << result.Output << Log();
    EXPECT_EQ(LostCommits(), std::vector<std::string>{}) << Log();
    // Attachments that landed in the moved file and were cut are no fault; how often
    // it happens is worth seeing in the test's output.
    const std::string log = Log();
    std::size_t landed = 0;
    for (std::size_t at = log.find(LandingLine); at != std::string::npos; at = log.find(LandingLine, at + 1))
        ++landed;
    std::cout << "attachments cut after the move: " << landed << std::endl;
    EXPECT_GE(ReadFileLines(Commits()).size(), afterRun + 10) << "the clients write into the database again";
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
    EXPECT_THAT(Attributes(), Not(HasSubstr("maintenance")));
    EXPECT_FALSE(Exists(Journal()));
    EXPECT_EQ(Rows(), CycleRows);
    // The site's services are started again however the cycle ended.
    ASSERT_FALSE(BatchesRun().empty());
    EXPECT_THAT(BatchesRun().back(), HasSubstr("StartServices.cmd"));
    if (c.exitStatus == ExitDisconnectionRefused) {
        EXPECT_THAT(Log(), HasSubstr("la déconnexion forcée n'est pas cochée"));
        EXPECT_FALSE(Exists(RenamePath())) << "nothing was moved";
    } else {
        EXPECT_THAT(Log(), HasSubstr("Base arrêtée pour le cycle (shutdown full)"));
        EXPECT_EQ(FreshDatabase::HeaderStatisticsOf(RenamePath()).ExitCode, 0) << "the old copy is kept";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RealClientsCycleTest,
    ::testing::Values(ClientsCase{"ForcedBeforeBackup", true, true, ExitCompleted},
                      ClientsCase{"ForcedAfterRestore", true, false, ExitCompleted},
                      ClientsCase{"NotForcedClientsStayAttached", false, true, ExitDisconnectionRefused}),
    [](const ::testing::TestParamInfo<ClientsCase>& param) { return std::string(param.param.name); });

// A site without the command tables, forced disconnection on (the default): with
// nobody attached the cycle runs; with clients writing, nobody is asked, the cut
// comes after the grace given to running transactions, and nothing committed is lost.
TEST_F(RealClientsTest, WithoutTheCommandTablesTheCycleRunsAndCutsAfterTheGrace)
{
    database_->Sql("DROP TABLE Glb5020Resultat;\nDROP TABLE Glb5020;\nDROP GENERATOR GEN_ID_GLB5020;\nCOMMIT;\n");
    const ToolResult alone = RunAuto();
    EXPECT_EQ(alone.ExitCode, ExitCompleted) << alone.Output << Log();
    EXPECT_THAT(Log(), Not(HasSubstr("Pas de demande de déconnexion aux postes")));

    WriteJobSettings("GraceTransactions=3\n");
    StartClients();
    const ToolResult result = RunAuto();
    const std::size_t afterRun = ReadFileLines(Commits()).size();
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (ReadFileLines(Commits()).size() < afterRun + 10 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    StopClients();

    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_EQ(LostCommits(), std::vector<std::string>{}) << Log();
    EXPECT_THAT(Log(), HasSubstr("[005] Pas de demande de déconnexion aux postes: la base n'a pas les tables de "
                                 "commande du site"));
    EXPECT_THAT(Log(), HasSubstr("les transactions en cours ayant 3 s pour se terminer"));
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
    EXPECT_EQ(Rows(), CycleRows);
}

// A second run while one is working on the database: it refuses at once and
// touches nothing, whether it starts from the same folder or from another one;
// a run on another database goes its way.
TEST_F(RealClientsTest, ASecondRunOnTheSameDatabaseRefusesAndTouchesNothing)
{
    WriteJobSettings("ForcerDeconnexionClient=0\n");
    BackgroundProgram first(Program(), PausingEnvironment("backup-started"));
    ASSERT_TRUE(WaitUntilPaused(first)) << Log();

    // Same folder.
    const ToolResult sameFolder = RunAuto();
    EXPECT_EQ(sameFolder.ExitCode, ExitAlreadyRunning) << sameFolder.Output;
    EXPECT_THAT(sameFolder.Output, HasSubstr("Un autre cycle Morvane travaille déjà sur la base " + DatabasePath()));

    // Another folder, another spelling of the same file.
    TemporaryFolder other;
    std::filesystem::copy_file(Program(), other.File("morvane"));
    const std::string spelling = database_->Folder().Path() + "/./BD.FDB";
    WriteFileText(other.File("Database.ini"), "DatabaseName=127.0.0.1:" + spelling + "\r\n");
    std::vector<std::string> argv{"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"};
    for (const std::string& setting : AutoEnvironment())
        argv.push_back(setting);
    for (const char* word : {"timeout", "120"})
        argv.emplace_back(word);
    argv.push_back(other.File("morvane"));
    argv.emplace_back("AUTO");
    const ToolResult otherFolder = RunTool(argv);
    EXPECT_EQ(otherFolder.ExitCode, ExitAlreadyRunning) << otherFolder.Output;
    EXPECT_FALSE(Exists(other.File("batches.txt"))) << "no batch file ran";

    // Another database, from the first run's folder, through its own profile.
    FreshDatabase second(FreshDatabase::Access::Server, "AUTRE.FDB", 4096);
    second.Sql("CREATE TABLE T (ID INTEGER);\nCOMMIT;\nINSERT INTO T VALUES (1);\nCOMMIT;\n");
    WriteProgramFile("Autre.ini", "DatabaseName=" + second.ConnectionString() + "\r\n");
    WriteFileText(programFolder_.File("morvane.ini"),
                  "[" + database_->ConnectionString() + "]\nForcerDeconnexionClient=0\n[" + second.ConnectionString() +
                      "]\nForcerDeconnexionClient=0\nRenamePath=" + second.Folder().File("AUTRE.BKP") +
                      "\nEmplacementBackup=" + second.Folder().Path() + "/\n");
    argv.pop_back();
    argv.back() = Program();
    argv.emplace_back("AUTO");
    argv.push_back("DATABASEINI=" + programFolder_.File("Autre.ini"));
    const ToolResult otherDatabase = RunTool(argv);
    EXPECT_EQ(otherDatabase.ExitCode, ExitCompleted) << otherDatabase.Output << Log();
    EXPECT_TRUE(Exists(second.Folder().File("AUTRE.BKP")));

    // The first run was never disturbed.
    std::filesystem::remove(PauseMarker());
    EXPECT_EQ(first.Wait(240s), ExitCompleted) << Log();
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
}

// Windows left open on the database hold nothing that keeps the night run off:
// one opened before the run, and one opened while the run works (which leaves the
// run's journal alone and says so), stay open, and the run rebuilds the database.
TEST_F(RealClientsTest, WindowsLeftOpenNeverKeepTheNightRunOffTheDatabase)
{
    const auto occurrences = [this](const std::string& text) {
        const std::string log = Log();
        int count = 0;
        for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++count;
        return count;
    };
    BackgroundProgram before(Program(), AutoEnvironment(), {});
    ASSERT_TRUE(WaitUntil([&] { return StartUpDone(); }, 60s)) << Log();

    std::vector<std::string> environment = PausingEnvironment("backup-started");
    environment.push_back(ShortWaits());
    BackgroundProgram night(Program(), environment);
    ASSERT_TRUE(WaitUntilPaused(night)) << Log();

    BackgroundProgram during(Program(), AutoEnvironment(), {});
    ASSERT_TRUE(WaitUntil(
        [&] { return occurrences("Un cycle Morvane d'un autre processus travaille sur la base " + DatabasePath()) == 1; },
        60s))
        << Log();
    // Each start empties the log: the window opened first said it waits before this one started.
    EXPECT_TRUE(WaitUntil(
        [&] { return occurrences("Un autre cycle Morvane travaille sur la base " + DatabasePath()) >= 1; }, 60s))
        << Log();

    std::filesystem::remove(PauseMarker());
    EXPECT_EQ(night.Wait(240s), ExitCompleted) << Log();
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
    EXPECT_EQ(RunReport()["exitStatus"].toInt(-1), ExitCompleted);
    EXPECT_TRUE(WaitUntil([&] { return occurrences("Le cycle de l'autre processus sur la base") == 2; }, 10s))
        << "both windows saw it end\n" << Log();

    for (BackgroundProgram* window : {&before, &during}) {
        ASSERT_TRUE(window->Running()) << Log();
        window->Signal(SIGTERM);
        EXPECT_EQ(window->Wait(10s), 0);
    }
}

TEST_F(RealClientsTest, AFailedNightKeepsThePreviousCopy)
{
    WriteFileText(RenamePath(), "copie de la nuit précédente");
    // The program's own folder belongs to root: the server cannot write the backup there.
    WriteJobSettings("EmplacementBackup=" + programFolder_.Path() + "/\n");

    const ToolResult result = RunAuto();

    EXPECT_EQ(result.ExitCode, ExitBackupFailed) << result.Output << Log();
    EXPECT_EQ(ReadFileText(RenamePath()), "copie de la nuit précédente");
    EXPECT_FALSE(Exists(RenamePath() + ".morvane-precedent"));
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));

    // The next night that succeeds replaces it.
    WriteJobSettings("");
    EXPECT_EQ(RunAuto().ExitCode, ExitCompleted) << Log();
    EXPECT_EQ(FreshDatabase::HeaderStatisticsOf(RenamePath()).ExitCode, 0);
    EXPECT_FALSE(Exists(RenamePath() + ".morvane-precedent"));
}

struct StopCase {
    const char* name;
    const char* step;
};
void PrintTo(const StopCase& c, std::ostream* out) { *out << c.name; }

class StopRequestTest : public RealClientsTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopRequestTest, SigtermEndsTheCycleAtItsNextSafePointWithTheDatabaseOnline)
{
    WriteJobSettings("ForcerDeconnexionClient=0\n");
    BackgroundProgram program(Program(), PausingEnvironment(GetParam().step));
    ASSERT_TRUE(WaitUntilPaused(program)) << Log();
    program.Signal(SIGTERM);
    std::filesystem::remove(PauseMarker());

    EXPECT_EQ(program.Wait(240s), ExitInterrupted) << Log();
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
    EXPECT_FALSE(Exists(RenamePath()));
    EXPECT_FALSE(Exists(NewFile()));
    EXPECT_FALSE(Exists(Journal()));
    EXPECT_TRUE(RunReport()["interrupted"].toBool()) << Log();
    EXPECT_EQ(RunReport()["exitStatus"].toInt(-1), ExitInterrupted);
    ASSERT_FALSE(BatchesRun().empty());
    EXPECT_THAT(BatchesRun().back(), HasSubstr("StartServices.cmd"));
}

INSTANTIATE_TEST_SUITE_P(Steps, StopRequestTest,
                         ::testing::Values(StopCase{"DuringTheBackup", "backup-started"},
                                           StopCase{"DuringTheRestore", "restore-started"}),
                         [](const ::testing::TestParamInfo<StopCase>& param) { return std::string(param.param.name); });

TEST_F(RealClientsTest, SigtermEndsAnIdleWindowAtOnce)
{
    BackgroundProgram program(Program(), AutoEnvironment(), {});
    ASSERT_TRUE(WaitUntil([&] { return StartUpDone(); }, 60s)) << Log();
    ASSERT_TRUE(program.Running()) << Log();

    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0) << "ended without a cycle";
    EXPECT_TRUE(BatchesRun().empty());
}

} // namespace
} // namespace morvane::test
