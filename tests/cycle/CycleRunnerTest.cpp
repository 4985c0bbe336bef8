// The cycle's steps and their runner in-process, against a fake server: for every
// fault that does not need a real server killed, where the database ends (at its
// path and online, as the fake sees it), what the journal says, which step of the
// run report the failure is charged to and the exit status.

#include "FakeCycleServer.h"

#include "cycle/BackupCycle.h"
#include "cycle/CycleExitStatus.h"
#include "cycle/CycleJournal.h"
#include "cycle/CycleLock.h"
#include "cycle/CycleFiles.h"
#include "cycle/CycleState.h"
#include "cycle/RunHistory.h"
#include "support/FileText.h"
#include "support/TemporaryFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace morvane::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

class RecordingView final : public ICycleView {
public:
    std::vector<std::string> failures;
    std::vector<std::string> lines;
    std::chrono::milliseconds progressPainting{0};

    void SetStatus(const std::string&, PanelColour) override {}
    void SetStatusColour(PanelColour) override {}
    void AppendLine(const std::string& line) override { lines.push_back(line); }
    void ShowFailure(const std::string& text, const std::string&) override { failures.push_back(text); }
    void RefreshHeader() override {}
    void MarkSetting(SettingItem, bool) override {}
    void ProcessMessages() override {}
    void ShowProgress(const std::string&, double, double, std::optional<double>) override
    {
        // A window that takes its time painting: the request lasts a few milliseconds.
        std::this_thread::sleep_for(progressPainting);
    }
    void EndProgress() override {}
};

// What one run left behind.
struct RunResult {
    int exitStatus{-1};
    std::string error; // the error the window would show; empty when none
    std::vector<std::string> steps; // "<report line> <outcome>"
    std::vector<std::string> reached;
    bool interrupted{false};
    std::optional<std::int64_t> downtimeMs{-1};
    std::optional<std::int64_t> readDowntimeMs{-1};
    std::string failureCause;
    std::optional<std::int64_t> gapBefore; // the transaction gaps the report's health figures give
    std::optional<std::int64_t> gapAfter;
};

class CycleRunnerTest : public ::testing::Test {
public:
    CycleRunnerTest()
    {
        FakeCycleServer::WriteDatabase(Database(), "old");
        request_.dbFile = Database();
        request_.user = "SYSDBA";
        request_.password = "masterkey";
        request_.backupFolder = folder_.Path();
        request_.renamePath = Renamed();
        request_.renameBeforeBackup = true;
        request_.forceDisconnection = true;
        request_.pageSizeText = "8192";
        request_.pageBuffers = 2048;
        request_.unattended = true;
    }

    ~CycleRunnerTest() override
    {
        // The state the runs kept for this test's database goes with it.
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(Journal()).parent_path(), ignored);
        std::filesystem::remove_all(std::filesystem::path(CycleLockPath(Database())).parent_path(), ignored);
    }

    std::string Database() const { return folder_.File("BD.FDB"); }
    std::string Renamed() const { return folder_.File("BD.FIB.BKP"); }
    std::string NewFile() const { return Database() + NewDatabaseSuffix; }
    std::string Backup() const { return folder_.File(CycleBackupFileNameFor(Database(), false)); }
    std::string Journal() const { return CycleJournalPath(Database()); }
    std::string Name(const std::string& path) const { return FakeCycleServer::Field(path, "name"); }
    std::string Mode(const std::string& path) const { return FakeCycleServer::Field(path, "mode"); }

    RunResult Run()
    {
        RunResult result;
        CycleHooks hooks;
        hooks.stepReached = [&](std::string_view step) {
            result.reached.emplace_back(step);
            if (atStep_)
                atStep_(std::string(step));
        };
        hooks.reportFinished = [&](const TRunReport& report) {
            for (const RunReportStep& step : report.Steps())
                result.steps.push_back(step.name + " " + StepOutcomeText(step.outcome));
            result.interrupted = report.Interrupted();
            result.downtimeMs = report.DowntimeMs();
            result.readDowntimeMs = report.ReadDowntimeMs();
            result.failureCause = report.FailureCause();
            if (report.HealthBefore())
                result.gapBefore = report.HealthBefore()->TransactionGap();
            if (report.HealthAfter())
                result.gapAfter = report.HealthAfter()->TransactionGap();
            if (atReport_)
                atReport_();
        };
        hooks.stopRequested = [&] { return stop_; };
        hooks.sharedFileWait = sharedFileWait_;
        TBackupCycle cycle(request_, server_, view_, hooks);
        try {
            cycle.Run();
        } catch (const std::exception& error) {
            result.error = error.what();
        }
        result.exitStatus = cycle.ExitStatus();
        return result;
    }

    // The old database at its path, online, nothing left of the cycle around it.
    void ExpectOldDatabaseOnlineAtItsPath(const std::string& context)
    {
        EXPECT_EQ(Name(Database()), "old") << context;
        EXPECT_EQ(Mode(Database()), "online") << context;
        EXPECT_FALSE(std::filesystem::exists(Journal())) << context;
        EXPECT_FALSE(std::filesystem::exists(Backup())) << context;
    }

    TemporaryFolder folder_;
    CycleRequest request_;
    FakeCycleServer server_;
    RecordingView view_;
    std::function<void(const std::string&)> atStep_;
    // Called once the run report is complete, the closing steps behind it.
    std::function<void()> atReport_;
    bool stop_{false};
    std::chrono::seconds sharedFileWait_{0};
};

