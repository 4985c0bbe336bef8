#include "cycle/BackupCycle.h"

#include "cycle/CycleExitStatus.h"
#include "cycle/CycleFiles.h"
#include "cycle/CycleState.h"
#include "cycle/RunHistory.h"
#include "cycle/RunReport.h"
#include "session/DatabaseLocation.h"
#include "session/ProgramLog.h"
#include "global/Global_Utils.h"
#include "platform/DurableFile.h"
#include "platform/StopRequest.h"

#include <algorithm>

namespace morvane {

TBackupCycle::TBackupCycle(CycleRequest request, CycleComponents components, ICycleView& view, CycleHooks hooks)
    : request_(std::move(request)),
      ownServer_(std::make_unique<TClientCycleServer>(components, request_.user, request_.password)),
      server_(*ownServer_), view_(view), hooks_(std::move(hooks))
{
    if (!hooks_.freeSpace)
        hooks_.freeSpace = LocalFreeSpace;
    if (!hooks_.stopRequested)
        hooks_.stopRequested = [] { return platform::StopRequested(); };
}

TBackupCycle::TBackupCycle(CycleRequest request, ICycleServer& server, ICycleView& view, CycleHooks hooks)
    : request_(std::move(request)), server_(server), view_(view), hooks_(std::move(hooks))
{
    if (!hooks_.freeSpace)
        hooks_.freeSpace = LocalFreeSpace;
    if (!hooks_.stopRequested)
        hooks_.stopRequested = [] { return platform::StopRequested(); };
}

TBackupCycle::~TBackupCycle() = default;

// The cycle, in the order it runs. Every step that moves a file or changes the
// database's state has a journal entry (on disk before it starts) and an undo; the
// swap is the commit point: before it, a failure puts everything back; after it,
// the rebuilt database stays.
std::vector<CycleStepDefinition> TBackupCycle::CycleSteps()
{
    CycleContext& c = *context_;
    using S = CycleStep;
    using G = CycleStage;
    const auto step = [this](auto function) { return [this, function] { return (this->*function)(); }; };
    return {
        // Nothing runs, stops or moves when the cycle cannot end well, or when another
        // run is already working on this database.
        {.key = "preflight", .reportLine = S::Preflight, .stage = G::Preflight, .run = step(&TBackupCycle::Preflight)},
        // What the database is decides whether it can be rebuilt as it is: known
        // before the site's services are stopped.
        {.key = "database-checks", .reportLine = S::DatabaseChecks, .stage = G::Preflight,
         .run = step(&TBackupCycle::CheckDatabase)},
        {.key = "batch-before-backup", .reportLine = S::BatchBeforeBackup, .stage = G::Preparation,
         .run = step(&TBackupCycle::BatchBeforeBackup)},
        // The clients are sent away and the database shut down completely: no
        // attachment is left and none can be made, not even by the site's administrator.
        {.key = "disconnection", .reportLine = S::Disconnection, .stage = G::Disconnection,
         .run = step(&TBackupCycle::SendWorkstationsAway)},
        {.key = "shut-down", .reportLine = S::Disconnection, .stage = G::Disconnection,
         .journal = JournalStep::ShutDown, .run = step(&TBackupCycle::ShutDown),
         .undo = step(&TBackupCycle::BringBackOnlineAsItWas)},
        // The copy an earlier cycle left at the rename path waits aside until this
        // cycle has succeeded, and goes back when it fails.
        {.key = "previous-set-aside", .reportLine = S::MoveBeforeBackup, .stage = G::Backup,
         .journal = JournalStep::PreviousSetAside, .when = [&c] { return FileExists(c.paths.rename); },
         .run = step(&TBackupCycle::SetPreviousCopyAside), .undo = step(&TBackupCycle::PutPreviousCopyBack)},
        // Away from its path, the database cannot be reached by a client that looks
        // for it there; it is backed up from where it was moved.
        {.key = "moved-before-backup", .reportLine = S::MoveBeforeBackup, .stage = G::Backup,
         .journal = JournalStep::MovedBeforeBackup, .run = step(&TBackupCycle::MoveBeforeBackup),
         .undo = step(&TBackupCycle::MoveDatabaseBack)},
        {.key = "moved-file-opened", .reportLine = S::MoveBeforeBackup, .stage = G::Backup,
         .run = step(&TBackupCycle::OpenMovedFile)},
        {.key = "settings-write", .reportLine = S::SettingsWrite, .stage = G::Backup,
         .when = [&c] { return c.request.writeSettings; }, .run = step(&TBackupCycle::WriteSettings)},
        {.key = "before-backup-check", .reportLine = S::Backup, .stage = G::Backup,
         .when = [&c] { return !c.keptRead; }, .run = step(&TBackupCycle::CheckBeforeBackup)},
        {.key = "backup", .reportLine = S::Backup, .stage = G::Backup, .leavesUndone = "backup en échec",
         .run = step(&TBackupCycle::Backup), .undo = [&c] { return DeleteFileIfExists(c.paths.backup), true; }},
        {.key = "closed-after-backup", .reportLine = S::Backup, .stage = G::Backup,
         .run = step(&TBackupCycle::CloseAfterBackup)},
        {.key = "batch-after-backup", .reportLine = S::BatchAfterBackup, .stage = G::Backup, .afterFailure = true,
         .when = [&c] { return c.backupRan; }, .run = step(&TBackupCycle::BatchAfterBackup)},
        // Restoring a backup that failed could only put a broken database in place.
        {.key = "restore", .reportLine = S::Restore, .stage = G::Restore, .leavesUndone = "restore en échec",
         .run = step(&TBackupCycle::Restore), .undo = step(&TBackupCycle::RemoveNewFile)},
        {.key = "verification", .reportLine = S::Verification, .stage = G::Restore,
         .leavesUndone = "nouvelle base différente", .run = step(&TBackupCycle::VerifyNewDatabase)},
        {.key = "old-file-closed", .reportLine = S::Verification, .stage = G::Restore,
         .leavesUndone = "ancienne base rouverte", .when = [&c] { return c.movedBeforeBackup && c.shutDown; },
         .run = step(&TBackupCycle::CheckOldFileClosed)},
        {.key = "owner-copied", .reportLine = S::Verification, .stage = G::Restore,
         .run = step(&TBackupCycle::CopyOwnerAndMode)},
        {.key = "shutdown-state-copied", .reportLine = S::Verification, .stage = G::Restore,
         .leavesUndone = "état d'arrêt non repris", .when = [&c] { return c.shutDown; },
         .run = step(&TBackupCycle::CopyShutdownState)},
        // On disk before the journal says a crash may put it in the database's place.
        {.key = "restore-verified", .reportLine = S::Verification, .stage = G::Restore,
         .journal = JournalStep::RestoreVerified, .journalDoneOnly = true, .run = step(&TBackupCycle::SyncNewFile)},
        {.key = "old-file-moved", .reportLine = S::Swap, .stage = G::Swap, .journal = JournalStep::OldFileMoved,
         .when = [&c] { return !c.movedBeforeBackup; }, .run = step(&TBackupCycle::MoveOldFileAway),
         .undo = step(&TBackupCycle::MoveOldFileBack)},
        // The commit point: from here the rebuilt database is the database.
        {.key = "new-file-moved", .reportLine = S::Swap, .stage = G::Swap, .journal = JournalStep::NewFileMoved,
         .commitPoint = true, .run = step(&TBackupCycle::Swap)},
        {.key = "header-shown", .reportLine = S::Swap, .stage = G::Swap, .run = step(&TBackupCycle::ShowNewHeader)},
        {.key = "old-copy-opened", .reportLine = S::Swap, .stage = G::Swap, .when = [&c] { return c.shutDown; },
         .run = step(&TBackupCycle::OpenOldCopy)},
        {.key = "previous-copy-removed", .reportLine = S::Swap, .stage = G::Swap,
         .when = [&c] { return c.previousSetAside; }, .run = step(&TBackupCycle::RemovePreviousCopy)},
    };
}

// Once the site's services were stopped they are started again, however the cycle
// ended, after the database is back.
std::vector<CycleStepDefinition> TBackupCycle::ClosingSteps()
{
    CycleContext& c = *context_;
    return {{.key = "batch-after-restore", .reportLine = CycleStep::BatchAfterRestore, .stage = CycleStage::Restore,
             .afterFailure = true, .when = [&c] { return c.servicesStopped; },
             .run = [this] { return BatchAfterRestore(); }}};
}

namespace {

// The steps from first to last, both included: a part of the cycle run alone.
std::vector<CycleStepDefinition> StepsBetween(std::vector<CycleStepDefinition> steps, std::string_view first,
                                              std::string_view last)
{
    const auto named = [](std::string_view key) {
        return [key](const CycleStepDefinition& step) { return step.key == key; };
    };
    const auto begin = std::find_if(steps.begin(), steps.end(), named(first));
    const auto end = std::find_if(begin, steps.end(), named(last));
    return {std::make_move_iterator(begin), std::make_move_iterator(end == steps.end() ? end : end + 1)};
}

} // namespace

void TBackupCycle::Run()
{
    TRunReport report;
    report.SetDatabase(request_.dbFile);
    report.Start();
    const bool middleBatchFile = !request_.batchAfterBackup.empty() &&
                                 FileExists(BatchFilePath(request_.batchAfterBackup, ProgramFolder()));
    const DatabaseFile file = RequestedDatabaseFile();
    context_ = std::make_unique<CycleContext>(request_, CycleBackupFileNameFor(file.real, middleBatchFile), file);
    report_ = &report;
    struct ForgetRun {
        TBackupCycle& cycle;
        ~ForgetRun()
        {
            cycle.report_ = nullptr;
            cycle.context_.reset();
        }
    } forgetRun{*this};
    // Read before this run's report replaces it.
    try {
        previous_ = PreviousRunFromReport(
            platform::ReadWholeFile(CycleStateFolder(context_->paths.database) + "/" + RunReportFileName).value_or(""));
    } catch (const std::exception&) {
        // A state folder that cannot be trusted stops the cycle at its first step.
        previous_ = {};
    }
    databaseBytes_ = platform::FileSize(context_->paths.database).value_or(0);

    RunList(request_.keepReadable ? ReadableCycleSteps() : CycleSteps(), ClosingSteps(), &report);
}

void TBackupCycle::RunList(const std::vector<CycleStepDefinition>& steps,
                           const std::vector<CycleStepDefinition>& closing, TRunReport* report)
{
    CycleContext& c = *context_;
    TStepRunner runner(
        report, [&c]() -> TCycleJournal& { return c.Journal(); }, hooks_.stepReached, hooks_.stopRequested);
    runner.Run(steps);
    const bool inPlace = runner.Unwind();
    if (!inPlace)
        c.notBackOnline = true;
    else if (c.cutStartedAt && !c.backAtPathAt)
        c.backAtPathAt = Now();
    // The backup file goes whatever the outcome: after a swap it has been going on
    // a thread of its own while the window read the new header.
    c.backupRemoval.reset();
    const std::optional<CycleFailure> failure = runner.Failure();
    if (failure && failure->step == "restore" && inPlace)
        c.restoreFailureCause = ExplainRestoreFailure();
    if (failure && failure->reportedByCycle)
        ReportFailure(*failure, inPlace);
    else if (failure && c.notBackOnline)
        ProgramLogQuietly("La base " + request_.dbFile +
                              " n'est pas en ligne à sa place: le cycle l'a laissée ainsi, voir les lignes précédentes",
                          1);
    // A journal left on disk says the database is not at its path.
    if (inPlace && c.HasJournal())
        c.Journal().Finish();
    // The closing steps run once what a failure leaves is undone.
    runner.Run(closing);

    const std::optional<CycleFailure>& ended = runner.Failure();
    if (c.notBackOnline)
        exitStatus_ = ExitNotBackOnline;
    else if (!ended)
        exitStatus_ = ExitCompleted;
    else
        exitStatus_ = ended->interrupted ? ExitInterrupted : ExitStatusOfStage(ended->stage);
    if (report != nullptr) {
        if (ended && ended->interrupted)
            report->MarkInterrupted();
        FinishReport(*report, ended ? ended->message : std::string());
    }
    if (ended && ended->error)
        std::rethrow_exception(ended->error);
}

bool TBackupCycle::RunBackup(const std::string& backupFileName)
{
    context_ = std::make_unique<CycleContext>(request_, backupFileName, RequestedDatabaseFile());
    context_->backupSource = server_.DatabaseName();
    TStepRunner runner(nullptr, {}, hooks_.stepReached, {});
    runner.Run(StepsBetween(CycleSteps(), "backup", "backup"));
    context_.reset();
    return !runner.Failure();
}

bool TBackupCycle::RunRestore(const std::string& backupFileName)
{
    context_ = std::make_unique<CycleContext>(request_, backupFileName, RequestedDatabaseFile());
    struct ForgetRun {
        TBackupCycle& cycle;
        ~ForgetRun() { cycle.context_.reset(); }
    } forgetRun{*this};
    RunList(StepsBetween(CycleSteps(), "restore", "previous-copy-removed"), {}, nullptr);
    return exitStatus_ == ExitCompleted;
}

void TBackupCycle::ReportFailure(const CycleFailure& failure, bool inPlace)
{
    const CycleContext& c = *context_;
    const std::string notInPlace =
        ", et la base de données n'a pas pu être remise en place et en ligne (" + DatabaseNameText(c.paths) + ").";
    const std::string where = inPlace ? ", la base de données reste à sa place." : notInPlace;
    if (failure.step == "backup" || failure.step == "restore") {
        const std::string what = failure.step == "backup" ? "Le backup a échoué: pas de restore"
                                                           : "Le restore a échoué: la nouvelle base n'est pas mise en place";
        // The server's own lines say why, in its order; what they name follows in plain words.
        const std::string why = c.requestFailure.empty() ? "" : "\nMessage du serveur :\n" + c.requestFailure;
        const std::string cause = c.restoreFailureCause.empty() ? "" : "\n" + c.restoreFailureCause;
        ShowFailure(what + where + why + cause);
    } else if (failure.step == "new-file-moved" || failure.step == "old-file-moved") {
        // The dialog was shown when the rename failed.
        if (!inPlace)
            ProgramLog("La base de données n'a pas pu être remise en place et en ligne (" + DatabaseNameText(c.paths) +
                           ").",
                       1);
    } else {
        ShowFailure("La nouvelle base diffère de l'ancienne (" + c.verificationFailure + "): elle reste sous le nom " +
                    c.paths.newDatabase + " pour examen" + where);
    }
}

void TBackupCycle::ShowFailure(const std::string& text)
{
    ProgramLog(text, 1);
    view_.ShowFailure(text, ExtractFolder(context_->paths.database));
    view_.SetStatusColour(PanelColour::Failed);
}

void TBackupCycle::FinishReport(TRunReport& report, const std::string& failure) noexcept
{
    const CycleContext& c = *context_;
    try {
        // Every button acts on the database of the DB File text again.
        server_.NameDatabase(request_.dbFile);
    } catch (const std::exception& error) {
        ProgramLogQuietly(error.what(), 1);
    }
    try {
        if (!failure.empty() && report.Steps().empty())
            report.AddStep("erreur", StepOutcome::Failed, 0, failure);
        // The checks of the database read it as it was; a cycle that stopped before
        // them left it as it found it: one reading gives both.
        if (!c.beforeRead) {
            const RunReportDatabase found = server_.ReportDatabase(c.paths.databaseConnection, c.paths.database);
            report.SetBefore(found);
            report.SetAfter(found);
        } else if (c.verifiedSettings && exitStatus_ == ExitCompleted) {
            // The new database at the path is the one the verification read.
            RunReportDatabase after = *c.verifiedSettings;
            after.sizeBytes = platform::FileSize(c.paths.database);
            report.SetAfter(after);
            // The rebuilt database is online at its path again: the downtime is over.
            report.SetHealthAfter(server_.ReadHealth(c.paths.databaseConnection, c.paths.database,
                                                     request_.healthTables));
        } else {
            report.SetAfter(server_.ReportDatabase(c.paths.databaseConnection, c.paths.database));
        }
        if (c.cutStartedAt)
            report.SetDowntime(c.backAtPathAt ? std::optional<std::int64_t>(
                                                    MillisecondsBetween(*c.cutStartedAt, *c.backAtPathAt))
                                              : std::nullopt);
        // Readers were cut only for the switch and the swap (and the undo's switch back).
        if (request_.keepReadable) {
            const std::int64_t swapCut =
                c.swapCutStartedAt && c.backAtPathAt ? MillisecondsBetween(*c.swapCutStartedAt, *c.backAtPathAt) : 0;
            report.SetReadDowntime(c.cutStartedAt && !c.backAtPathAt ? std::nullopt
                                                                     : std::optional<std::int64_t>(c.readCutsMs + swapCut));
        }
        report.SetTables(TransferredTables());
        // A request that did not run to its end this time (or not at all) leaves the
        // last whole one's course to the next run.
        const ProgressTrace& backupTrace = c.backupTrace.empty() ? previous_.backup : c.backupTrace;
        const ProgressTrace& restoreTrace = c.restoreTrace.empty() ? previous_.restore : c.restoreTrace;
        if (!backupTrace.empty())
            report.SetTrace("backup", backupTrace);
        if (!restoreTrace.empty())
            report.SetTrace("restore", restoreTrace);
        report.SetFailureCause(c.restoreFailureCause);
        report.Finish(exitStatus_);
        if (hooks_.reportFinished)
            hooks_.reportFinished(report);
        ProgramLog(report.SummaryLine(), 100);
        report.WriteFile(CycleStateFolder(c.paths.database) + "/" + RunReportFileName);
    } catch (const std::exception& error) {
        // The cycle's own outcome goes on to the operator; the report's failure is logged.
        ProgramLogQuietly(std::string("Rapport du cycle non écrit: ") + error.what(), 1);
    }
    try {
        AppendRunHistory(CycleStateFolder(c.paths.database) + "/" + RunHistoryFileName, report);
    } catch (const std::exception& error) {
        ProgramLogQuietly(std::string("Historique des cycles non écrit: ") + error.what(), 1);
    }
    if (!request_.metricsFolder.empty()) {
        try {
            WriteMetricsFile(request_.metricsFolder, DatabaseStateName(c.paths.database), report,
                             request_.metricsGroup);
        } catch (const std::exception& error) {
            ProgramLogQuietly(std::string("Métriques du cycle non écrites: ") + error.what(), 1);
        }
    }
}

void TBackupCycle::StepReached(std::string_view point) const
{
    if (hooks_.stepReached)
        hooks_.stepReached(point);
}

} // namespace morvane
