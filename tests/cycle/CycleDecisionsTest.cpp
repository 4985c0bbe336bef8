// The decisions the cycle makes without a server: the exit status of each class of
// failure, the databases it refuses, and the undo of a database file it moved.

#include "cycle/CycleExitStatus.h"
#include "cycle/CycleJournal.h"
#include "cycle/CycleOutcome.h"
#include "cycle/CycleUndo.h"
#include "cycle/DatabaseChecks.h"
#include "cycle/DatabaseControl.h"
#include "support/FileText.h"
#include "support/TemporaryFolder.h"

#include <gmock/gmock.h>
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
        {CycleStage::AlreadyRunning, ExitAlreadyRunning},
        {CycleStage::Preflight, ExitPreflightRefused},
        {CycleStage::Preparation, ExitStartUpError},
        {CycleStage::Disconnection, ExitDisconnectionRefused},
        {CycleStage::Backup, ExitBackupFailed},
        {CycleStage::Restore, ExitRestoreFailed},
        {CycleStage::Swap, ExitSwapFailed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExitStatusOfStage(c.stage), c.status) << static_cast<int>(c.stage);
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
        // Refused whoever owns it and whatever the disconnection needs.
        {"spread over three files",
         {"force write", {}, "ALICE", "SYSDBA", true, false, {"/data/BD.FD2", "/data/BD.FD3"}},
         "est répartie sur plusieurs fichiers (fichiers de continuation : /data/BD.FD2, /data/BD.FD3)", false},
        // The workstations are then cut without being asked.
        {"no command tables", {"force write", {}, "SYSDBA", "SYSDBA", true, false}, nullptr, false},
        {"read-only", {"force write, read only", {}, "SYSDBA", "SYSDBA", true, true}, nullptr, false},
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

TEST(CycleDecisions, TheWorkstationsCannotBeAskedWithoutTheTablesOrOnAReadOnlyDatabase)
{
    EXPECT_EQ(WorkstationRequestUnavailable({"force write", {}, "SYSDBA", "SYSDBA", true, true}), std::nullopt);
    EXPECT_THAT(WorkstationRequestUnavailable({"force write", {}, "SYSDBA", "SYSDBA", true, false}).value_or(""),
                ::testing::HasSubstr("tables de commande"));
    EXPECT_THAT(WorkstationRequestUnavailable({"read only", {}, "SYSDBA", "SYSDBA", true, true}).value_or(""),
                ::testing::HasSubstr("lecture seule"));
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

TEST_F(MovedFileTest, TheMovedDatabaseGoesBackAndTheJournalSaysSo)
{
    test::WriteFileText(Moved(), "old database");
    {
        TCycleJournal journal(JournalPath(), Database(), Moved(), Database() + "_Morvane");
        EXPECT_TRUE(MoveFileBack(Database(), Moved(), &journal, JournalStep::MovedBack, "Base"));
        const JournalState state = ParseJournal(test::ReadFileText(JournalPath()));
        EXPECT_TRUE(state.Has(JournalStep::MovedBack, false));
        EXPECT_TRUE(state.Has(JournalStep::MovedBack, true));
    }
    EXPECT_EQ(test::ReadFileText(Database()), "old database");
    EXPECT_FALSE(std::filesystem::exists(Moved()));
    // Back at its path, the database needs no journal any more.
    EXPECT_FALSE(std::filesystem::exists(JournalPath()));
}

TEST_F(MovedFileTest, ARebuiltDatabaseAtThePathStaysAndTheOldOneWithIt)
{
    test::WriteFileText(Moved(), "old database");
    test::WriteFileText(Database(), "new database");
    EXPECT_TRUE(MoveFileBack(Database(), Moved(), nullptr, JournalStep::MovedBack, "Base"));
    EXPECT_EQ(test::ReadFileText(Database()), "new database");
    EXPECT_EQ(test::ReadFileText(Moved()), "old database");
}

TEST_F(MovedFileTest, AMoveThatCannotBeUndoneIsSaidAndTheJournalStays)
{
    // Nothing at the rename path any more: nothing to put back.
    TCycleJournal journal(JournalPath(), Database(), Moved(), Database() + "_Morvane");
    EXPECT_FALSE(MoveFileBack(Database(), Moved(), &journal, JournalStep::MovedBack, "Base"));
    EXPECT_FALSE(journal.Finish());
    const JournalState state = ParseJournal(test::ReadFileText(JournalPath()));
    EXPECT_TRUE(state.Has(JournalStep::MovedBack, false));
    EXPECT_FALSE(state.Has(JournalStep::MovedBack, true));
}

} // namespace
} // namespace morvane