TEST_F(CycleRunnerTest, ACycleThatGoesWellSwapsTheRebuiltDatabaseIn)
{
    const RunResult result = Run();
    EXPECT_EQ(result.exitStatus, ExitCompleted);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(Name(Database()), "rebuilt");
    EXPECT_EQ(Mode(Database()), "online");
    // The old copy is open again at the rename path, for the administrator.
    EXPECT_EQ(Name(Renamed()), "old");
    EXPECT_EQ(Mode(Renamed()), "online");
    for (const std::string& gone : {Journal(), Backup(), NewFile()})
        EXPECT_FALSE(std::filesystem::exists(gone)) << gone;
    // Cut, then online again at its path: a downtime is known.
    ASSERT_TRUE(result.downtimeMs.has_value());
    EXPECT_GE(*result.downtimeMs, 0);
    EXPECT_EQ(result.steps,
              (std::vector<std::string>{"vérification préalable ok", "vérification de la base ok",
                                        "batch avant backup skipped", "déconnexion ok", "rename avant backup ok",
                                        "écriture des réglages skipped", "backup ok", "batch après backup skipped",
                                        "restore ok",
                                        "vérification de la nouvelle base ok", "swap ok",
                                        "batch après restore skipped"}));
    // Each journaled step is reached once its done line is on disk.
    for (const char* done : {"shut-down:done", "moved-before-backup:done", "restore-verified:done",
                             "new-file-moved:done"})
        EXPECT_THAT(result.reached, Contains(std::string(done)));
}

// The health figures are read with the database online: the old one before anything
// is cut, the rebuilt one once it is online at its path; neither inside the downtime.
TEST_F(CycleRunnerTest, HealthIsReadOnlineBeforeTheCutAndAfterTheRebuiltDatabaseIsBack)
{
    std::vector<std::string> readsAtCut;
    atStep_ = [&](const std::string& step) {
        if (step == "shut-down:done")
            readsAtCut = server_.healthReads;
    };
    request_.healthTables = false;
    const RunResult result = Run();
    EXPECT_EQ(result.exitStatus, ExitCompleted);
    EXPECT_EQ(readsAtCut, std::vector<std::string>{"old online"});
    EXPECT_EQ(server_.healthReads, (std::vector<std::string>{"old online", "rebuilt online"}));
    EXPECT_EQ(result.gapBefore, 1);
    EXPECT_EQ(result.gapAfter, 2);
}

// A cycle that fails reads no figures after: the database at the path is the old one.
TEST_F(CycleRunnerTest, AFailedCycleReadsNoHealthAfter)
{
    server_.raiseAt["Restore"] = 1;
    const RunResult result = Run();
    EXPECT_NE(result.exitStatus, ExitCompleted);
    EXPECT_EQ(server_.healthReads, std::vector<std::string>{"old online tables"});
}

// The next run's estimate of its time left learns from this run's requests: the
// report keeps how each went when it ended well, else how the last whole one went.
TEST_F(CycleRunnerTest, EachRequestsTraceIsKeptForTheNextRunWhenItEndedWell)
{
    view_.progressPainting = std::chrono::milliseconds(5);
    ASSERT_EQ(Run().exitStatus, ExitCompleted);
    const std::string report = CycleStateFolder(Database()) + "/" + RunReportFileName;
    const PreviousRun kept = PreviousRunFromReport(ReadFileText(report));
    ASSERT_FALSE(kept.backup.empty());
    ASSERT_FALSE(kept.restore.empty());
    // Both requests wrote their 7 lines, the 42 rows of the two tables.
    EXPECT_EQ(kept.backup.back().lines, 7);
    EXPECT_EQ(kept.backup.back().rows, 42);
    EXPECT_EQ(kept.restore.back().lines, 7);
    EXPECT_EQ(kept.restore.back().rows, 42);
    EXPECT_GE(kept.restore.back().ms, 5);

    std::filesystem::rename(Renamed(), Database());
    FakeCycleServer::WriteDatabase(Database(), "old");
    server_ = FakeCycleServer{};
    server_.restoreFailsAfter = 3;
    view_.progressPainting = std::chrono::milliseconds(15);
    EXPECT_NE(Run().exitStatus, ExitCompleted);
    const PreviousRun afterFailure = PreviousRunFromReport(ReadFileText(report));
    ASSERT_FALSE(afterFailure.backup.empty());
    EXPECT_GE(afterFailure.backup.back().ms, 15) << "this run's backup";
    EXPECT_EQ(afterFailure.restore, kept.restore) << "a failed restore is no guide: the last whole one stays";

    // A run refused before its requests leaves both.
    server_ = FakeCycleServer{};
    request_.backupFolder = folder_.File("no-such-folder");
    EXPECT_NE(Run().exitStatus, ExitCompleted);
    const PreviousRun afterRefusal = PreviousRunFromReport(ReadFileText(report));
    EXPECT_EQ(afterRefusal.backup, afterFailure.backup);
    EXPECT_EQ(afterRefusal.restore, kept.restore);
}

