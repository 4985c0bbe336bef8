// The safeguards of the unattended cycle, with the built program against the real
// server: refused before anything runs, a restored file that differs kept aside,
// a journal that cannot be resolved, and a database shut down by gfix brought back
// online when the run fails. Runs killed half-way are in the fault tests.

#include "CycleProgramFixture.h"

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
        // Where journals were kept before they lay beside their database: still read.
        WriteProgramFile("morvane-cycle.journal", c.journal);

        const ToolResult result = RunAuto();
        EXPECT_EQ(result.ExitCode, ExitStartUpError) << result.Output << Log();
        EXPECT_THAT(Log(), HasSubstr(c.logged));
        EXPECT_TRUE(Exists(programFolder_.File("morvane-cycle.journal")));
        EXPECT_TRUE(BatchesRun().empty()) << "no cycle started";
        EXPECT_EQ(Rows(), CycleRows);
    }
}

TEST_F(CycleSafeguardsTest, FailedRunAfterAShutdownLeavesTheDatabaseOnline)
{
    WorkstationSimulatorProcess simulator(database_->ConnectionString(), WorkstationSimulatorProcess::Mode::Never);
    WriteBatchFile("MidProcess.cmd", "printf 'pas une sauvegarde' > '" + DatabaseFile("Morvane.fbk") + "'\n");

    const ToolResult result = RunAuto({ShortWaits()});
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
