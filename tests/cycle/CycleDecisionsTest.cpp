// The decisions the cycle makes on how a step ended, without a server: the exit
// status of each class of failure, the step of the run report a failure is charged
// to, and the undo of a database file moved before the backup.

#include "cycle/CycleExitStatus.h"
#include "cycle/CycleGuards.h"
#include "cycle/CycleJournal.h"
#include "cycle/CycleOutcome.h"
#include "cycle/CycleSteps.h"
#include "cycle/DatabaseChecks.h"
#include "cycle/DatabaseControl.h"
#include "support/FileText.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace morvane {
namespace {

TEST(CycleDecisions, AnErrorLeavesTheStatusOfTheStageItStoppedIn)
{
    const struct {
        CycleStage stage;
        int status;
    } cases[] = {
        {CycleStage::Start, ExitStartUpError},
        {CycleStage::Preflight, ExitPreflightRefused},
        {CycleStage::Preparation, ExitStartUpError},
        {CycleStage::Disconnection, ExitDisconnectionRefused},
        {CycleStage::Backup, ExitBackupFailed},
        {CycleStage::Restore, ExitRestoreFailed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExitStatusOfStage(c.stage), c.status) << static_cast<int>(c.stage);
}

TEST(CycleDecisions, ACycleThatRanToItsEndTellsHowTheRebuildWent)
{
    const struct {
        bool backedUp;
        RestoreOutcome outcome;
        int status;
    } cases[] = {
        {true, RestoreOutcome::Swapped, ExitCompleted},
        {false, RestoreOutcome::RestoreFailed, ExitBackupFailed},
        {true, RestoreOutcome::RestoreFailed, ExitRestoreFailed},
        {true, RestoreOutcome::VerificationFailed, ExitRestoreFailed},
        {true, RestoreOutcome::RenameFailed, ExitSwapFailed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExitStatusOfCycle(c.backedUp, c.outcome), c.status)
            << c.backedUp << " " << static_cast<int>(c.outcome);
}

std::vector<std::string> StepLines(const TRunReport& report)
{
    std::vector<std::string> lines;
    for (const RunReportStep& step : report.Steps())
        lines.push_back(step.name + " " + StepOutcomeText(step.outcome) + " " + step.detail);
    return lines;
}

TEST(CycleDecisions, AFailureIsChargedToTheStepItStoppedIn)
{
    // A step an error left without a reason takes the error's text.
    {
        TRunReport report;
        report.AddStep(CycleStepName(CycleStep::Preflight), StepOutcome::Ok);
        { ReportStep left(&report, CycleStep::ServerFolder); }
        ChargeFailure(report, "serveur injoignable");
        EXPECT_EQ(StepLines(report), (std::vector<std::string>{"vérification préalable ok ",
                                                               "dossier du serveur failed serveur injoignable"}));
    }
    // A step that refused with its own reason already says it: nothing is added.
    {
        TRunReport report;
        ReportStep refused(&report, CycleStep::Preflight);
        refused.End(StepOutcome::Refused, "espace libre insuffisant");
        ChargeFailure(report, "espace libre insuffisant");
        EXPECT_EQ(StepLines(report),
                  (std::vector<std::string>{"vérification préalable refused espace libre insuffisant"}));
    }
    // An error between two steps gets a step of its own.
    {
        TRunReport report;
        report.AddStep(CycleStepName(CycleStep::Backup), StepOutcome::Ok);
        ChargeFailure(report, "'x' n'est pas une valeur numérique valide");
        EXPECT_EQ(StepLines(report), (std::vector<std::string>{
                                         "backup ok ", "erreur failed 'x' n'est pas une valeur numérique valide"}));
    }
}

TEST(CycleDecisions, ADatabaseThatCannotBeRebuiltAsItIsIsRefusedBeforeAnythingRuns)
{
    const DatabaseFacts plain{"force write", {}, "SYSDBA", "SYSDBA", true, true};
    const struct {
        const char* name;
        DatabaseFacts facts;
        const char* refusal; // nullptr: accepted
        bool disconnection;
    } cases[] = {
        {"an ordinary database", plain, nullptr, false},
        {"owner named in another case", {"force write", {}, "sysdba ", "SYSDBA", true, true}, nullptr, false},
        {"kept in multi-user maintenance", {"force write, multi-user maintenance", {}, "SYSDBA", "SYSDBA", true, true},
         nullptr, false},
        {"nbackup lock", {"force write, backup lock", {}, "SYSDBA", "SYSDBA", true, true}, "sauvegarde nbackup", false},
        {"nbackup merge", {"force write, backup merge", {}, "SYSDBA", "SYSDBA", true, true}, "sauvegarde nbackup",
         false},
        {"shut down completely", {"full shutdown", {}, "", "SYSDBA", true, true}, "full shutdown", false},
        {"a shadow", {"force write", {"/data/BD.SHD"}, "SYSDBA", "SYSDBA", true, true}, "a un shadow (/data/BD.SHD)",
         false},
        {"another owner", {"force write", {}, "ALICE", "SYSDBA", true, true}, "appartient à ALICE", false},
        {"no command tables", {"force write", {}, "SYSDBA", "SYSDBA", true, false}, "tables de commande", true},
        {"no command tables, not needed", {"force write", {}, "SYSDBA", "SYSDBA", false, false}, nullptr, false},
        {"read-only", {"force write, read only", {}, "SYSDBA", "SYSDBA", true, true}, "lecture seule", true},
        {"read-only, not sent away", {"force write, read only", {}, "SYSDBA", "SYSDBA", false, true}, nullptr, false},
    };
    for (const auto& c : cases) {
        const auto refusal = DatabaseRefusal("127.0.0.1:/data/BD.FDB", c.facts);
        if (c.refusal == nullptr) {
            EXPECT_EQ(refusal.has_value(), false) << c.name << ": " << refusal.value_or(DatabaseRefusalText{}).message;
            continue;
        }
        ASSERT_TRUE(refusal.has_value()) << c.name;
        EXPECT_NE(refusal->message.find(c.refusal), std::string::npos) << c.name << ": " << refusal->message;
        EXPECT_EQ(refusal->disconnection, c.disconnection) << c.name;
    }
}

TEST(CycleDecisions, TheShutdownStateIsReadFromTheHeader)
{
    EXPECT_EQ(ShutdownModeOf("force write"), fib::TShutdownMode::Normal);
    EXPECT_EQ(ShutdownModeOf("force write, multi-user maintenance"), fib::TShutdownMode::Multi);
    EXPECT_EQ(ShutdownModeOf("single-user maintenance"), fib::TShutdownMode::Single);
    EXPECT_EQ(ShutdownModeOf("force write, full shutdown"), fib::TShutdownMode::Full);
    EXPECT_FALSE(AttributesSayShutDown("force write, read only"));
    EXPECT_TRUE(AttributesSayShutDown("multi-user maintenance"));
}

class MovedFileTest : public ::testing::Test {
protected:
    std::string Database() const { return folder_.File("BD.FDB"); }
    std::string Moved() const { return folder_.File("BD.FIB.BKP"); }
    std::string JournalPath() const { return folder_.File("morvane-cycle.journal"); }

    test::TemporaryFolder folder_;
};

TEST_F(MovedFileTest, LeavingTheCyclePutsTheMovedDatabaseBackAndJournalsIt)
{
    test::WriteFileText(Moved(), "old database");
    int namedAgain = 0;
    {
        TCycleJournal journal(JournalPath(), Database(), Moved(), Database() + "_Morvane");
        MovedDatabaseFile moved(Database(), Moved(), &journal, [&] { ++namedAgain; });
    }
    EXPECT_EQ(test::ReadFileText(Database()), "old database");
    EXPECT_FALSE(std::filesystem::exists(Moved()));
    EXPECT_EQ(namedAgain, 1);
    // Back at its path, the database needs no journal any more.
    EXPECT_FALSE(std::filesystem::exists(JournalPath()));
}

TEST_F(MovedFileTest, AKeptOrReplacedMoveIsNotUndone)
{
    test::WriteFileText(Moved(), "old database");
    {
        MovedDatabaseFile moved(Database(), Moved(), nullptr, [] {});
        moved.Keep();
    }
    EXPECT_FALSE(std::filesystem::exists(Database()));
    EXPECT_TRUE(std::filesystem::exists(Moved()));

    // The rebuilt database already took the path: the old one stays where it is.
    test::WriteFileText(Database(), "new database");
    MovedDatabaseFile moved(Database(), Moved(), nullptr, [] { ADD_FAILURE() << "named again"; });
    EXPECT_TRUE(moved.MoveBack());
    EXPECT_EQ(test::ReadFileText(Database()), "new database");
    EXPECT_EQ(test::ReadFileText(Moved()), "old database");
}

TEST_F(MovedFileTest, AMoveThatCannotBeUndoneIsSaidAndTheJournalStays)
{
    // Nothing at the rename path any more: nothing to put back.
    TCycleJournal journal(JournalPath(), Database(), Moved(), Database() + "_Morvane");
    MovedDatabaseFile moved(Database(), Moved(), &journal, [] { ADD_FAILURE() << "named again"; });
    EXPECT_FALSE(moved.MoveBack());
    EXPECT_FALSE(journal.Finish());
    const JournalState state = ParseJournal(test::ReadFileText(JournalPath()));
    EXPECT_TRUE(state.Has(JournalStep::MovedBack, false));
    EXPECT_FALSE(state.Has(JournalStep::MovedBack, true));
}

} // namespace
} // namespace morvane