// A profile that names the database through a link or an alias: the file it leads to
// is moved aside, rebuilt beside itself and put back at its own path, so the link and
// the alias reach the rebuilt database and clients of the real path never keep
// writing into the old copy.
TEST_F(CycleRunnerTest, TheFileALinkOrAnAliasLeadsToIsTheOneRebuilt)
{
    std::filesystem::create_directory(folder_.File("liens"));
    const std::string link = folder_.File("liens/BD.FDB");
    std::filesystem::create_symlink(Database(), link);
    const std::string folderLink = folder_.File("liens/dossier");
    std::filesystem::create_symlink(folder_.Path(), folderLink);
    for (const std::string& text :
         {"srv:" + link, "inet://srv/" + link, folderLink + "/BD.FDB", std::string("srv:monalias")}) {
        SCOPED_TRACE(text);
        std::filesystem::remove(Renamed());
        FakeCycleServer::WriteDatabase(Database(), "old");
        server_ = FakeCycleServer{};
        server_.aliases["monalias"] = Database();
        request_.dbFile = text;

        const RunResult result = Run();

        EXPECT_EQ(result.exitStatus, ExitCompleted) << result.error;
        EXPECT_EQ(Name(Database()), "rebuilt");
        EXPECT_EQ(Name(Renamed()), "old");
        EXPECT_EQ(std::filesystem::read_symlink(link), Database()) << "the link is left as it was";
        EXPECT_EQ(Name(link), "rebuilt");
        EXPECT_FALSE(std::filesystem::exists(NewFile()));
        EXPECT_FALSE(std::filesystem::exists(Journal()));
        // The window's buttons act on the database the profile names again.
        EXPECT_EQ(server_.DatabaseName(), text);
    }
    std::filesystem::remove(RememberedDatabaseFilePath("srv:monalias"));
}

// One fault, where it strikes, and what the run must end with.
struct FaultCase {
    const char* fault;
    std::function<void(CycleRunnerTest&, FakeCycleServer&)> arrange;
    int exitStatus;
    const char* charged; // the run report's line the failure is charged to, with its outcome
    bool raised;         // the error goes on to the window's error display
};

// A fault put in the cycle's way as the named step starts.
std::function<void(CycleRunnerTest&, FakeCycleServer&)> AtStep(std::string step,
                                                               std::function<void(CycleRunnerTest&)> fault)
{
    return [step, fault](CycleRunnerTest& t, FakeCycleServer&) {
        t.atStep_ = [&t, step, fault](const std::string& reached) {
            if (reached == step)
                fault(t);
        };
    };
}

// The journal cannot be written from the named step on: a folder where its file goes.
std::function<void(CycleRunnerTest&, FakeCycleServer&)> JournalBlockedAt(std::string step)
{
    return AtStep(std::move(step), [](CycleRunnerTest& t) {
        std::filesystem::remove(t.Journal());
        std::filesystem::create_directory(t.Journal());
    });
}

TEST_F(CycleRunnerTest, EveryFaultLeavesTheOldDatabaseOnlineAtItsPath)
{
    // Each row runs on a fresh folder and server.
    const std::vector<FaultCase> cases{
        {"the database checks cannot read the header", [](auto&, FakeCycleServer& s) { s.raiseAt["Facts"] = 1; },
         ExitPreflightRefused, "vérification de la base failed", true},
        {"the sending away refused", [](auto&, FakeCycleServer& s) { s.raiseAt["SendWorkstationsAway"] = 1; },
         ExitDisconnectionRefused, "déconnexion failed", true},
        {"the shutdown refused", [](auto&, FakeCycleServer& s) { s.raiseAt["Shutdown"] = 1; },
         ExitDisconnectionRefused, "déconnexion failed", true},
        {"the moved file cannot be opened", [](auto&, FakeCycleServer& s) { s.raiseAt["BringOnline"] = 1; },
         ExitBackupFailed, "rename avant backup failed", true},
        {"the backup fails after some lines", [](auto&, FakeCycleServer& s) { s.backupFailsAfter = 3; },
         ExitBackupFailed, "backup failed", false},
        {"the backup cannot start", [](auto&, FakeCycleServer& s) { s.raiseAt["Backup"] = 1; }, ExitBackupFailed,
         "backup failed", false},
        {"somebody attached to the old file after its backup",
         [](auto&, FakeCycleServer& s) {
             s.beforeCall = [&s](const std::string& call) {
                 if (call == "Shutdown" && s.CallCount("Backup") == 1)
                     s.others = {"ALICE 10.0.0.7"};
             };
         },
         ExitBackupFailed, "backup failed", true},
        {"the restore fails after some lines", [](auto&, FakeCycleServer& s) { s.restoreFailsAfter = 2; },
         ExitRestoreFailed, "restore failed", false},
        {"the restore gives back a row less", [](auto&, FakeCycleServer& s) { s.restoredRows["CLIENTS"] = 11; },
         ExitRestoreFailed, "vérification de la nouvelle base failed", false},
        {"the old file opened again after its backup",
         AtStep("old-file-closed",
                [](CycleRunnerTest& t) { FakeCycleServer::WriteDatabase(t.Renamed(), "old", "online"); }),
         ExitRestoreFailed, "vérification de la nouvelle base failed", false},
        {"the new file gone before the swap",
         AtStep("new-file-moved", [](CycleRunnerTest& t) { std::filesystem::remove(t.NewFile()); }),
         ExitSwapFailed, "swap failed", false},
        {"the move before the backup fails (a file appeared at the rename path)",
         AtStep("moved-before-backup", [](CycleRunnerTest& t) { WriteFileText(t.Renamed(), "planted"); }),
         ExitBackupFailed, "rename avant backup failed", true},
        {"the copy an earlier cycle left cannot be set aside (a file appeared where it goes)",
         [](CycleRunnerTest& t, FakeCycleServer&) {
             WriteFileText(t.Renamed(), "earlier copy");
             t.atStep_ = [&t](const std::string& reached) {
                 if (reached == "previous-set-aside")
                     WriteFileText(PreviousCopyPath(t.Renamed()), "planted");
             };
         },
         ExitBackupFailed, "rename avant backup failed", true},
        {"the journal cannot be written before the shutdown (disk full)",
         JournalBlockedAt("shut-down"),
         ExitDisconnectionRefused, "déconnexion failed", true},
        {"the journal cannot be written before the move",
         JournalBlockedAt("moved-before-backup"),
         ExitBackupFailed, "rename avant backup failed", true},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.fault);
        CycleRunnerTest& t = *this;
        // A fresh start for each row.
        std::filesystem::remove_all(folder_.Path());
        std::filesystem::create_directories(folder_.Path());
        FakeCycleServer::WriteDatabase(Database(), "old");
        server_ = FakeCycleServer{};
        view_ = RecordingView{};
        atStep_ = {};
        c.arrange(t, server_);
        const RunResult result = Run();
        EXPECT_EQ(result.exitStatus, c.exitStatus);
        EXPECT_THAT(result.steps, Contains(std::string(c.charged)));
        EXPECT_EQ(!result.error.empty(), c.raised) << result.error;
        // A journal turned into a folder by the fault is the test's, not the cycle's.
        if (std::filesystem::is_directory(Journal()))
            std::filesystem::remove(Journal());
        ExpectOldDatabaseOnlineAtItsPath(c.fault);
        // Whatever failed, the old database was not left at the rename path.
        EXPECT_FALSE(std::filesystem::exists(Renamed()) && Name(Renamed()) == "old");
        // A failure the cycle reports itself reaches the operator.
        if (!c.raised) {
            EXPECT_EQ(view_.failures.size(), 1u);
        }
    }
}

