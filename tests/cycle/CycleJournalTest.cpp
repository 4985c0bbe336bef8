// The swap journal: its text read back, what start-up does with each state a
// killed cycle can leave, and the journal on disk.

#include "cycle/CycleJournal.h"

#include "core/Exception.h"
#include "support/TemporaryFolder.h"
#include "support/FileText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace morvane::test {
namespace {

using Action = JournalRecovery::Action;
using Step = JournalStep;

JournalState State(std::vector<JournalState::Entry> entries)
{
    return JournalState{"/data/BD.FDB", "/data/BD.FIB.BKP", "/data/BD.FDB_Morvane", std::move(entries)};
}

TEST(CycleJournal, TextReadsBackAsWritten)
{
    const JournalState state =
        State({{Step::MovedBeforeBackup, false}, {Step::MovedBeforeBackup, true}, {Step::RestoreVerified, true},
               {Step::NewFileMoved, false}});
    const JournalState read = ParseJournal(JournalText(state));
    EXPECT_EQ(read.databasePath, "/data/BD.FDB");
    EXPECT_EQ(read.renamePath, "/data/BD.FIB.BKP");
    EXPECT_EQ(read.newPath, "/data/BD.FDB_Morvane");
    EXPECT_EQ(JournalText(read), JournalText(state));
    EXPECT_TRUE(read.Has(Step::NewFileMoved, false));
    EXPECT_FALSE(read.Has(Step::NewFileMoved, true));
    // Written on Windows or edited there: CR LF reads the same.
    EXPECT_EQ(JournalText(ParseJournal("MORVANE JOURNAL 1\r\ndatabase=/d\r\nrename=\r\nnew=/n\r\ndone "
                                       "restore-verified\r\n")),
              "MORVANE JOURNAL 1\ndatabase=/d\nrename=\nnew=/n\ndone restore-verified\n");
}

TEST(CycleJournal, TextThatIsNotAJournalIsRefused)
{
    const std::string head = "MORVANE JOURNAL 1\ndatabase=/d\nrename=/r\nnew=/n\n";
    std::string tooLong = head;
    for (int i = 0; i < 40; ++i)
        tooLong += "begin moved-back\n";
    for (const std::string& text : {std::string(), std::string("MORVANE JOURNAL 2\ndatabase=/d\nrename=/r\nnew=/n\n"),
                                    std::string("MORVANE JOURNAL 1\ndatabase=/d\n"),
                                    std::string("MORVANE JOURNAL 1\nrename=/r\ndatabase=/d\nnew=/n\n"),
                                    std::string("MORVANE JOURNAL 1\ndatabase=\nrename=/r\nnew=/n\n"),
                                    head + "done swap\n", head + "moved-back\n", head + "begin \n", tooLong})
        EXPECT_THROW(ParseJournal(text), Exception) << text;
}

TEST(CycleJournal, RecoveryPutsADatabaseAtItsPath)
{
    struct Case {
        const char* name;
        std::vector<JournalState::Entry> entries;
        std::set<std::string> files;
        Action action;
    } const cases[] = {
        {"database at its path", {{Step::MovedBeforeBackup, false}}, {"/data/BD.FDB", "/data/BD.FIB.BKP"},
         Action::Nothing},
        {"killed during the backup", {{Step::MovedBeforeBackup, false}, {Step::MovedBeforeBackup, true}},
         {"/data/BD.FIB.BKP"}, Action::MoveOldBack},
        {"rename begun, done line not written", {{Step::MovedBeforeBackup, false}}, {"/data/BD.FIB.BKP"},
         Action::MoveOldBack},
        {"new file not verified", {{Step::MovedBeforeBackup, true}}, {"/data/BD.FIB.BKP", "/data/BD.FDB_Morvane"},
         Action::MoveOldBack},
        {"between the two renames",
         {{Step::RestoreVerified, true}, {Step::OldFileMoved, false}, {Step::OldFileMoved, true}},
         {"/data/BD.FIB.BKP", "/data/BD.FDB_Morvane"},
         Action::MoveNewIn},
        {"verified, new file gone", {{Step::RestoreVerified, true}, {Step::OldFileMoved, true}},
         {"/data/BD.FIB.BKP"}, Action::MoveOldBack},
        {"killed during the new file's rename",
         {{Step::RestoreVerified, true}, {Step::OldFileMoved, true}, {Step::NewFileMoved, false}},
         {"/data/BD.FIB.BKP", "/data/BD.FDB_Morvane"},
         Action::MoveNewIn},
        // The cycle gave the path back to the old file; the verified new one still goes in.
        {"new file's rename failed, moving back begun",
         {{Step::RestoreVerified, true}, {Step::OldFileMoved, true}, {Step::NewFileMoved, false},
          {Step::MovedBack, false}},
         {"/data/BD.FIB.BKP", "/data/BD.FDB_Morvane"},
         Action::MoveNewIn},
        {"moved back before the kill, new file kept for examination",
         {{Step::RestoreVerified, true}, {Step::OldFileMoved, true}, {Step::NewFileMoved, false},
          {Step::MovedBack, false}, {Step::MovedBack, true}},
         {"/data/BD.FDB", "/data/BD.FDB_Morvane"},
         Action::Nothing},
        {"nothing was moved by the cycle", {}, {"/data/BD.FIB.BKP"}, Action::Unresolved},
        {"no file anywhere", {{Step::MovedBeforeBackup, true}}, {}, Action::Unresolved},
    };
    for (const Case& c : cases) {
        const JournalRecovery recovery =
            DecideRecovery(State(c.entries), [&](const std::string& path) { return c.files.count(path) > 0; });
        EXPECT_EQ(recovery.action, c.action) << c.name;
        if (c.action == Action::MoveNewIn || c.action == Action::MoveOldBack) {
            EXPECT_EQ(recovery.from, c.action == Action::MoveNewIn ? "/data/BD.FDB_Morvane" : "/data/BD.FIB.BKP")
                << c.name;
            EXPECT_EQ(recovery.to, "/data/BD.FDB") << c.name;
        }
    }
}

class CycleJournalFiles : public ::testing::Test {
protected:
    std::string Database() const { return folder_.File("BD.FDB"); }
    std::string Renamed() const { return folder_.File("BD.FIB.BKP"); }
    std::string New() const { return folder_.File("BD.FDB_Morvane"); }
    std::string Journal() const { return folder_.File("morvane-cycle.journal"); }
    std::optional<std::string> Resolve()
    {
        return ResolveLeftJournal(
            Journal(), [this](const std::string& line) { logged_.push_back(line); },
            [this](const std::string& path) {
                askedOnline_.push_back(path);
                if (onlineFails_ || path == staysShutDown_)
                    throw Exception("database " + path + " shutdown");
                broughtOnline_.push_back(path);
            });
    }

