#include "cycle/BackupCycle.h"

#include "core/Exception.h"
#include "core/Text.h"
#include "cycle/CycleContents.h"
#include "cycle/CycleExitStatus.h"
#include "cycle/CycleFiles.h"
#include "cycle/CycleGuards.h"
#include "cycle/CycleJournal.h"
#include "cycle/CycleLock.h"
#include "cycle/DatabaseControl.h"
#include "cycle/CyclePreflight.h"
#include "session/DatabaseLocation.h"
#include "session/HeaderReport.h"
#include "session/ProgramLog.h"
#include "cycle/RecordCounts.h"
#include "cycle/RequestErrors.h"
#include "cycle/RunReport.h"
#include "session/SessionGuards.h"
#include "cycle/SettingsWrite.h"
#include "database/FIB_Deconnexion.h"
#include "fib/IB_ServicesBackup.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/fib.h"
#include "fib/pFIBDatabase.h"
#include "global/Global_File.h"
#include "global/Global_Utils.h"
#include "platform/BackgroundRemoval.h"
#include "platform/DurableFile.h"
#include "platform/StopRequest.h"

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <string>
#include <vector>

namespace morvane {

namespace {

// The window's progress bar moves a few times a second at most.
constexpr std::chrono::milliseconds ProgressInterval{250};

// How often the old path of a moved database is tried until the server no longer
// reaches it there, and for how long at most: a server that goes on past that lets
// the attachments that land be seen and cut.
constexpr std::chrono::milliseconds OldPathProbeInterval{50};
constexpr std::chrono::milliseconds OldPathWaitLimit{3000};

// How often the restored file's written pages are sent on to the disk.
constexpr std::chrono::milliseconds WriteBackInterval{500};

// Reads a request's output to its end, which is what waits for the server, and
// gathers what it says when it fails, in the server's order; every line also goes to
// the tally of tables and rows. The restore keeps the window painted after each
// line; the backup's loop does not.
std::string ReadRequestOutput(fib::TpFIBBackupRestoreService& service, TRecordTally& tally,
                              ICycleView* paintEachLine, const std::function<void()>& afterLine)
{
    TRequestErrors errors;
    try {
        while (!service.Eof()) {
            const std::string line = service.GetNextLine();
            errors.Feed(line);
            tally.Feed(line);
            if (afterLine)
                afterLine();
            if (paintEachLine != nullptr)
                paintEachLine->ProcessMessages();
        }
    } catch (const fib::EFIBError& error) {
        // The request ended on an error of the server: its own lines, not the SQL
        // code's general text nor the component's name.
        errors.AddEndMessage(error.ServerMessage().empty() ? std::string(error.what()) : error.ServerMessage());
    }
    tally.Finish();
    return errors.Text();
}

std::string OthersText(const std::vector<std::string>& others)
{
    std::string text;
    for (const std::string& other : others)
        text += (text.empty() ? "" : ", ") + other;
    return text;
}

// Forced disconnection unchecked and somebody still attached: nothing is cut.
std::string OthersAttachedRefusal(const std::string& dbFile, const std::vector<std::string>& others)
{
    return "La base " + dbFile + " est encore utilisée (" + OthersText(others) +
           ") et la déconnexion forcée n'est pas cochée: le cycle est arrêté, la base reste en ligne à sa place";
}

// Somebody found attached to the moved file: the cycle stops before anything is swapped.
std::string OthersFoundRefusal(const std::string& when, const std::vector<std::string>& others)
{
    return "Une autre connexion a été trouvée sur la base " + when + " (" + OthersText(others) +
           "): le cycle est arrêté sans rien remplacer";
}

} // namespace

TBackupCycle::TBackupCycle(CycleRequest request, CycleComponents components, ICycleView& view, CycleHooks hooks)
    : request_(std::move(request)), components_(components), view_(view), hooks_(std::move(hooks))
{
    if (!hooks_.freeSpace)
        hooks_.freeSpace = LocalFreeSpace;
}

void TBackupCycle::StepReached(std::string_view step) const
{
    if (hooks_.stepReached)
        hooks_.stepReached(step);
}

void TBackupCycle::Run()
{
    fib::TpFIBDatabase& database = components_.database;
    const std::string databasePath = SplitDatabaseLocation(request_.dbFile).path;
    TRunReport report;
    report.SetDatabase(request_.dbFile);
    report.Start();
    report_ = &report;
    beforeRead_ = false;
    verifiedSettings_.reset();
    // Read before this run's report replaces it.
    previousRows_ = PreviousRunRowsFromReport(platform::ReadWholeFile(RunReportPath()).value_or(""));
    databaseBytes_ = platform::FileSize(databasePath).value_or(0);
    struct ForgetReport {
        TBackupCycle& cycle;
        ~ForgetReport() { cycle.report_ = nullptr; }
    } forgetReport{*this};

    // Written at the end of every cycle, also when an error stops it.
    const auto finish = [&](const std::string& failure) noexcept {
        try {
            // Every button acts on the database of the DB File text again.
            NameDatabase(database, request_.dbFile);
        } catch (const std::exception& error) {
            ProgramLogQuietly(error.what(), 1);
        }
        try {
            if (!failure.empty())
                ChargeFailure(report, failure);
            // The checks of the database read it as it was; a cycle that stopped
            // before them left it as it found it.
            if (!beforeRead_)
                report.SetBefore(ReportDatabase(databasePath));
            // The new database at the path is the one the verification read.
            if (verifiedSettings_) {
                RunReportDatabase after = *verifiedSettings_;
                after.sizeBytes = platform::FileSize(databasePath);
                report.SetAfter(after);
            } else {
                report.SetAfter(ReportDatabase(databasePath));
            }
            report.SetTables(TransferredTables());
            report.Finish(exitStatus_);
            report.WriteBesideProgram();
            ProgramLog(report.SummaryLine(), 100);
        } catch (const std::exception& error) {
            // The cycle's own outcome goes on to the operator; the report's failure is logged.
            ProgramLogQuietly(std::string("Rapport du cycle non écrit: ") + error.what(), 1);
        }
        try {
            AppendRunHistory(ProgramFolder() + RunHistoryFileName, report);
        } catch (const std::exception& error) {
            ProgramLogQuietly(std::string("Historique des cycles non écrit: ") + error.what(), 1);
        }
        if (!request_.metricsFolder.empty()) {
            try {
                WriteMetricsFile(request_.metricsFolder, report);
            } catch (const std::exception& error) {
                ProgramLogQuietly(std::string("Métriques du cycle non écrites: ") + error.what(), 1);
            }
        }
    };
    try {
        RunSteps();
    } catch (const ECycleInterrupted& error) {
        exitStatus_ = notBackOnline_ ? ExitNotBackOnline : ExitInterrupted;
        FinishAfterFailure();
        report.MarkInterrupted();
        finish(error.what());
        throw;
    } catch (const std::exception& error) {
        if (notBackOnline_)
            exitStatus_ = ExitNotBackOnline;
        FinishAfterFailure();
        finish(error.what());
        throw;
    }
    finish({});
}

RunReportDatabase TBackupCycle::ReportDatabase(const std::string& databasePath) noexcept
{
    const fib::TpFIBDatabase& database = components_.database;
    const RunReportDatabase attached =
        ReadReportDatabase(request_.dbFile, database.DBParams(), database.SQLDialect(), databasePath);
    RunReportDatabase header;
    try {
        header = ReadHeaderSettings(
            ReadHeaderLines(components_.statistics, ServiceUserParams(request_.user, request_.password), request_.dbFile));
    } catch (const std::exception&) {
        // A header that cannot be read (no file at the path) leaves its values empty.
    }
    return PreferHeaderValues(header, attached);
}

void TBackupCycle::FinishAfterFailure() noexcept
{
    if (notBackOnline_)
        ProgramLogQuietly("La base " + request_.dbFile +
                              " n'est pas en ligne à sa place: le cycle l'a laissée ainsi, voir les lignes "
                              "précédentes",
                          1);
    if (!batchBeforeRan_ || batchAfterRestoreRan_)
        return;
    batchAfterRestoreRan_ = true;
    try {
        ReportedBatchFile(request_.batchAfterRestore, CycleStep::BatchAfterRestore);
    } catch (const std::exception& error) {
        // The error that stopped the cycle is the one the operator is shown.
        ProgramLogQuietly(std::string("Batch après restore: ") + error.what(), 1);
    }
}

void TBackupCycle::ReportedBatchFile(const std::string& batchFile, CycleStep step)
{
    if (batchFile.empty()) {
        SkippedStep(report_, step);
        return;
    }
    ReportStep reported(report_, step);
    RunBatchFile(batchFile);
    reported.End(StepOutcome::Ok);
}

void TBackupCycle::CheckStop() const
{
    if (platform::StopRequested())
        throw ECycleInterrupted("Cycle interrompu par une demande d'arrêt: la base est remise en place et en ligne");
}

void TBackupCycle::RunSteps()
{
    fib::TpFIBDatabase& database = components_.database;
    const std::string& dbFile = request_.dbFile;
    const DatabaseLocation location = SplitDatabaseLocation(dbFile);
    const std::string& databasePath = location.path;
    const std::string& renamePath = request_.renamePath;
    const std::string serverPart = location.server.empty() && dbFile.find(':') == std::string::npos
                                       ? std::string()
                                       : dbFile.substr(0, dbFile.find(':') + 1);
    const std::string movedConnection = serverPart + renamePath;
    movedConnection_ = movedConnection;
    // Pessimistic until the end: an error that leaves the cycle leaves the status of
    // the stage it stopped in.
    EnterStage(CycleStage::Start);

    // Nothing runs, stops or moves when the cycle cannot end well, or when another
    // run is already working on this database.
    EnterStage(CycleStage::Preflight);
    {
        ReportStep step(report_, CycleStep::Preflight);
        std::string holder;
        if (!HoldCycleLock(databasePath, holder)) {
            const std::string refusal = CycleLockRefusal(databasePath, holder);
            step.End(StepOutcome::Refused, refusal);
            exitStatus_ = ExitAlreadyRunning;
            throw Exception(refusal);
        }
        PreflightInput input{databasePath, request_.backupFolder, renamePath,
                             request_.renameBeforeBackup || request_.renameAfterRestore, request_.refusedSetting};
        if (const auto refusal = PreflightRefusal(input, hooks_.freeSpace)) {
            step.End(StepOutcome::Refused, *refusal);
            throw Exception(*refusal);
        }
        step.End(StepOutcome::Ok);
    }
    EnterStage(CycleStage::Preparation);
    CheckStop();

    {
        ReportStep step(report_, CycleStep::ServerFolder);
        // Only the server's administrator may read it, and nothing of the cycle needs
        // it: a database's owner runs the cycle without it. Wrong credentials are
        // refused by the checks of the database that come next.
        try {
            GetBaseLocation(components_.serverProperties, dbFile, request_.user, request_.password);
            step.End(StepOutcome::Ok);
        } catch (const std::exception& error) {
            ProgramLog(std::string("Dossier du serveur non lu, le cycle continue sans lui: ") + error.what(), 5);
            step.End(StepOutcome::Skipped, error.what());
        }
    }

    TDatabaseControl control(components_.config, components_.statistics,
                             ServiceUserParams(request_.user, request_.password), database.DBParams(),
                             database.SQLDialect());
    control_ = &control;
    // What the database is decides whether it can be rebuilt as it is: known before
    // the site's services are stopped.
    {
        ReportStep step(report_, CycleStep::DatabaseChecks);
        RunReportDatabase before;
        const DatabaseFacts facts = control.Facts(dbFile, request_.user, request_.forceDisconnection, before);
        before.sizeBytes = platform::FileSize(databasePath);
        report_->SetBefore(before);
        beforeRead_ = true;
        originalAttributes_ = facts.attributes;
        if (const auto refusal = DatabaseRefusal(dbFile, facts)) {
            step.End(StepOutcome::Refused, refusal->message);
            EnterStage(refusal->disconnection ? CycleStage::Disconnection : CycleStage::Preflight);
            throw Exception(refusal->message);
        }
        step.End(StepOutcome::Ok);
    }

    ReportedBatchFile(request_.batchBeforeBackup, CycleStep::BatchBeforeBackup);
    // From here the site's services are stopped: the batch after the restore runs
    // however the cycle ends.
    batchBeforeRan_ = true;
    CheckStop();

    // From here every shutdown and every move of a database file is in the journal
    // before and after it.
    TCycleJournal journal(CycleJournalPath(databasePath), databasePath, renamePath, databasePath + NewDatabaseSuffix);
    journal_ = &journal;
    backupTally_ = TRecordTally(TransferKind::Backup);
    restoreTally_ = TRecordTally(TransferKind::Restore);
    verificationFailure_.clear();
    requestFailure_.clear();
    oldSettings_ = {};
    struct ForgetCycle {
        TBackupCycle& cycle;
        ~ForgetCycle()
        {
            cycle.journal_ = nullptr;
            cycle.control_ = nullptr;
        }
    } forgetCycle{*this};

    // The clients are sent away and the database shut down completely: no attachment
    // is left and none can be made, not even by the site's administrator.
    EnterStage(CycleStage::Disconnection);
    std::unique_ptr<ShutDownDatabase> shutDown;
    {
        ReportStep step(report_, CycleStep::Disconnection);
        NameDatabase(database, dbFile);
        if (request_.forceDisconnection) {
            // A refusal must not leave the program attached to the database it stopped on.
            AttachmentGuard attachment(database);
            DeconnexionUsers(database, nullptr, request_.unattended, [this](const std::string& line) {
                view_.AppendLine(line);
                ProgramLog(line, 200);
            });
            database.SetConnected(false);
        } else if (const std::vector<std::string> others = control.ForeignAttachments(dbFile); !others.empty()) {
            throw Exception(OthersAttachedRefusal(dbFile, others));
        }
        JournalQuietly(&journal, JournalStep::ShutDown, false);
        try {
            control.Shutdown(dbFile, fib::TShutdownMode::Full,
                             request_.forceDisconnection ? fib::TShutdownWait::Force : fib::TShutdownWait::Attachments,
                             0);
        } catch (const std::exception& error) {
            if (request_.forceDisconnection)
                throw;
            // Someone attached between the look and the shutdown: nothing was cut.
            throw Exception(OthersAttachedRefusal(dbFile, {error.what()}));
        }
        // Brought back to the state the site had set: online, or a maintenance shutdown.
        const fib::TShutdownMode originalMode = ShutdownModeOf(originalAttributes_);
        shutDown = std::make_unique<ShutDownDatabase>(
            dbFile, databasePath, &journal, [&control, dbFile, originalMode] { control.BringOnline(dbFile, originalMode); },
            [&control, dbFile] { return control.Attributes(dbFile); }, [this] { notBackOnline_ = true; },
            [originalMode](const std::string& attributes) { return ShutdownModeOf(attributes) == originalMode; });
        JournalDone(&journal, JournalStep::ShutDown, hooks_.stepReached);
        const std::string attributes = control.Attributes(dbFile);
        const std::string line = "Base arrêtée pour le cycle (shutdown full) : " + dbFile + " => Attributes " + attributes;
        view_.AppendLine(line);
        ProgramLog(line, 200);
        step.End(StepOutcome::Ok, "shutdown full");
    }
    EnterStage(CycleStage::Backup);

    // The copy an earlier cycle left at the rename path waits aside until this cycle
    // has succeeded, and goes back when it fails.
    std::unique_ptr<MovedDatabaseFile> previousCopy;
    if (FileExists(renamePath)) {
        const std::string previous = PreviousCopyPath(renamePath);
        journal.Record(JournalStep::PreviousSetAside, false);
        if (!MoveFileNoReplace(renamePath, previous))
            throw Exception("Rename avant backup a échoué:" + renamePath + " => " + previous);
        previousCopy = std::make_unique<MovedDatabaseFile>(renamePath, previous, &journal, [] {},
                                                           JournalStep::PreviousPutBack, "Copie précédente");
        JournalDone(&journal, JournalStep::PreviousSetAside, hooks_.stepReached);
    }

    // Away from its path, the database cannot be reached by a client that looks for
    // it there; it is backed up from where it was moved.
    std::unique_ptr<MovedDatabaseFile> moved;
    // One attachment of the moved file, closed again.
    const auto throughMovedFile = [&](const std::function<void(fib::TpFIBDatabase&)>& read) {
        fib::TpFIBDatabase old(nullptr);
        PrepareOwnAttachment(old, movedConnection, database.DBParams(), database.SQLDialect());
        AttachmentGuard attachment(old);
        old.SetConnected(true);
        read(old);
    };
    // The header settings and the indexes the site keeps inactive stay so in the
    // rebuilt database.
    bool keptRead = false;
    const auto readWhatIsKept = [this](fib::TpFIBDatabase& old) {
        oldSettings_ = ReadAttachedSettings(old);
        oldInactiveIndexes_ = ReadInactiveIndexes(old);
    };
    {
        ReportStep step(report_, CycleStep::MoveBeforeBackup);
        journal.Record(JournalStep::MovedBeforeBackup, false);
        if (!MoveFileNoReplace(databasePath, renamePath))
            throw Exception("Rename avant backup a échoué:" + databasePath + " => " + renamePath);
        moved = std::make_unique<MovedDatabaseFile>(databasePath, renamePath, &journal,
                                                    [this, dbFile] { NameDatabase(components_.database, dbFile); });
        JournalDone(&journal, JournalStep::MovedBeforeBackup, hooks_.stepReached);
        NameDatabase(database, movedConnection);
        // Only the administrator may attach now, and only the cycle knows where. But
        // while the server still holds the database open under its old path (an
        // attachment it is refusing, one of the cycle's own requests), a client that
        // asks for that path reaches the moved file: it is opened again only once the
        // old path leads nowhere. An attachment that lands all the same is cut, and
        // everything it committed is in the file the backup is about to read.
        for (int round = 1;; ++round) {
            const auto waited = control.WaitUntilUnreached(dbFile, OldPathProbeInterval, OldPathWaitLimit);
            if (waited.count() > 0)
                ProgramLog("Base encore ouverte sous son ancien chemin: " + std::to_string(waited.count()) +
                               " ms d'attente",
                           200);
            control.BringOnline(movedConnection, fib::TShutdownMode::Multi);
            std::vector<std::string> others;
            throughMovedFile([&](fib::TpFIBDatabase& old) {
                others = ReadForeignAttachments(old);
                // Without settings to write, nothing changes the old database before its
                // backup: what it must keep is read now.
                if (others.empty() && !request_.writeSettings) {
                    readWhatIsKept(old);
                    keptRead = true;
                }
            });
            if (others.empty())
                break;
            if (round == 5)
                throw Exception(OthersFoundRefusal("après son déplacement", others));
            ProgramLog("Connexion arrivée pendant le déplacement de la base, coupée: " + OthersText(others), 5);
            control.Shutdown(movedConnection, fib::TShutdownMode::Full, fib::TShutdownWait::Force, 0);
        }
        step.End(StepOutcome::Ok);
    }

    if (!request_.writeSettings)
        SkippedStep(report_, CycleStep::SettingsWrite);
    else {
        ReportStep step(report_, CycleStep::SettingsWrite);
        // The database component's name: it names the moved file.
        WriteDatabaseSettings(components_.config, database.DBName(),
                              ServiceUserParams(request_.user, request_.password), request_.settings,
                              [this](SettingItem item, bool done) { view_.MarkSetting(item, done); });
        step.End(StepOutcome::Ok);
    }

    CheckStop();
    // Nobody else attached right before the backup, and what the rebuilt database
    // keeps read after the settings were written.
    if (!keptRead)
        throughMovedFile([&](fib::TpFIBDatabase& old) {
            if (const std::vector<std::string> others = ReadForeignAttachments(old); !others.empty())
                throw Exception(OthersFoundRefusal("avant le backup", others));
            readWhatIsKept(old);
        });

    bool backedUp = false;
    {
        ReportStep step(report_, CycleStep::Backup);
        backedUp = RunBackup(CycleBackupFileName);
        step.End(backedUp ? StepOutcome::Ok : StepOutcome::Failed);
    }
    if (backedUp) {
        // Closed again for good: the backup holds everything the old file will ever
        // hold. The shutdown fails when anyone but the cycle is attached.
        try {
            control.Shutdown(movedConnection, fib::TShutdownMode::Full, fib::TShutdownWait::Attachments, 0);
        } catch (const std::exception& error) {
            throw Exception(OthersFoundRefusal("après le backup", {error.what()}));
        }
    }
    ReportedBatchFile(request_.batchAfterBackup, CycleStep::BatchAfterBackup);
    CheckStop();

    // Restoring a backup that failed could only put a broken database in place.
    EnterStage(CycleStage::Restore);
    if (!backedUp)
        for (CycleStep skipped : {CycleStep::Restore, CycleStep::Verification, CycleStep::Swap})
            SkippedStep(report_, skipped, "backup en échec");
    const RestoreOutcome outcome = backedUp ? RunRestore(CycleBackupFileName, true) : RestoreOutcome::RestoreFailed;
    const bool swapped = outcome == RestoreOutcome::Swapped;
    if (!swapped)
        verifiedSettings_.reset();
    if (!backedUp)
        DeleteFileIfExists(BackupFilePath(request_.backupFolder, CycleBackupFileName));
    bool inPlace = true;
    if (swapped) {
        moved->Keep();
        shutDown->Replaced();
        if (previousCopy) {
            previousCopy->Keep();
            DeleteFileIfExists(PreviousCopyPath(renamePath));
        }
        // The old copy is what the database was: open again, at a path no client uses.
        // It has been shut down since its backup, as checked before the swap.
        try {
            control.BringOnlineFromShutdown(movedConnection, ShutdownModeOf(originalAttributes_));
        } catch (const std::exception& error) {
            ProgramLog("L'ancienne base " + renamePath + " reste arrêtée: " + error.what(), 5);
        }
    } else {
        inPlace = moved->MoveBack();
        previousCopy.reset();
        if (inPlace)
            inPlace = shutDown->BringOnline();
    }
    moved.reset();
    if (inPlace)
        journal.Finish();
    else
        notBackOnline_ = true;
    const std::string notInPlace =
        ", et la base de données n'a pas pu être remise en place et en ligne (" + databasePath + ").";
    if (outcome == RestoreOutcome::RestoreFailed) {
        const std::string what = backedUp ? "Le restore a échoué: la nouvelle base n'est pas mise en place"
                                          : "Le backup a échoué: pas de restore";
        // The server's own lines say why, in its order.
        const std::string why = requestFailure_.empty() ? "" : "\nMessage du serveur :\n" + requestFailure_;
        ReportFailure((inPlace ? what + ", la base de données reste à sa place." : what + notInPlace) + why,
                      databasePath);
    } else if (outcome == RestoreOutcome::VerificationFailed) {
        const std::string what = "La nouvelle base diffère de l'ancienne (" + verificationFailure_ +
                                 "): elle reste sous le nom " + databasePath + NewDatabaseSuffix + " pour examen";
        ReportFailure(inPlace ? what + ", la base de données reste à sa place." : what + notInPlace, databasePath);
    } else if (outcome == RestoreOutcome::RenameFailed && !inPlace) {
        ProgramLog("La base de données n'a pas pu être remise en place et en ligne (" + databasePath + ").", 1);
    }

    batchAfterRestoreRan_ = true;
    ReportedBatchFile(request_.batchAfterRestore, CycleStep::BatchAfterRestore);

    exitStatus_ = notBackOnline_ ? ExitNotBackOnline : ExitStatusOfCycle(backedUp, outcome);
}

void TBackupCycle::RunBatchFile(const std::string& batchFile)
{
    if (batchFile.empty())
        return;
    // A missing or failing batch file is no error: the shell's complaint is its output.
    TStringList lines;
    const std::string output = RunCmdLine(BatchCommandLine(batchFile, ProgramFolder()), ProgramFolder(), &lines);
    for (const std::string& line : SplitLines(output))
        view_.AppendLine(line);
}

void TBackupCycle::ReportRenameFailure(const std::string& databasePath)
{
    view_.ShowFailure("Le rename de la vieille bd ou de la nouvelle ne fonctionne pas.", ExtractFolder(databasePath));
    view_.SetStatusColour(PanelColour::Failed);
}

void TBackupCycle::ReportFailure(const std::string& text, const std::string& databasePath)
{
    ProgramLog(text, 1);
    view_.ShowFailure(text, ExtractFolder(databasePath));
    view_.SetStatusColour(PanelColour::Failed);
}

bool TBackupCycle::RunBackup(const std::string& backupFileName)
{
    fib::TpFIBBackupService& service = components_.backup;
    service.BackupFile.Clear();
    const DatabaseLocation location = SplitDatabaseLocation(components_.database.DBName());
    service.SetServerName(location.server);
    service.DatabaseName = location.path;
    service.SetParams(ServiceUserParams(request_.user, request_.password));
    // The backup's own attachment must not add a row to an audit table through an
    // ON CONNECT trigger: the rebuilt database would not be the one that was counted.
    service.Options.Include(fib::TBackupOption::NoDatabaseTriggers);
    const std::string backupPath = BackupFilePath(request_.backupFolder, backupFileName);
    service.BackupFile.Add(backupPath);
    // Its output names every table with the rows written: what the restore must give back.
    service.Verbose = true;
    DeleteFileIfExists(backupPath);

    // Whatever happens, the session ends here: the next backup must not ride a broken one.
    ServiceSessionGuard session(service);
    try {
        if (!service.Active())
            service.Attach();
        service.ServiceStart();
        StepReached("backup-started");
        view_.SetStatus("Début backup: " + backupFileName, PanelColour::Running);
        view_.ProcessMessages();
        const auto started = std::chrono::steady_clock::now();
        TProgressThrottle throttle(ProgressInterval);
        const std::string errorText = ReadRequestOutput(service, backupTally_, nullptr, [&] {
            ShowStepProgress("backup", backupTally_, previousRows_.backup, backupPath, started, throttle);
        });
        view_.EndProgress();
        view_.SetStatus("Fin backup: " + backupFileName, PanelColour::Idle);
        view_.ProcessMessages();
        // A request the server failed has already lost its service: the session guard
        // ends what is left, and the server's lines are what the operator reads.
        if (!errorText.empty())
            throw Exception(errorText);
        service.Detach();
        return true;
    } catch (const std::exception& error) {
        requestFailure_ = error.what();
        ProgramLog(std::string("Erreur Backup: ") + error.what(), 1);
    }
    return false;
}

RestoreOutcome TBackupCycle::RunRestore(const std::string& backupFileName, bool movedBeforeBackup)
{
    ReportStep restoreStep(report_, CycleStep::Restore);
    fib::TpFIBRestoreService& service = components_.restore;
    service.DatabaseName.Clear();
    service.BackupFile.Clear();
    // The DB File text as the cycle read it when it started: the journal names this path.
    const DatabaseLocation location = SplitDatabaseLocation(request_.dbFile);
    const std::string& databasePath = location.path;
    const std::string newDatabase = databasePath + NewDatabaseSuffix;
    service.SetServerName(location.server);
    service.DatabaseName.Add(newDatabase);
    service.PageBuffers = request_.pageBuffers;
    service.PageSize = StrToInt(request_.pageSizeText);
    service.SetParams(ServiceUserParams(request_.user, request_.password));
    const std::string backupPath = BackupFilePath(request_.backupFolder, backupFileName);
    service.BackupFile.Add(backupPath);
    service.Verbose = true;
    // Open to writes first, so that a read-only database keeps the space it reserves
    // on its pages; it is made read-only again before the verification.
    service.ReadWrite = true;
    DeleteFileIfExists(newDatabase);

    ServiceSessionGuard session(service);
    bool restored = false;
    try {
        if (!service.Active())
            service.Attach();
        service.ServiceStart();
        StepReached("restore-started");
        view_.SetStatus("Début restore: " + backupFileName, PanelColour::Running);
        view_.ProcessMessages();
        const auto started = std::chrono::steady_clock::now();
        TProgressThrottle throttle(ProgressInterval);
        TProgressThrottle writeBack(WriteBackInterval);
        const std::string errorText = ReadRequestOutput(service, restoreTally_, &view_, [&] {
            ShowStepProgress("restore", restoreTally_, previousRows_.restore, newDatabase, started, throttle);
            // The new file goes to disk as the server writes it: its sync before the
            // swap has little left to wait for.
            if (writeBack.Due(std::chrono::steady_clock::now()))
                platform::StartWriteBack(newDatabase);
        });
        view_.EndProgress();
        if (!errorText.empty())
            throw Exception(errorText);
        restored = FileExists(newDatabase);
        if (!restored)
            throw Exception("le fichier " + newDatabase + " n'a pas été créé");
        restoreStep.End(StepOutcome::Ok);
    } catch (const std::exception& error) {
        restoreStep.End(StepOutcome::Failed, error.what());
        requestFailure_ = error.what();
        ProgramLog(std::string("Erreur Restore: ") + error.what(), 1);
    }

    // The backup file goes whatever the restore's outcome, by the end of this step.
    // Freeing its blocks holds the file system up for a while: after a swap, it is
    // done while the window shows the new database's header, not while the server
    // reads the new file for its verification.
    platform::BackgroundRemoval backupRemoval(backupPath);
    view_.SetStatus("Fin restore: " + backupFileName, PanelColour::Idle);
    // The restore has ended: a stop asked for meanwhile ends the cycle before its
    // verification, and the old database goes back to its path.
    if (platform::StopRequested()) {
        DeleteFileIfExists(newDatabase);
        SkippedStep(report_, CycleStep::Verification, "arrêt demandé");
        SkippedStep(report_, CycleStep::Swap, "arrêt demandé");
        CheckStop();
    }

    const std::string& renamePath = request_.renamePath;
    if (!restored) {
        // A restore that failed leaves a partial file at best: it never takes the
        // database's place. The cycle puts a file moved before the backup back.
        DeleteFileIfExists(newDatabase);
        SkippedStep(report_, CycleStep::Verification, "restore en échec");
        SkippedStep(report_, CycleStep::Swap, "restore en échec");
        view_.ProcessMessages();
        return RestoreOutcome::RestoreFailed;
    }

    {
        ReportStep step(report_, CycleStep::Verification);
        verificationFailure_ = VerifyNewDatabase(location.server, newDatabase, service.PageSize, service.PageBuffers);
        if (!verificationFailure_.empty()) {
            step.End(StepOutcome::Failed, verificationFailure_);
            SkippedStep(report_, CycleStep::Swap, "nouvelle base différente");
            // Kept under its own name for inspection; the old database stays in place.
            view_.ProcessMessages();
            return RestoreOutcome::VerificationFailed;
        }
        step.End(StepOutcome::Ok);
    }
    // The old file has been closed since its backup: nothing written into it can be
    // missing from the new one.
    if (control_ != nullptr) {
        std::string attributes;
        try {
            attributes = control_->Attributes(movedConnection_);
        } catch (const std::exception& error) {
            attributes = error.what();
        }
        if (attributes.find("full shutdown") == std::string::npos) {
            verificationFailure_ = "l'ancienne base n'est plus fermée depuis son backup (Attributes " + attributes + ")";
            ProgramLog("Vérification de la nouvelle base " + newDatabase + ": " + verificationFailure_, 1);
            SkippedStep(report_, CycleStep::Swap, "ancienne base rouverte");
            return RestoreOutcome::VerificationFailed;
        }
    }
    // What the site had set and the rebuild did not ask to change stays as it was: the
    // file's owner, group and mode, and a maintenance shutdown (set on the new file
    // before it takes the path, so it is never open to all there).
    if (std::string error; !platform::CopyOwnerAndMode(renamePath, newDatabase, error))
        ProgramLog("Propriétaire et droits de " + renamePath + " non repris par la nouvelle base (" + error + ")", 5);
    if (const fib::TShutdownMode mode = ShutdownModeOf(originalAttributes_);
        control_ != nullptr && mode != fib::TShutdownMode::Normal) {
        const std::string newConnection = location.server.empty() ? newDatabase : location.server + ":" + newDatabase;
        try {
            control_->Shutdown(newConnection, mode, fib::TShutdownWait::Force, 0);
        } catch (const std::exception& error) {
            verificationFailure_ = std::string("l'état d'arrêt de l'ancienne base n'a pas pu être repris (") +
                                   error.what() + ")";
            ProgramLog("Vérification de la nouvelle base " + newDatabase + ": " + verificationFailure_, 1);
            SkippedStep(report_, CycleStep::Swap, "état d'arrêt non repris");
            return RestoreOutcome::VerificationFailed;
        }
    }
    // On disk before the journal says a crash may put it in the database's place.
    platform::SyncFile(newDatabase);
    JournalDone(journal_, JournalStep::RestoreVerified, hooks_.stepReached);
    ReportStep swapStep(report_, CycleStep::Swap);

    // The file at the rename path goes only when there is a database to take its place.
    if (request_.renameAfterRestore && FileExists(renamePath) && FileExists(databasePath) &&
        !SameFile(renamePath, databasePath))
        DeleteFileIfExists(renamePath);

    bool swapped = false;
    bool oldMoved = movedBeforeBackup;
    if (!movedBeforeBackup) {
        JournalQuietly(journal_, JournalStep::OldFileMoved, false);
        oldMoved = MoveFileNoReplace(databasePath, renamePath);
        if (oldMoved)
            JournalDone(journal_, JournalStep::OldFileMoved, hooks_.stepReached);
    }
    if (oldMoved) {
        JournalQuietly(journal_, JournalStep::NewFileMoved, false);
        if (MoveFileNoReplace(newDatabase, databasePath)) {
            JournalDone(journal_, JournalStep::NewFileMoved, hooks_.stepReached);
            swapped = true;
            backupRemoval.Start();
            view_.RefreshHeader();
        } else {
            // The new file stays under its own name; the old one goes back so the
            // database path is not left empty.
            if (!movedBeforeBackup) {
                JournalQuietly(journal_, JournalStep::MovedBack, false);
                if (MoveFileNoReplace(renamePath, databasePath))
                    JournalQuietly(journal_, JournalStep::MovedBack, true);
            }
            ReportRenameFailure(databasePath);
        }
    } else {
        ReportRenameFailure(databasePath);
    }
    swapStep.End(swapped ? StepOutcome::Ok : StepOutcome::Failed,
                 swapped ? "" : "Le rename de la vieille bd ou de la nouvelle ne fonctionne pas.");
    view_.ProcessMessages();
    return swapped ? RestoreOutcome::Swapped : RestoreOutcome::RenameFailed;
}

void TBackupCycle::ShowStepProgress(const char* step, const TRecordTally& tally, std::int64_t expectedRows,
                                    const std::string& writtenFile, std::chrono::steady_clock::time_point started,
                                    TProgressThrottle& throttle)
{
    const auto now = std::chrono::steady_clock::now();
    if (!throttle.Due(now))
        return;
    ProgressSample sample;
    sample.recordsDone = tally.RecordsSoFar();
    sample.recordsExpected = expectedRows;
    sample.bytesExpected = databaseBytes_;
    // The file's size is asked only when the rows cannot tell.
    if (expectedRows <= 0)
        sample.bytesDone = platform::FileSize(writtenFile).value_or(0);
    sample.elapsedSeconds = std::chrono::duration<double>(now - started).count();
    const ProgressEstimate estimate = EstimateProgress(sample);
    view_.ShowProgress(step, estimate.fraction, sample.elapsedSeconds, estimate.secondsLeft);
}

std::vector<RunReportTable> TBackupCycle::TransferredTables() const
{
    const TransferredRows rows = CompareTransfers(backupTally_, restoreTally_);
    std::vector<RunReportTable> tables;
    for (const auto& [name, count] : rows.old) {
        const auto restored = rows.restored.find(name);
        tables.push_back({name, count,
                          restored == rows.restored.end() ? std::nullopt : std::optional<std::int64_t>(restored->second)});
    }
    for (const auto& [name, count] : rows.restored)
        if (rows.old.count(name) == 0)
            tables.push_back({name, std::nullopt, count});
    return tables;
}

std::string TBackupCycle::VerifyNewDatabase(const std::string& server, const std::string& newDatabase, int pageSize,
                                            int pageBuffers)
{
    const std::string connection = server.empty() ? newDatabase : server + ":" + newDatabase;
    std::vector<std::string> differences;
    StepReached("verification-started");
    try {
        if (oldSettings_.readOnly.value_or(false) && control_ != nullptr)
            control_->SetReadOnly(connection, true);
        RestoredDatabase restored;
        // The header as the server reports it, as the header report reads it.
        const std::vector<std::string> header =
            ReadHeaderLines(components_.statistics, ServiceUserParams(request_.user, request_.password), connection);
        for (const std::string& line : header) {
            if (const auto value = ParseHeaderReport(line, HeaderKeyword::PageSize))
                restored.pageSize = StrToInt(value->text);
            else if (const auto buffers = ParseHeaderReport(line, HeaderKeyword::PageBuffers))
                restored.pageBuffers = buffers->number;
        }

        fib::TpFIBDatabase database(nullptr);
        PrepareOwnAttachment(database, connection, components_.database.DBParams(),
                             components_.database.SQLDialect());
        AttachmentGuard attachment(database);
        database.SetConnected(true);
        const RunReportDatabase attachedSettings = ReadAttachedSettings(database);
        const std::vector<std::string> settings = SettingsDifferences(oldSettings_, attachedSettings);
        restored.contents.inactiveIndexes = ReadInactiveIndexes(database);
        // Rows per table as the backup wrote them and the restore read them back.
        const TransferredRows rows = CompareTransfers(backupTally_, restoreTally_);
        restored.contents.rowCounts = rows.restored;
        differences =
            VerificationDifferences(pageSize, pageBuffers, DatabaseContents{rows.old, oldInactiveIndexes_}, restored);
        differences.insert(differences.end(), rows.problems.begin(), rows.problems.end());
        differences.insert(differences.end(), settings.begin(), settings.end());
        if (differences.empty())
            verifiedSettings_ = PreferHeaderValues(ReadHeaderSettings(header), attachedSettings);
    } catch (const std::exception& error) {
        differences.push_back(std::string("nouvelle base illisible: ") + error.what());
    }
    std::string text;
    for (const std::string& difference : differences)
        text += (text.empty() ? "" : "; ") + difference;
    if (text.empty())
        ProgramLog("Nouvelle base vérifiée: " + newDatabase, 200);
    else
        ProgramLog("Vérification de la nouvelle base " + newDatabase + ": " + text, 1);
    return text;
}

} // namespace morvane