// A restore the server failed on an index: once the old database is back online at
// its path, its catalogue says which table and which expression, and the operator's
// dialog and the run report end with the sentence built from it.
TEST_F(CycleRunnerTest, AFailedRestoreIsExplainedFromTheOldDatabasesCatalogueOnceItIsBack)
{
    const std::string serverText =
        "gbak:cannot commit index UX_ARTICLES_CODE\n"
        "gbak: ERROR:attempt to store duplicate value (visible to active transactions) in unique index "
        "\"UX_ARTICLES_CODE\"\n"
        "gbak: ERROR:    Problematic key value is (<expression> = 0)";
    const std::string fromCatalogue = "Cause : l'index unique UX_ARTICLES_CODE de la table ARTICLES (expression "
                                      "F(CODE)) refuse la valeur 0 en double: corriger les doublons dans la base "
                                      "actuelle, ou désactiver l'index, puis relancer le cycle.";
    const std::string fromServer = "Cause : l'index unique UX_ARTICLES_CODE refuse la valeur 0 en double: corriger "
                                   "les doublons dans la base actuelle, ou désactiver l'index, puis relancer le cycle.";
    const struct {
        const char* name;
        std::string error;    // what the failing restore ends with
        bool catalogueRefused;
        std::string cause;    // the sentence; empty: none
    } cases[] = {
        {"the catalogue names the table", serverText, false, fromCatalogue},
        {"the catalogue cannot be read", serverText, true, fromServer},
        {"the server named nothing", "gbak: ERROR:I/O error during \"write\" operation", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder_.Path());
        std::filesystem::create_directories(folder_.Path());
        FakeCycleServer::WriteDatabase(Database(), "old");
        server_ = FakeCycleServer{};
        view_ = RecordingView{};
        server_.restoreFailsAfter = 2;
        server_.restoreError = c.error;
        server_.catalogue["UX_ARTICLES_CODE"] = {"UX_ARTICLES_CODE", "ARTICLES", {}, "(F(CODE))", true, "", "", ""};
        if (c.catalogueRefused)
            server_.raiseAt["ReadCatalogueIndex"] = 1;

        const RunResult result = Run();

        EXPECT_EQ(result.exitStatus, ExitRestoreFailed);
        ExpectOldDatabaseOnlineAtItsPath(c.name);
        EXPECT_EQ(result.failureCause, c.cause);
        ASSERT_EQ(view_.failures.size(), 1u);
        const std::string& dialog = view_.failures[0];
        EXPECT_THAT(dialog, HasSubstr("\nMessage du serveur :\n"));
        EXPECT_THAT(dialog, HasSubstr(c.error));
        if (c.cause.empty()) {
            EXPECT_EQ(server_.CallCount("ReadCatalogueIndex"), 0);
            EXPECT_THAT(dialog, ::testing::Not(HasSubstr("Cause")));
            continue;
        }
        EXPECT_THAT(dialog, ::testing::EndsWith(c.error + "\n" + c.cause)) << "after the server's lines";
        // Read from the old database at its path, online again, not from the new file.
        if (!c.catalogueRefused) {
            EXPECT_EQ(server_.catalogueReadOn, std::vector<std::string>{Database() + " old"});
        }
    }
}

