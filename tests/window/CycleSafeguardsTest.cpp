// The safeguards of the unattended cycle, with the built program against the real
// server: refused before anything runs, a restored file that differs kept aside,
// a journal that cannot be resolved, and a database shut down by gfix brought back
// online when the run fails. Runs killed half-way are in the fault tests.

#include "CycleProgramFixture.h"

#include <functional>

#include "support/WorkstationSimulatorProcess.h"
#include "cycle/CycleExitStatus.h"

namespace morvane::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using CycleSafeguardsTest = CycleProgramTest;

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
    EXPECT_EQ(StepsThatRan(), std::vector<std::string>{"vérification préalable refused"})
        << "nothing ran after the refusal";
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

// A journal found where another user could have written it (beside the database,
// in a folder of the server's user) decides nothing unless it is the run's own and
// names only this database's paths: a forged one would have the run move any file.
TEST_F(CycleSafeguardsTest, AJournalThatCannotBeTrustedStopsTheStartAndStays)
{
    const std::string besideDatabase = DatabasePath() + ".morvane-journal";
    const std::string ownJournal = "MORVANE JOURNAL 1\ndatabase=" + DatabasePath() + "\nrename=" + RenamePath() +
                                   "\nnew=" + DatabasePath() + "_Morvane\ndone moved-before-backup\n";
    const std::string victim = DatabaseFile("victime");
    const std::string forged = "MORVANE JOURNAL 1\ndatabase=" + victim + "\nrename=" + DatabasePath() +
                               "\nnew=" + DatabaseFile("rien") + "\nbegin moved-before-backup\n";
    struct Case {
        const char* name;
        std::string path;
        std::string journal;
        std::function<void(const std::string&)> prepare;
        const char* logged;
    } const cases[] = {
        {"not a journal", programFolder_.File("morvane-cycle.journal"), "pas un journal\n", {}, "en-tête absent"},
        {"naming another file as the database", besideDatabase, forged, {}, "il nomme la base " },
        {"written by another user", besideDatabase, ownJournal,
         [](const std::string& path) { RunTool({"chown", "firebird:firebird", path}); },
         "il n'appartient pas à l'utilisateur du programme"},
        {"open to others' writes", besideDatabase, ownJournal,
         [](const std::string& path) { std::filesystem::permissions(path, std::filesystem::perms::group_write,
                                                                     std::filesystem::perm_options::add); },
         "d'autres utilisateurs peuvent l'écrire"},
        {"a link", besideDatabase, ownJournal,
         [](const std::string& path) {
             std::filesystem::rename(path, path + ".cible");
             std::filesystem::create_symlink(path + ".cible", path);
         },
         "c'est un lien symbolique"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileText(c.path, c.journal);
        std::filesystem::permissions(c.path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        if (c.prepare)
            c.prepare(c.path);

        const ToolResult result = RunAuto();
        EXPECT_EQ(result.ExitCode, ExitStartUpError) << result.Output << Log();
        EXPECT_THAT(Log(), HasSubstr("[001] Journal du cycle non pris en compte: " + c.path));
        EXPECT_THAT(Log(), HasSubstr(c.logged));
        EXPECT_TRUE(std::filesystem::is_symlink(c.path) || Exists(c.path)) << "left for the administrator";
        EXPECT_FALSE(Exists(victim)) << "nothing was moved";
        EXPECT_TRUE(BatchesRun().empty()) << "no cycle started";
        EXPECT_EQ(Rows(), CycleRows);
        std::filesystem::remove(c.path);
        std::filesystem::remove(c.path + ".cible");
    }
}

// An upgrade between an interrupted night and the next: the journal the earlier
// version left beside the database, the run's own and naming this database's paths,
// is resolved, then the cycle runs.
TEST_F(CycleSafeguardsTest, AJournalAnEarlierVersionLeftBesideTheDatabaseIsResolved)
{
    std::filesystem::rename(DatabasePath(), RenamePath());
    const std::string journal = DatabasePath() + ".morvane-journal";
    WriteFileText(journal, "MORVANE JOURNAL 1\ndatabase=" + DatabasePath() + "\nrename=" + RenamePath() +
                               "\nnew=" + DatabasePath() + "_Morvane\nbegin moved-before-backup\n"
                               "done moved-before-backup\n");
    std::filesystem::permissions(journal, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_THAT(Log(), HasSubstr("[001] Ancienne base remise à sa place: " + RenamePath() + " => " + DatabasePath()));
    EXPECT_FALSE(Exists(journal));
    EXPECT_EQ(Rows(), CycleRows);
}

TEST_F(CycleSafeguardsTest, FailedRunAfterAShutdownLeavesTheDatabaseOnline)
{
    WorkstationSimulatorProcess simulator(database_->ConnectionString(), WorkstationSimulatorProcess::Mode::Never);
    WriteBatchFile("MidProcess.cmd", "printf 'pas une sauvegarde' > '" + DatabaseFile("Morvane.fbk") + "'\n");

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, ExitRestoreFailed) << result.Output << Log();

    EXPECT_THAT(Log(), HasSubstr("Base arrêtée pour le cycle (shutdown full)"));
    EXPECT_THAT(Log(), HasSubstr("[001] Base remise en ligne après l'échec du cycle : " +
                                 database_->ConnectionString()));
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_FALSE(Exists(RenamePath()));
    EXPECT_FALSE(Exists(Journal()));
}

} // namespace
} // namespace morvane::test