    TemporaryFolder folder_;
    std::vector<std::string> logged_;
    std::vector<std::string> broughtOnline_;
    // Every path start-up asked to bring online, also when it could not be.
    std::vector<std::string> askedOnline_;
    bool onlineFails_{false};
    std::string staysShutDown_;
};

TEST_F(CycleJournalFiles, JournalStaysOnlyWhileTheDatabaseIsAwayFromItsPath)
{
    WriteFileText(Database(), "old");
    {
        TCycleJournal journal(Journal(), Database(), Renamed(), New());
        journal.Record(Step::MovedBeforeBackup, false);
        std::filesystem::rename(Database(), Renamed());
        journal.Record(Step::MovedBeforeBackup, true);
        EXPECT_EQ(ReadFileText(Journal()), "MORVANE JOURNAL 1\ndatabase=" + Database() + "\nrename=" + Renamed() +
                                       "\nnew=" + New() + "\nbegin moved-before-backup\ndone moved-before-backup\n");
        EXPECT_FALSE(journal.Finish()) << "the database is not at its path";
    }
    EXPECT_TRUE(std::filesystem::exists(Journal())) << "left for the next start";
    EXPECT_FALSE(std::filesystem::exists(Journal() + ".tmp"));

    std::filesystem::rename(Renamed(), Database());
    { TCycleJournal journal(Journal(), Database(), Renamed(), New()); }
    EXPECT_FALSE(std::filesystem::exists(Journal()));
    EXPECT_THROW(TCycleJournal(Journal(), Database() + "\nnew=/etc/passwd", Renamed(), New()), Exception);
}

TEST_F(CycleJournalFiles, StartUpMovesTheVerifiedNewFileInOrTheOldOneBack)
{
    EXPECT_EQ(Resolve(), std::nullopt) << "no journal, nothing to do";
    EXPECT_TRUE(logged_.empty());

    for (const bool verified : {true, false}) {
        SCOPED_TRACE(verified ? "verified" : "not verified");
        WriteFileText(Renamed(), "old");
        WriteFileText(New(), "new");
        JournalState state{Database(), Renamed(), New(), {{Step::MovedBeforeBackup, true}}};
        if (verified)
            state.entries.push_back({Step::RestoreVerified, true});
        WriteFileText(Journal(), JournalText(state));

        EXPECT_EQ(Resolve(), std::nullopt);
        EXPECT_EQ(ReadFileText(Database()), verified ? "new" : "old");
        EXPECT_FALSE(std::filesystem::exists(Journal()));
        ASSERT_FALSE(logged_.empty());
        EXPECT_NE(logged_.back().find("Journal du cycle effacé"), std::string::npos);
        std::filesystem::remove(Database());
        std::filesystem::remove(Renamed());
        std::filesystem::remove(New());
    }

    // Nothing to put back: the journal stays and start-up says why.
    WriteFileText(Journal(), JournalText({Database(), Renamed(), New(), {{Step::MovedBeforeBackup, true}}}));
    const auto unresolved = Resolve();
    ASSERT_TRUE(unresolved.has_value());
    EXPECT_NE(unresolved->find("aucune base à remettre à sa place pour " + Database()), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(Journal()));
}

TEST_F(CycleJournalFiles, StartUpBringsADatabaseTheCycleShutDownBackOnlineAndTheEarlierCopyBack)
{
    const std::string previous = Renamed() + ".morvane-precedent";
    // Killed during the backup: shut down, moved, the earlier copy set aside.
    const JournalState killed{Database(), Renamed(), New(),
                              {{Step::ShutDown, false},
                               {Step::ShutDown, true},
                               {Step::PreviousSetAside, false},
                               {Step::PreviousSetAside, true},
                               {Step::MovedBeforeBackup, false},
                               {Step::MovedBeforeBackup, true}}};
    WriteFileText(Renamed(), "old");
    WriteFileText(previous, "copie d'hier");
    WriteFileText(Journal(), JournalText(killed));
    EXPECT_EQ(Resolve(), std::nullopt);
    EXPECT_EQ(ReadFileText(Database()), "old");
    EXPECT_EQ(broughtOnline_, std::vector<std::string>{Database()});
    EXPECT_EQ(ReadFileText(Renamed()), "copie d'hier") << "the earlier copy is back at the rename path";
    EXPECT_FALSE(std::filesystem::exists(previous));
    EXPECT_FALSE(std::filesystem::exists(Journal()));

    // Swapped before the kill: the new database is online; nothing is brought back.
    broughtOnline_.clear();
    std::filesystem::remove(Renamed());
    JournalState swapped = killed;
    swapped.entries.push_back({Step::RestoreVerified, true});
    swapped.entries.push_back({Step::NewFileMoved, false});
    swapped.entries.push_back({Step::NewFileMoved, true});
    WriteFileText(Journal(), JournalText(swapped));
    EXPECT_EQ(Resolve(), std::nullopt);
    EXPECT_TRUE(broughtOnline_.empty());

    // A database that cannot be brought back keeps its journal for the next start.
    WriteFileText(Journal(), JournalText({Database(), Renamed(), New(), {{Step::ShutDown, false}}}));
    onlineFails_ = true;
    const auto unresolved = Resolve();
    ASSERT_TRUE(unresolved.has_value());
    EXPECT_NE(unresolved->find("n'a pas pu être remise en ligne"), std::string::npos) << *unresolved;
    EXPECT_TRUE(std::filesystem::exists(Journal()));
}

TEST(CycleJournal, OnlyAShutDownNobodyUndidNeedsBringingOnline)
{
    const struct {
        const char* name;
        std::vector<JournalState::Entry> entries;
        bool bringsOnline;
    } cases[] = {
        {"never shut down", {{Step::MovedBeforeBackup, true}}, false},
        {"shutdown begun", {{Step::ShutDown, false}}, true},
        {"shut down and moved", {{Step::ShutDown, true}, {Step::MovedBeforeBackup, true}}, true},
        {"brought back online", {{Step::ShutDown, true}, {Step::BackOnline, true}}, false},
        {"replaced by the new database", {{Step::ShutDown, true}, {Step::NewFileMoved, true}}, false},
        {"new file's rename begun", {{Step::ShutDown, true}, {Step::NewFileMoved, false}}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RecoveryBringsOnline(State(c.entries)), c.bringsOnline) << c.name;
}

// A cycle that kept the database readable switched it to read-only at its path:
// killed anywhere before its swap, start-up puts it back read-write; after it, only
// the old copy at the rename path goes back to read-write.
TEST_F(CycleJournalFiles, StartUpPutsADatabaseSwitchedToReadOnlyBackToReadWrite)
{
    const struct {
        const char* name;
        std::vector<JournalState::Entry> entries;
        bool newWaiting; // the old file at the rename path, the verified new one beside the path
        std::vector<std::string> readWrite;
    } cases[] = {
        {"killed during the backup", {{Step::ReadOnlySet, false}, {Step::ReadOnlySet, true}}, false, {"database"}},
        {"killed during the switch", {{Step::ReadOnlySet, false}}, false, {"database"}},
        {"killed in the swap's cut",
         {{Step::ReadOnlySet, false}, {Step::ReadOnlySet, true}, {Step::RestoreVerified, true}, {Step::ShutDown, false}},
         false, {"database"}},
        {"killed between the two renames: the new file goes in",
         {{Step::ReadOnlySet, false}, {Step::ReadOnlySet, true}, {Step::RestoreVerified, true}, {Step::ShutDown, false},
          {Step::ShutDown, true}, {Step::OldFileMoved, false}, {Step::OldFileMoved, true}, {Step::NewFileMoved, false}},
         true, {"renamed", "database"}},
        {"killed after the failure was undone",
         {{Step::ReadOnlySet, false}, {Step::ReadOnlySet, true}, {Step::ReadWriteBack, true}}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileText(c.newWaiting ? Renamed() : Database(), "old");
        if (c.newWaiting)
            WriteFileText(New(), "new");
        const JournalState state{Database(), Renamed(), New(), c.entries};
        WriteFileText(Journal(), JournalText(state));
        {
            // The cycle's own journal is not removed while the switch is not undone.
            TCycleJournal journal(folder_.File("own.journal"), Database(), Renamed(), New());
            for (const JournalState::Entry& entry : c.entries)
                journal.Record(entry.step, entry.done);
            EXPECT_EQ(journal.Finish(), c.readWrite.empty());
        }
        std::filesystem::remove(folder_.File("own.journal"));
        std::vector<std::string> readWrite;
        const auto result = ResolveLeftJournal(
            Journal(), [](const std::string&) {}, [](const std::string&) {}, nullptr,
            [&](const std::string& path) { readWrite.push_back(path == Database() ? "database" : "renamed"); });
        EXPECT_EQ(result, std::nullopt);
        EXPECT_EQ(readWrite, c.readWrite);
        EXPECT_EQ(ReadFileText(Database()), c.newWaiting ? "new" : "old");
        EXPECT_FALSE(std::filesystem::exists(Journal()));
        std::filesystem::remove(Database());
        std::filesystem::remove(Renamed());
    }
}

TEST_F(CycleJournalFiles, AMoveStartUpCannotMakeKeepsTheJournalForTheNextStart)
{
    // The database's folder is not there (its disk not mounted yet): no file can be
    // moved to the database path.
    const std::string unmounted = folder_.File("data");
    const std::string database = unmounted + "/BD.FDB";
    const std::string previous = PreviousCopyPath(Renamed());
    const std::vector<JournalState::Entry> movedAway{{Step::ShutDown, false},         {Step::ShutDown, true},
                                                     {Step::PreviousSetAside, false}, {Step::PreviousSetAside, true},
                                                     {Step::MovedBeforeBackup, false}, {Step::MovedBeforeBackup, true}};
    std::vector<JournalState::Entry> verified = movedAway;
    verified.push_back({Step::RestoreVerified, true});
    const struct {
        const char* name;
        std::vector<JournalState::Entry> entries;
        std::string from;
        const char* text;
    } cases[] = {
        {"the old file back", movedAway, Renamed(), "old"},
        {"the verified new file in", verified, New(), "new"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileText(Renamed(), "old");
        WriteFileText(New(), "new");
        WriteFileText(previous, "copie d'hier");
        const std::string journal = JournalText({database, Renamed(), New(), c.entries});
        WriteFileText(Journal(), journal);
        askedOnline_.clear();

        const auto unresolved = Resolve();
        ASSERT_TRUE(unresolved.has_value());
        EXPECT_NE(unresolved->find("(" + c.from + " => " + database + ")"), std::string::npos) << *unresolved;
        EXPECT_NE(unresolved->find("le journal " + Journal() + " est conservé"), std::string::npos) << *unresolved;
        EXPECT_EQ(ReadFileText(Journal()), journal) << "the journal stays as it was";
        EXPECT_EQ(ReadFileText(c.from), c.text);
        EXPECT_EQ(ReadFileText(previous), "copie d'hier") << "the earlier copy stays aside";
        EXPECT_TRUE(askedOnline_.empty()) << "no database is at its path to be brought online";

        // The next start, with the folder there, resolves the same journal.
        std::filesystem::create_directory(unmounted);
        EXPECT_EQ(Resolve(), std::nullopt);
        EXPECT_EQ(ReadFileText(database), c.text);
        EXPECT_FALSE(std::filesystem::exists(Journal()));

        std::filesystem::remove_all(unmounted);
        for (const std::string& file : {Renamed(), New(), previous})
            std::filesystem::remove(file);
    }
}

TEST_F(CycleJournalFiles, TheOldCopyIsBroughtBackOnlineOnceStartUpHasMovedTheNewFileIn)
{
    const struct {
        const char* name;
        std::vector<JournalState::Entry> entries;
        // The paths start-up asks to bring online, in order.
        std::vector<std::string> online;
    } cases[] = {
        {"moved before the backup, shut down",
         {{Step::ShutDown, false}, {Step::ShutDown, true}, {Step::MovedBeforeBackup, false},
          {Step::MovedBeforeBackup, true}, {Step::RestoreVerified, true}},
         {Renamed(), Database()}},
        {"shutdown begun: the server may have shut it down",
         {{Step::ShutDown, false}, {Step::MovedBeforeBackup, true}, {Step::RestoreVerified, true}},
         {Renamed(), Database()}},
        {"old file moved at the swap",
         {{Step::ShutDown, true}, {Step::RestoreVerified, true}, {Step::OldFileMoved, false},
          {Step::OldFileMoved, true}},
         {Renamed(), Database()}},
        {"killed during the new file's rename",
         {{Step::ShutDown, true}, {Step::MovedBeforeBackup, true}, {Step::RestoreVerified, true},
          {Step::NewFileMoved, false}},
         {Renamed(), Database()}},
        {"never shut down", {{Step::MovedBeforeBackup, true}, {Step::RestoreVerified, true}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileText(Renamed(), "old");
        WriteFileText(New(), "new");
        WriteFileText(Journal(), JournalText({Database(), Renamed(), New(), c.entries}));
        askedOnline_.clear();
        logged_.clear();

        EXPECT_EQ(Resolve(), std::nullopt);
        EXPECT_EQ(ReadFileText(Database()), "new");
        EXPECT_EQ(ReadFileText(Renamed()), "old");
        EXPECT_EQ(askedOnline_, c.online);
        const bool oldOnline =
            std::find(logged_.begin(), logged_.end(), "Ancienne base remise en ligne: " + Renamed()) != logged_.end();
        EXPECT_EQ(oldOnline, !c.online.empty());
        EXPECT_FALSE(std::filesystem::exists(Journal()));
        std::filesystem::remove(Database());
        std::filesystem::remove(Renamed());
    }

    // The old copy that stays shut down is said; the new database is in place all the
    // same and the journal goes.
    WriteFileText(Renamed(), "old");
    WriteFileText(New(), "new");
    WriteFileText(Journal(), JournalText({Database(), Renamed(), New(), cases[0].entries}));
    askedOnline_.clear();
    logged_.clear();
    staysShutDown_ = Renamed();
    EXPECT_EQ(Resolve(), std::nullopt);
    EXPECT_EQ(ReadFileText(Database()), "new");
    EXPECT_EQ(askedOnline_, (std::vector<std::string>{Renamed(), Database()}));
    EXPECT_NE(std::find(logged_.begin(), logged_.end(),
                        "L'ancienne base " + Renamed() + " reste arrêtée: database " + Renamed() + " shutdown"),
              logged_.end());
    EXPECT_FALSE(std::filesystem::exists(Journal()));
}

TEST(CycleJournal, TheEarlierCopyGoesBackOnlyWhenTheCycleDidNotSwapAndItsPlaceIsFree)
{
    const std::string renamed = "/data/BD.FIB.BKP";
    const std::string previous = PreviousCopyPath(renamed);
    const auto setAsideAnd = [](std::vector<JournalState::Entry> more) {
        std::vector<JournalState::Entry> entries{{Step::PreviousSetAside, false}, {Step::PreviousSetAside, true}};
        entries.insert(entries.end(), more.begin(), more.end());
        return entries;
    };
    const struct {
        const char* name;
        std::vector<JournalState::Entry> entries;
        std::set<std::string> files;
        Action action;
    } cases[] = {
        {"set aside, its place free", setAsideAnd({}), {previous}, Action::MoveOldBack},
        {"set aside begun: the rename may have been made", {{Step::PreviousSetAside, false}}, {previous},
         Action::MoveOldBack},
        // A file of that name the cycle did not put there is left alone.
        {"never set aside", {}, {previous}, Action::Nothing},
        {"put back", setAsideAnd({{Step::PreviousPutBack, false}, {Step::PreviousPutBack, true}}), {previous},
         Action::Nothing},
        {"putting back begun", setAsideAnd({{Step::PreviousPutBack, false}}), {previous}, Action::MoveOldBack},
        {"swapped", setAsideAnd({{Step::NewFileMoved, false}, {Step::NewFileMoved, true}}), {previous},
         Action::Nothing},
        {"swap begun", setAsideAnd({{Step::NewFileMoved, false}}), {previous}, Action::MoveOldBack},
        {"the set-aside copy gone", setAsideAnd({}), {}, Action::Nothing},
        {"its place taken", setAsideAnd({}), {previous, renamed}, Action::Nothing},
        {"the database at its path changes nothing", setAsideAnd({}), {previous, "/data/BD.FDB"},
         Action::MoveOldBack},
    };
    for (const auto& c : cases) {
        const JournalRecovery decision = DecidePreviousCopy(
            JournalState{"/data/BD.FDB", renamed, "/data/BD.FDB_Morvane", c.entries},
            [&](const std::string& path) { return c.files.count(path) > 0; });
        EXPECT_EQ(decision.action, c.action) << c.name;
        if (c.action == Action::MoveOldBack) {
            EXPECT_EQ(decision.from, previous) << c.name;
            EXPECT_EQ(decision.to, renamed) << c.name;
        }
    }
}

} // namespace
} // namespace morvane::test