// Another user of the database's folder puts a link to a file of root's at the new
// file's name once it is verified: the link is neither given the old file's owner
// nor swapped in, and the file it leads to stays as it was.
TEST_F(CycleRunnerTest, ALinkPutAtTheNewFilesNameIsNeitherChownedNorSwappedIn)
{
    const std::string victim = folder_.File("victim");
    WriteFileText(victim, "root's own\n");
    std::filesystem::permissions(victim, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    FakeCycleServer::WriteDatabase(Database(), "old");
    std::filesystem::permissions(Database(), std::filesystem::perms::all);
    atStep_ = [this, victim](const std::string& step) {
        if (step == "owner-copied") {
            std::filesystem::remove(NewFile());
            std::filesystem::create_symlink(victim, NewFile());
        }
    };
    const RunResult result = Run();
    EXPECT_EQ(result.exitStatus, ExitSwapFailed);
    EXPECT_THAT(result.steps, Contains(std::string("swap failed")));
    EXPECT_EQ(std::filesystem::status(victim).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(ReadFileText(victim), "root's own\n");
    EXPECT_FALSE(std::filesystem::is_symlink(Database()));
    ExpectOldDatabaseOnlineAtItsPath("link at the new file's name");
    ASSERT_EQ(view_.failures.size(), 1u);
    EXPECT_THAT(view_.failures[0], HasSubstr("n'est plus celui qui a été vérifié"));
}

TEST_F(CycleRunnerTest, AStopRequestBetweenAnyTwoStepsPutsTheDatabaseBack)
{
    // The steps of a good run in their order, up to the swap: a stop asked for while
    // one runs is taken before the next, and the next never starts.
    const std::vector<std::string> order{
        "preflight",           "database-checks",     "batch-before-backup", "disconnection",
        "shut-down",           "moved-before-backup", "moved-file-opened",   "backup",
        "closed-after-backup", "batch-after-backup",  "restore",             "verification",
        "old-file-closed",     "owner-copied",        "shutdown-state-copied", "restore-verified",
        "new-file-moved"};
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        const std::string& during = order[i];
        const std::string& next = order[i + 1];
        SCOPED_TRACE("stop during " + during);
        std::filesystem::remove_all(folder_.Path());
        std::filesystem::create_directories(folder_.Path());
        FakeCycleServer::WriteDatabase(Database(), "old");
        server_ = FakeCycleServer{};
        stop_ = false;
        atStep_ = [&](const std::string& reached) {
            if (reached == during)
                stop_ = true;
        };
        const RunResult result = Run();
        stop_ = false;
        EXPECT_EQ(result.exitStatus, ExitInterrupted);
        EXPECT_TRUE(result.interrupted);
        EXPECT_THAT(result.error, HasSubstr("Cycle interrompu"));
        // A step that runs after a failure (once the backup ran) may start; no other does.
        if (next != "batch-after-backup") {
            EXPECT_THAT(result.reached, ::testing::Not(Contains(next)));
        }
        ExpectOldDatabaseOnlineAtItsPath(during);
        EXPECT_FALSE(std::filesystem::exists(NewFile()));
    }
}

TEST_F(CycleRunnerTest, AServerThatGoesAwayLeavesTheJournalAndSaysTheDatabaseIsNotBack)
{
    // The server answers nothing from the backup on: the file goes back to its path,
    // but nobody can bring it online.
    server_.beforeCall = [this](const std::string& call) {
        if (call == "Backup")
            server_.goneAfter = static_cast<int>(server_.calls.size());
    };
    const RunResult result = Run();
    EXPECT_EQ(result.exitStatus, ExitNotBackOnline);
    EXPECT_EQ(result.downtimeMs, std::nullopt) << "not back: no downtime can be given";
    EXPECT_EQ(Name(Database()), "old");
    EXPECT_NE(Mode(Database()), "online");
    // The next start finds what is left to do.
    ASSERT_TRUE(std::filesystem::exists(Journal()));
    const JournalState journal = ParseJournal(ReadFileText(Journal()));
    EXPECT_TRUE(journal.Has(JournalStep::ShutDown, true));
    EXPECT_TRUE(journal.Has(JournalStep::MovedBack, true));
    EXPECT_FALSE(journal.Has(JournalStep::BackOnline, true));
    EXPECT_TRUE(RecoveryBringsOnline(journal));
    // Brought online a few times, a pause between two tries.
    EXPECT_EQ(server_.CallCount("PauseBeforeRetry"), 4);
}

// The database's lock is the cycle's from its first step until its report is
// written, the closing steps run, and nobody's once the run has ended, however it
// ended: the next run, the window's or the night's, finds it free.
TEST_F(CycleRunnerTest, TheLockIsTheCyclesFromItsFirstStepToItsReportAndFreeOnceItEnds)
{
    const std::string self = "pid " + std::to_string(::getpid()) + ", base " +
                             std::filesystem::canonical(Database()).string();
    const struct {
        const char* ending;
        std::function<void(FakeCycleServer&)> arrange;
        const char* stopAt;
        int exitStatus;
    } endings[] = {
        {"the rebuilt database in place", [](FakeCycleServer&) {}, "", ExitCompleted},
        {"refused by the database checks", [](FakeCycleServer& s) { s.raiseAt["Facts"] = 1; }, "",
         ExitPreflightRefused},
        {"a failed backup", [](FakeCycleServer& s) { s.backupFailsAfter = 3; }, "", ExitBackupFailed},
        {"a stop request during the backup", [](FakeCycleServer&) {}, "backup", ExitInterrupted},
        {"a server gone before the database is back online",
         [](FakeCycleServer& s) {
             s.beforeCall = [&s](const std::string& call) {
                 if (call == "Backup")
                     s.goneAfter = static_cast<int>(s.calls.size());
             };
         },
         "", ExitNotBackOnline},
    };
    for (const auto& c : endings) {
        SCOPED_TRACE(c.ending);
        std::filesystem::remove_all(folder_.Path());
        std::filesystem::create_directories(folder_.Path());
        FakeCycleServer::WriteDatabase(Database(), "old");
        server_ = FakeCycleServer{};
        c.arrange(server_);
        std::vector<std::string> seen;
        const auto look = [&](const std::string& where) {
            seen.push_back(where + ": " + CycleLockHolder(Database()).value_or("free"));
        };
        atStep_ = [&](const std::string& step) {
            if (step == "preflight" || step == "database-checks")
                look(step);
            if (step == c.stopAt)
                stop_ = true;
        };
        atReport_ = [&] { look("report"); };

        EXPECT_EQ(Run().exitStatus, c.exitStatus);
        stop_ = false;

        EXPECT_EQ(seen, (std::vector<std::string>{"preflight: free", "database-checks: " + self, "report: " + self}));
        EXPECT_EQ(CycleLockHolder(Database()), std::nullopt);
        EXPECT_TRUE(TryHoldCycleLock(Database()).hold.has_value());
    }
}

// Another holder of the database's lock (a night run, another window's cycle): the
// cycle refuses before its first step does anything, names the holder, and leaves
// the lock to it.
TEST_F(CycleRunnerTest, ACycleThatFindsTheLockHeldRefusesAndTouchesNothing)
{
    CycleLockAttempt other = TryHoldCycleLock(Database());
    ASSERT_TRUE(other.hold);
    const std::string holder = "pid " + std::to_string(::getpid()) + ", base " +
                               std::filesystem::canonical(Database()).string();

    const RunResult refused = Run();

    EXPECT_EQ(refused.exitStatus, ExitAlreadyRunning);
    EXPECT_EQ(refused.error, CycleLockRefusal(Database(), holder));
    EXPECT_THAT(refused.steps, Contains(std::string("vérification préalable refused")));
    for (const char* call : {"Facts", "SendWorkstationsAway", "Shutdown", "Backup", "Restore"})
        EXPECT_EQ(server_.CallCount(call), 0) << call;
    ExpectOldDatabaseOnlineAtItsPath("refused");
    EXPECT_EQ(CycleLockHolder(Database()), holder);

    // Once the other holder has gone, the same request runs.
    other.hold.reset();
    EXPECT_EQ(Run().exitStatus, ExitCompleted);
}

TEST_F(CycleRunnerTest, TheCopyAnEarlierCycleLeftGoesBackOnFailureAndGoesAfterASwap)
{
    FakeCycleServer::WriteDatabase(Renamed(), "last night");
    server_.backupFailsAfter = 1;
    EXPECT_EQ(Run().exitStatus, ExitBackupFailed);
    EXPECT_EQ(Name(Renamed()), "last night");
    EXPECT_FALSE(std::filesystem::exists(PreviousCopyPath(Renamed())));
    ExpectOldDatabaseOnlineAtItsPath("failed");

    server_ = FakeCycleServer{};
    EXPECT_EQ(Run().exitStatus, ExitCompleted);
    EXPECT_EQ(Name(Renamed()), "old");
    EXPECT_FALSE(std::filesystem::exists(PreviousCopyPath(Renamed())));
}

TEST_F(CycleRunnerTest, ARestoreRunAloneVerifiesWhatItCanAndSwaps)
{
    // A backup left by an earlier request; the window's restore alone moves the old
    // file aside itself.
    const std::string backup = folder_.File(CycleBackupFileName);
    WriteFileText(backup, "name=old\n");
    request_.renameBeforeBackup = false;
    request_.renameAfterRestore = true;
    TBackupCycle cycle(request_, server_, view_, {});
    EXPECT_TRUE(cycle.RunRestore(CycleBackupFileName));
    EXPECT_EQ(Name(Database()), "rebuilt");
    EXPECT_EQ(Name(Renamed()), "old");
    EXPECT_FALSE(std::filesystem::exists(backup));
    EXPECT_FALSE(std::filesystem::exists(Journal()));
    EXPECT_TRUE(view_.failures.empty());
}

// Another database's cycle at work on the same backup file or rename path: this
// one waits for it, then refuses with its own status, having touched nothing; once
// the file is free it runs.
TEST_F(CycleRunnerTest, ACycleWaitsForAFileAnotherCycleUsesThenRefuses)
{
    for (const std::string& shared : {Backup(), Renamed()}) {
        SCOPED_TRACE(shared);
        server_ = FakeCycleServer{};
        {
            platform::FileLock other(SharedFileLockPath(platform::CanonicalFilePath(shared)), "pid 1, autre cycle\n");
            ASSERT_TRUE(other.Held());
            const RunResult refused = Run();
            EXPECT_EQ(refused.exitStatus, ExitSharedFileBusy);
            EXPECT_EQ(refused.downtimeMs, 0) << "nothing was cut";
            EXPECT_THAT(refused.error, HasSubstr("pid 1, autre cycle"));
            EXPECT_THAT(refused.error, HasSubstr(shared));
            EXPECT_EQ(server_.CallCount("Backup"), 0);
            EXPECT_EQ(server_.CallCount("Shutdown"), 0);
            ExpectOldDatabaseOnlineAtItsPath("refused");
        }
        server_ = FakeCycleServer{};
        EXPECT_EQ(Run().exitStatus, ExitCompleted);
        EXPECT_EQ(Name(Database()), "rebuilt");
        std::filesystem::rename(Renamed(), Database());
        FakeCycleServer::WriteDatabase(Database(), "old");
    }
}

// Forced disconnection on a database without the site's command tables: with
// nobody else attached nothing is asked and the cycle runs; with somebody attached
// the request is skipped and the cut comes after the transactions' grace, by force
// when a transaction outlives it.
TEST_F(CycleRunnerTest, WithoutTheCommandTablesTheCutComesAfterTheTransactionsGrace)
{
    const struct {
        const char* what;
        std::vector<std::string> others;
        bool transactionsRunning;
        int graceCalls;
    } cases[] = {
        {"nobody attached", {}, false, 0},
        {"a client attached, its transaction ends in time", {"poste 7"}, false, 1},
        {"a client whose transaction outlives the grace", {"poste 7"}, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server_ = FakeCycleServer{};
        server_.commandTables = false;
        server_.others = c.others;
        server_.transactionsRunning = c.transactionsRunning;
        request_.transactionGrace = 7;
        atStep_ = [&](const std::string& step) {
            // Once cut, nobody is left for the checks that follow.
            if (step == "previous-set-aside" || step == "moved-before-backup")
                server_.others.clear();
        };
        const RunResult result = Run();
        EXPECT_EQ(result.exitStatus, ExitCompleted) << result.error;
        EXPECT_EQ(server_.CallCount("SendWorkstationsAway"), 0);
        EXPECT_EQ(server_.CallCount("ShutdownAfterTransactions"), c.graceCalls);
        if (c.graceCalls > 0) {
            EXPECT_EQ(server_.graceSeconds, 7);
        }
        EXPECT_EQ(Name(Database()), "rebuilt");
        std::filesystem::rename(Renamed(), Database());
        FakeCycleServer::WriteDatabase(Database(), "old");
    }
}

// A file that appears at the rename path after the checks, when neither radio
// button allows replacing it: kept as it is, the database back online at its path.
TEST_F(CycleRunnerTest, AFileThatAppearsAtTheRenamePathAndMayNotBeReplacedIsKept)
{
    request_.renameBeforeBackup = false;
    request_.renameAfterRestore = false;
    atStep_ = [&](const std::string& step) {
        if (step == "batch-before-backup")
            WriteFileText(Renamed(), "kept\n");
    };
    const RunResult result = Run();
    EXPECT_EQ(result.exitStatus, ExitBackupFailed);
    EXPECT_THAT(result.error, HasSubstr("il est laissé tel quel"));
    EXPECT_EQ(ReadFileText(Renamed()), "kept\n");
    EXPECT_EQ(Name(Database()), "old");
    EXPECT_EQ(Mode(Database()), "online");
    EXPECT_FALSE(std::filesystem::exists(PreviousCopyPath(Renamed())));
    EXPECT_EQ(server_.CallCount("Backup"), 0);
}

// Between the backup and the restore another file took the backup's name: it is
// not restored, and the database goes back online at its path.
TEST_F(CycleRunnerTest, OnlyTheBackupThisCycleWroteIsRestored)
{
    atStep_ = [&](const std::string& step) {
        if (step == "restore") {
            std::filesystem::remove(Backup());
            WriteFileText(Backup(), "name=another\n");
        }
    };
    const RunResult result = Run();
    EXPECT_EQ(result.exitStatus, ExitRestoreFailed);
    EXPECT_EQ(server_.CallCount("Restore"), 0);
    EXPECT_EQ(Name(Database()), "old");
    EXPECT_EQ(Mode(Database()), "online");
    EXPECT_FALSE(std::filesystem::exists(Backup()));
}

} // namespace
} // namespace morvane::test

