#include "cycle/BackupCycle.h"

#include "core/Exception.h"
#include "core/Text.h"
#include "cycle/CycleContents.h"
#include "cycle/CycleExitStatus.h"
#include "cycle/CycleFiles.h"
#include "cycle/CycleGuards.h"
#include "cycle/CycleJournal.h"
#include "cycle/CyclePreflight.h"
#include "cycle/DatabaseLocation.h"
#include "cycle/HeaderReport.h"
#include "cycle/ProgramLog.h"
#include "cycle/RunReport.h"
#include "cycle/SessionGuards.h"
#include "cycle/SettingsWrite.h"
#include "database/FIB_Deconnexion.h"
#include "fib/IB_ServicesBackup.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/pFIBDatabase.h"
#include "global/Global_File.h"
#include "global/Global_Utils.h"
#include "platform/DurableFile.h"

#include <memory>
#include <string>
#include <vector>

namespace morvane {

namespace {

// Reads a request's output to its end, which is what waits for the server, and
// gathers the lines that report an error. The restore keeps the window painted
// after each line; the backup's loop does not.
std::string ReadRequestErrors(fib::TpFIBBackupRestoreService& service, ICycleView* paintEachLine)
{
    std::string errorText;
    while (!service.Eof()) {
        const std::string line = service.GetNextLine();
        if (IsServiceErrorLine(line))
            errorText += (errorText.empty() ? "" : " ") + Trim(line);
        if (paintEachLine != nullptr)
            paintEachLine->ProcessMessages();
    }
    return errorText;
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
    report.SetBefore(ReadReportDatabase(request_.dbFile, database.DBParams(), database.SQLDialect(), databasePath));
    report_ = &report;
    struct ForgetReport {
        TBackupCycle& cycle;
        ~ForgetReport() { cycle.report_ = nullptr; }
    } forgetReport{*this};

    // Written at the end of every cycle, also when an error stops it.
    const auto finish = [&](const std::string& failure) noexcept {
        try {
            if (!failure.empty())
                ChargeFailure(report, failure);
            report.SetAfter(
                ReadReportDatabase(request_.dbFile, database.DBParams(), database.SQLDialect(), databasePath));
            report.Finish(exitStatus_);
            report.WriteBesideProgram();
            ProgramLog(report.SummaryLine(), 100);
        } catch (const std::exception& error) {
            // The cycle's own outcome goes on to the operator; the report's failure is logged.
            ProgramLogQuietly(std::string("Rapport du cycle non écrit: ") + error.what(), 1);
        }
    };
    try {
        RunSteps();
    } catch (const std::exception& error) {
        finish(error.what());
        throw;
    }
    finish({});
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

void TBackupCycle::RunSteps()
{
    fib::TpFIBDatabase& database = components_.database;
    const std::string& dbFile = request_.dbFile;
    const std::string databasePath = SplitDatabaseLocation(dbFile).path;
    const std::string& renamePath = request_.renamePath;
    // Pessimistic until the end: an error that leaves the cycle leaves the status of
    // the stage it stopped in.
    EnterStage(CycleStage::Start);

    // Nothing runs, stops or moves when the cycle cannot end well.
    EnterStage(CycleStage::Preflight);
    {
        ReportStep step(report_, CycleStep::Preflight);
        if (const auto refusal =
                PreflightRefusal({databasePath, request_.backupFolder, renamePath}, hooks_.freeSpace)) {
            step.End(StepOutcome::Refused, *refusal);
            throw Exception(*refusal);
        }
        step.End(StepOutcome::Ok);
    }
    EnterStage(CycleStage::Preparation);

    std::string binFolder;
    {
        ReportStep step(report_, CycleStep::ServerFolder);
        binFolder = ServerBinFolder(GetBaseLocation(components_.serverProperties, dbFile));
        step.End(StepOutcome::Ok);
    }

    ReportedBatchFile(request_.batchBeforeBackup, CycleStep::BatchBeforeBackup);

    std::unique_ptr<ShutDownDatabase> shutDown;
    if (!request_.forceDisconnection)
        SkippedStep(report_, CycleStep::Disconnection);
    else {
        ReportStep step(report_, CycleStep::Disconnection);
        EnterStage(CycleStage::Disconnection);
        NameDatabase(database, dbFile);
        bool othersAttached = false;
        {
            // A refusal must not leave the program attached to the database it stopped on.
            AttachmentGuard attachment(database);
            DeconnexionUsers(database, nullptr, request_.unattended, [this](const std::string& line) {
                view_.AppendLine(line);
                ProgramLog(line, 200);
            });
            othersAttached = database.AttachedUsers().Count() > 1;
            database.SetConnected(false);
        }
        // Detached first: the forced shutdown would otherwise cut our own attachment too.
        if (othersAttached) {
            shutDown = std::make_unique<ShutDownDatabase>(binFolder, dbFile,
                                                          [this](const std::string& line) { view_.AppendLine(line); });
            TStringList lines;
            const std::string output = GfixShutdown(&lines, binFolder, dbFile);
            for (const std::string& line : SplitLines(output))
                view_.AppendLine(line);
        }
        step.End(StepOutcome::Ok, othersAttached ? "gfix shutdown" : "");
    }
    EnterStage(CycleStage::Backup);

    // From here every move of a database file is in the journal before and after it.
    TCycleJournal journal(CycleJournalPath(), databasePath, renamePath, databasePath + NewDatabaseSuffix);
    journal_ = &journal;
    DatabaseContents oldContents;
    oldContents_ = nullptr;
    verificationFailure_.clear();
    struct ForgetCycle {
        TBackupCycle& cycle;
        ~ForgetCycle()
        {
            cycle.journal_ = nullptr;
            cycle.oldContents_ = nullptr;
        }
    } forgetCycle{*this};

    std::unique_ptr<MovedDatabaseFile> movedBefore;
    if (!request_.renameBeforeBackup || renamePath.empty())
        SkippedStep(report_, CycleStep::MoveBeforeBackup);
    else {
        ReportStep step(report_, CycleStep::MoveBeforeBackup);
        const std::string databaseName = database.DBName();
        const std::string movedPath = SplitDatabaseLocation(databaseName).path;
        // Deleting the file at the rename path when the database path holds nothing
        // (as after an earlier swap that failed) would delete the only copy.
        if (!FileExists(movedPath))
            throw Exception("La base de données " + movedPath +
                            " est introuvable: rien n'a été déplacé ni effacé, le cycle est arrêté");
        // A rename path that reaches the database file itself would delete it.
        if (SameFile(movedPath, renamePath) || !DeleteFileIfExists(renamePath))
            throw Exception("Rename avant backup a échoué:" + movedPath + " => " + renamePath);
        journal.Record(JournalStep::MovedBeforeBackup, false);
        if (!MoveFileNoReplace(movedPath, renamePath))
            throw Exception("Rename avant backup a échoué:" + movedPath + " => " + renamePath);
        movedBefore = std::make_unique<MovedDatabaseFile>(movedPath, renamePath, &journal,
                                                          [this, dbFile] { NameDatabase(components_.database, dbFile); });
        JournalDone(&journal, JournalStep::MovedBeforeBackup, hooks_.stepReached);
        const std::size_t colon = databaseName.find(':');
        NameDatabase(database,
                     (colon == std::string::npos ? std::string() : databaseName.substr(0, colon + 1)) + renamePath);
        step.End(StepOutcome::Ok);
    }

    if (!request_.writeSettings)
        SkippedStep(report_, CycleStep::SettingsWrite);
    else {
        ReportStep step(report_, CycleStep::SettingsWrite);
        // The database component's name: after a move before the backup it names the moved file.
        WriteDatabaseSettings(components_.config, database.DBName(),
                              ServiceUserParams(request_.user, request_.password), request_.settings,
                              [this](SettingItem item, bool done) { view_.MarkSetting(item, done); });
        step.End(StepOutcome::Ok);
    }

    // Counted before the backup, while the old database is still at a known path
    // and nobody else is attached: the new file must hold the same rows.
    {
        ReportStep step(report_, CycleStep::RowCount);
        oldContents = ReadDatabaseContents(database);
        oldContents_ = &oldContents;
        step.End(StepOutcome::Ok);
    }

    bool backedUp = false;
    {
        ReportStep step(report_, CycleStep::Backup);
        backedUp = RunBackup(CycleBackupFileName);
        step.End(backedUp ? StepOutcome::Ok : StepOutcome::Failed);
    }
    ReportedBatchFile(request_.batchAfterBackup, CycleStep::BatchAfterBackup);

    // Restoring a backup that failed could only put a broken database in place.
    EnterStage(CycleStage::Restore);
    if (!backedUp)
        for (CycleStep skipped : {CycleStep::Restore, CycleStep::Verification, CycleStep::Swap})
            SkippedStep(report_, skipped, "backup en échec");
    const RestoreOutcome outcome =
        backedUp ? RunRestore(CycleBackupFileName, movedBefore != nullptr) : RestoreOutcome::RestoreFailed;
    const bool swapped = outcome == RestoreOutcome::Swapped;
    if (!backedUp)
        DeleteFileIfExists(BackupFilePath(request_.backupFolder, CycleBackupFileName));
    bool inPlace = true;
    if (movedBefore) {
        if (swapped)
            movedBefore->Keep();
        else
            inPlace = movedBefore->MoveBack();
        movedBefore.reset();
    }
    if (shutDown) {
        if (swapped)
            shutDown->Replaced();
        else
            shutDown->BringOnline();
    }
    if (inPlace)
        journal.Finish();
    const std::string notInPlace = ", et la base de données n'a pas pu être remise à sa place (" + renamePath + ").";
    if (outcome == RestoreOutcome::RestoreFailed) {
        const std::string what = backedUp ? "Le restore a échoué: la nouvelle base n'est pas mise en place"
                                          : "Le backup a échoué: pas de restore";
        ReportFailure(inPlace ? what + ", la base de données reste à sa place." : what + notInPlace, databasePath);
    } else if (outcome == RestoreOutcome::VerificationFailed) {
        const std::string what = "La nouvelle base diffère de l'ancienne (" + verificationFailure_ +
                                 "): elle reste sous le nom " + databasePath + NewDatabaseSuffix + " pour examen";
        ReportFailure(inPlace ? what + ", la base de données reste à sa place." : what + notInPlace, databasePath);
    }

    ReportedBatchFile(request_.batchAfterRestore, CycleStep::BatchAfterRestore);

    exitStatus_ = ExitStatusOfCycle(backedUp, outcome);
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
    const std::string backupPath = BackupFilePath(request_.backupFolder, backupFileName);
    service.BackupFile.Add(backupPath);
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
        const std::string errorText = ReadRequestErrors(service, nullptr);
        view_.SetStatus("Fin backup: " + backupFileName, PanelColour::Idle);
        view_.ProcessMessages();
        service.Detach();
        if (!errorText.empty())
            throw Exception(errorText);
        return true;
    } catch (const std::exception& error) {
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
        const std::string errorText = ReadRequestErrors(service, &view_);
        if (!errorText.empty())
            throw Exception(errorText);
        restored = FileExists(newDatabase);
        if (!restored)
            throw Exception("le fichier " + newDatabase + " n'a pas été créé");
        restoreStep.End(StepOutcome::Ok);
    } catch (const std::exception& error) {
        restoreStep.End(StepOutcome::Failed, error.what());
        ProgramLog(std::string("Erreur Restore: ") + error.what(), 1);
    }

    DeleteFileIfExists(backupPath);
    view_.SetStatus("Fin restore: " + backupFileName, PanelColour::Idle);

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

std::string TBackupCycle::VerifyNewDatabase(const std::string& server, const std::string& newDatabase, int pageSize,
                                            int pageBuffers)
{
    const std::string connection = server.empty() ? newDatabase : server + ":" + newDatabase;
    std::vector<std::string> differences;
    StepReached("verification-started");
    try {
        RestoredDatabase restored;
        // The header as the server reports it, as the header report reads it.
        fib::TpFIBStatisticalService& statistics = components_.statistics;
        statistics.SetParams(ServiceUserParams(request_.user, request_.password));
        statistics.SetServerName(server);
        statistics.DatabaseName = connection;
        {
            ServiceSessionGuard session(statistics);
            statistics.Attach();
            statistics.ServiceStart();
            while (!statistics.Eof()) {
                const std::string line = statistics.GetNextLine();
                if (const auto value = ParseHeaderReport(line, HeaderKeyword::PageSize))
                    restored.pageSize = StrToInt(value->text);
                else if (const auto buffers = ParseHeaderReport(line, HeaderKeyword::PageBuffers))
                    restored.pageBuffers = buffers->number;
            }
            statistics.Detach();
        }

        fib::TpFIBDatabase database(nullptr);
        database.SetDBName(connection);
        database.DBParams() = components_.database.DBParams();
        database.SetSQLDialect(components_.database.SQLDialect());
        restored.contents = ReadDatabaseContents(database);
        differences = VerificationDifferences(pageSize, pageBuffers,
                                              oldContents_ != nullptr ? *oldContents_ : restored.contents, restored);
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