namespace morvane::test {
namespace {

std::string Access(const std::string& path) { return FakeCycleServer::Field(path, "access"); }

// The cycle that keeps the database readable: it stays at its path, read-only, until
// the swap; readers are attached there the whole time.
class ReadableCycleTest : public CycleRunnerTest {
public:
    ReadableCycleTest()
    {
        request_.keepReadable = true;
        server_.readersAt = Database();
    }
};

TEST_F(ReadableCycleTest, TheDatabaseStaysAtItsPathReadOnlyUntilTheSwap)
{
    const struct {
        const char* name;
        std::string accessBefore;
        std::function<void(FakeCycleServer&)> arrange;
    } cases[] = {
        {"a read-write database", "read-write", [](FakeCycleServer&) {}},
        // As measured under readers that re-attach: the shutdown answers failure
        // although it took effect, the access change and the online request are
        // refused in some rounds.
        {"a server whose answers cannot be trusted", "read-write",
         [](FakeCycleServer& s) {
             s.failAfterEffect = {"Shutdown"};
             s.raiseAt["SetReadOnly"] = 1;
             s.raiseAt["BringOnlineFromShutdown"] = 1;
         }},
        {"a database read-only before", "read-only", [](FakeCycleServer&) {}},
        // Nobody to send away: the disconnection's line is the switch's.
        {"nobody attached, no command tables", "read-write", [](FakeCycleServer& s) {
             s.readersAt.clear();
             s.commandTables = false;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder_.Path());
        std::filesystem::create_directories(folder_.Path());
        FakeCycleServer::WriteDatabase(Database(), "old", "online", c.accessBefore);
        server_ = FakeCycleServer{};
        server_.readersAt = Database();
        c.arrange(server_);
        std::vector<std::string> atBackup;
        atStep_ = [&](const std::string& step) {
            if (step == "backup-started")
                atBackup = {Name(Database()), Mode(Database()), Access(Database())};
        };

        const RunResult result = Run();

        EXPECT_EQ(result.exitStatus, ExitCompleted) << result.error;
        // Backed up where the readers are: at its path, online and read-only.
        EXPECT_EQ(atBackup, (std::vector<std::string>{"old", "online", "read-only"}));
        EXPECT_EQ(Name(Database()), "rebuilt");
        EXPECT_EQ(Mode(Database()), "online");
        EXPECT_EQ(Access(Database()), c.accessBefore);
        EXPECT_EQ(Name(Renamed()), "old");
        EXPECT_EQ(Mode(Renamed()), "online");
        EXPECT_EQ(Access(Renamed()), c.accessBefore);
        for (const std::string& gone : {Journal(), Backup(), NewFile()})
            EXPECT_FALSE(std::filesystem::exists(gone)) << gone;
        const bool switched = c.accessBefore == "read-write";
        EXPECT_EQ(std::count(result.reached.begin(), result.reached.end(), "read-only-set:done"), switched ? 1 : 0);
        for (const char* done : {"shut-down:done", "restore-verified:done", "old-file-moved:done", "new-file-moved:done"})
            EXPECT_THAT(result.reached, Contains(std::string(done)));
        ASSERT_TRUE(result.downtimeMs.has_value());
        ASSERT_TRUE(result.readDowntimeMs.has_value());
        EXPECT_LE(*result.readDowntimeMs, *result.downtimeMs);
        // One line for the disconnection, whichever of its steps did the work.
        EXPECT_EQ(std::count(result.steps.begin(), result.steps.end(), "déconnexion ok"), switched ? 1 : 0);
        EXPECT_EQ(std::count(result.steps.begin(), result.steps.end(), "déconnexion skipped"), switched ? 0 : 1);
    }
}

TEST_F(ReadableCycleTest, EveryFaultAfterTheSwitchLeavesItOnlineReadWriteAtItsPath)
{
    const auto refusedFullShutdowns = [](auto&, FakeCycleServer& s) {
        auto refused = std::make_shared<int>(0);
        s.beforeCall = [&s, refused](const std::string& call) {
            if (call == "Shutdown" && s.CallCount("Restore") == 1 && s.CallCount("Shutdown") == 1 && (*refused)++ < 11)
                throw Exception("database shutdown unsuccessful");
        };
    };
    const std::vector<FaultCase> cases{
        {"the switch refused in every round", [](auto&, FakeCycleServer& s) { s.raiseFrom["SetReadOnly"] = 1; },
         ExitDisconnectionRefused, "déconnexion failed", true},
        {"the journal cannot be written before the switch",
         JournalBlockedAt("read-only-set"),
         ExitDisconnectionRefused, "déconnexion failed", true},
        {"what the rebuilt database keeps cannot be read", [](auto&, FakeCycleServer& s) { s.raiseAt["ReadAttached"] = 1; },
         ExitBackupFailed, "backup failed", true},
        {"the backup fails after some lines", [](auto&, FakeCycleServer& s) { s.backupFailsAfter = 3; },
         ExitBackupFailed, "backup failed", false},
        {"the restore fails after some lines", [](auto&, FakeCycleServer& s) { s.restoreFailsAfter = 2; },
         ExitRestoreFailed, "restore failed", false},
        {"the restore gives back a row less", [](auto&, FakeCycleServer& s) { s.restoredRows["CLIENTS"] = 11; },
         ExitRestoreFailed, "vérification de la nouvelle base failed", false},
        {"the old file opened to writes since its backup",
         AtStep("old-file-read-only",
                [](CycleRunnerTest& t) { FakeCycleServer::WriteDatabase(t.Database(), "old", "online", "read-write"); }),
         ExitRestoreFailed, "vérification de la nouvelle base failed", false},
        {"the journal cannot be written before the swap's cut",
         JournalBlockedAt("shut-down"),
         ExitSwapFailed, "swap failed", true},
        {"the swap's cut refused in every round", refusedFullShutdowns, ExitSwapFailed, "swap failed", true},
        {"the old file cannot be moved (a file appeared at the rename path)",
         AtStep("old-file-moved", [](CycleRunnerTest& t) { WriteFileText(t.Renamed(), "planted"); }), ExitSwapFailed,
         "swap failed", false},
        {"the new file gone before the swap",
         AtStep("new-file-moved", [](CycleRunnerTest& t) { std::filesystem::remove(t.NewFile()); }), ExitSwapFailed,
         "swap failed", false},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.fault);
        std::filesystem::remove_all(folder_.Path());
        std::filesystem::create_directories(folder_.Path());
        FakeCycleServer::WriteDatabase(Database(), "old");
        server_ = FakeCycleServer{};
        server_.readersAt = Database();
        view_ = RecordingView{};
        atStep_ = {};
        c.arrange(*this, server_);

        const RunResult result = Run();

        EXPECT_EQ(result.exitStatus, c.exitStatus);
        EXPECT_THAT(result.steps, Contains(std::string(c.charged)));
        EXPECT_EQ(!result.error.empty(), c.raised) << result.error;
        if (std::filesystem::is_directory(Journal()))
            std::filesystem::remove(Journal());
        ExpectOldDatabaseOnlineAtItsPath(c.fault);
        EXPECT_EQ(Access(Database()), "read-write");
        EXPECT_FALSE(std::filesystem::exists(Renamed()) && Name(Renamed()) == "old");
        if (!c.raised) {
            EXPECT_EQ(view_.failures.size(), 1u);
        }
        // Readers were cut for the switch and for its undo, never for longer than writers.
        ASSERT_TRUE(result.readDowntimeMs.has_value());
        ASSERT_TRUE(result.downtimeMs.has_value());
        EXPECT_LE(*result.readDowntimeMs, *result.downtimeMs);
    }
}

} // namespace
} // namespace morvane::test
