// The cycle's two server requests: the backup, and the restore into a new file
// with its verification and the swap.

#include "window/Morvane_01.h"

#include "ui_Morvane_01.h"

#include "core/Exception.h"
#include "core/MessagePump.h"
#include "core/Text.h"
#include "fib/IB_ServicesBackup.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/pFIBDatabase.h"
#include "window/CycleContents.h"
#include "window/CycleFiles.h"
#include "window/CycleJournal.h"
#include "window/CycleSteps.h"
#include "window/CycleTestHooks.h"
#include "window/CycleVerification.h"
#include "window/DatabaseLocation.h"
#include "window/HeaderReport.h"
#include "window/SessionGuards.h"
#include "window/WindowLog.h"

#include <string>
#include <vector>

namespace morvane {

namespace {

const QColor Yellow(255, 255, 0);

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Reads a request's output to its end, which is what waits for the server, and
// gathers the lines that report an error. The restore keeps the window painted
// after each line; the backup's loop does not.
std::string ReadRequestErrors(fib::TpFIBBackupRestoreService& service, bool processMessagesEachLine)
{
    std::string errorText;
    while (!service.Eof()) {
        const std::string line = service.GetNextLine();
        if (IsServiceErrorLine(line))
            errorText += (errorText.empty() ? "" : " ") + Trim(line);
        if (processMessagesEachLine)
            ProcessMessages();
    }
    return errorText;
}

} // namespace

bool TFormMorvane::RunBackup(const std::string& backupFileName)
{
    fib::TpFIBBackupService& service = *backupService_;
    service.BackupFile.Clear();
    const DatabaseLocation location = SplitDatabaseLocation(fibDatabase_->DBName());
    service.SetServerName(location.server);
    service.DatabaseName = location.path;
    service.SetParams(ServiceUserParams());
    const std::string backupPath = BackupFilePath(ui->EditDBBackup->text().toStdString(), backupFileName);
    service.BackupFile.Add(backupPath);
    DeleteFileIfExists(backupPath);

    // Whatever happens, the session ends here: the next backup must not ride a broken one.
    ServiceSessionGuard session(service);
    try {
        if (!service.Active())
            service.Attach();
        service.ServiceStart();
        PauseAtStepForTests("backup-started");
        SetPanelOperation(Q("Début backup: " + backupFileName), Yellow);
        ProcessMessages();
        const std::string errorText = ReadRequestErrors(service, false);
        SetPanelOperation(Q("Fin backup: " + backupFileName), ButtonFace());
        ProcessMessages();
        service.Detach();
        if (!errorText.empty())
            throw Exception(errorText);
        return true;
    } catch (const Exception& error) {
        WindowLog("Erreur Backup: " + error.Message(), 1);
    } catch (const std::exception& error) {
        WindowLog(std::string("Erreur Backup: ") + error.what(), 1);
    }
    return false;
}

TFormMorvane::TRestoreOutcome TFormMorvane::RunRestore(const std::string& backupFileName, bool movedBeforeBackup)
{
    ReportStep restoreStep(runReport_, "restore");
    fib::TpFIBRestoreService& service = *restoreService_;
    service.DatabaseName.Clear();
    service.BackupFile.Clear();
    const DatabaseLocation location = SplitDatabaseLocation(ui->EditDBFile->text().toStdString());
    const std::string& databasePath = location.path;
    const std::string newDatabase = databasePath + NewDatabaseSuffix;
    service.SetServerName(location.server);
    service.DatabaseName.Add(newDatabase);
    service.PageBuffers = ui->SpinEditPageBuffers->Value();
    service.PageSize = StrToInt(ui->ComboBoxPageSize->currentText().toStdString());
    service.SetParams(ServiceUserParams());
    const std::string backupPath = BackupFilePath(ui->EditDBBackup->text().toStdString(), backupFileName);
    service.BackupFile.Add(backupPath);
    DeleteFileIfExists(newDatabase);

    ServiceSessionGuard session(service);
    bool restored = false;
    try {
        if (!service.Active())
            service.Attach();
        service.ServiceStart();
        PauseAtStepForTests("restore-started");
        SetPanelOperation(Q("Début restore: " + backupFileName), Yellow);
        ProcessMessages();
        const std::string errorText = ReadRequestErrors(service, true);
        if (!errorText.empty())
            throw Exception(errorText);
        restored = FileExists(newDatabase);
        if (!restored)
            throw Exception("le fichier " + newDatabase + " n'a pas été créé");
        restoreStep.End(StepOutcome::Ok);
    } catch (const Exception& error) {
        restoreStep.End(StepOutcome::Failed, error.Message());
        WindowLog("Erreur Restore: " + error.Message(), 1);
    } catch (const std::exception& error) {
        restoreStep.End(StepOutcome::Failed, error.what());
        WindowLog(std::string("Erreur Restore: ") + error.what(), 1);
    }

    DeleteFileIfExists(backupPath);
    SetPanelOperation(Q("Fin restore: " + backupFileName), ButtonFace());

    const std::string renamePath = ui->EditRenameCompletePath->text().toStdString();
    if (!restored) {
        // A restore that failed leaves a partial file at best: it never takes the
        // database's place. The cycle puts a file moved before the backup back.
        DeleteFileIfExists(newDatabase);
        SkippedStep(runReport_, "vérification de la nouvelle base", "restore en échec");
        SkippedStep(runReport_, "swap", "restore en échec");
        ProcessMessages();
        return TRestoreOutcome::RestoreFailed;
    }

    {
        ReportStep step(runReport_, "vérification de la nouvelle base");
        verificationFailure_ =
            VerifyNewDatabase(location.server, newDatabase, service.PageSize, service.PageBuffers);
        if (!verificationFailure_.empty()) {
            step.End(StepOutcome::Failed, verificationFailure_);
            SkippedStep(runReport_, "swap", "nouvelle base différente");
            // Kept under its own name for inspection; the old database stays in place.
            ProcessMessages();
            return TRestoreOutcome::VerificationFailed;
        }
        step.End(StepOutcome::Ok);
    }
    // On disk before the journal says a crash may put it in the database's place.
    SyncFile(newDatabase);
    JournalDone(cycleJournal_, JournalStep::RestoreVerified);
    ReportStep swapStep(runReport_, "swap");

    // The file at the rename path goes only when there is a database to take its place.
    if (ui->rbRenameAfterRestore->isChecked() && FileExists(renamePath) && FileExists(databasePath) &&
        !SameFile(renamePath, databasePath))
        DeleteFileIfExists(renamePath);

    const std::string finalPath = SplitDatabaseLocation(ui->EditDBFile->text().toStdString()).path;
    bool swapped = false;
    bool oldMoved = movedBeforeBackup;
    if (!movedBeforeBackup) {
        JournalQuietly(cycleJournal_, JournalStep::OldFileMoved, false);
        oldMoved = MoveFileNoReplace(databasePath, renamePath);
        if (oldMoved)
            JournalDone(cycleJournal_, JournalStep::OldFileMoved);
    }
    if (oldMoved) {
        JournalQuietly(cycleJournal_, JournalStep::NewFileMoved, false);
        if (MoveFileNoReplace(newDatabase, finalPath)) {
            JournalDone(cycleJournal_, JournalStep::NewFileMoved);
            swapped = true;
            ButtonListInfoClick();
        } else {
            // The new file stays under its own name; the old one goes back so the
            // database path is not left empty.
            if (!movedBeforeBackup) {
                JournalQuietly(cycleJournal_, JournalStep::MovedBack, false);
                if (MoveFileNoReplace(renamePath, databasePath))
                    JournalQuietly(cycleJournal_, JournalStep::MovedBack, true);
            }
            ReportRenameFailure(databasePath);
        }
    } else {
        ReportRenameFailure(databasePath);
    }
    swapStep.End(swapped ? StepOutcome::Ok : StepOutcome::Failed,
                 swapped ? "" : "Le rename de la vieille bd ou de la nouvelle ne fonctionne pas.");
    ProcessMessages();
    return swapped ? TRestoreOutcome::Swapped : TRestoreOutcome::RenameFailed;
}

std::string TFormMorvane::VerifyNewDatabase(const std::string& server, const std::string& newDatabase, int pageSize,
                                            int pageBuffers)
{
    const std::string connection = server.empty() ? newDatabase : server + ":" + newDatabase;
    std::vector<std::string> differences;
    PauseAtStepForTests("verification-started");
    try {
        RestoredDatabase restored;
        // The header as the server reports it, as the header report reads it.
        fib::TpFIBStatisticalService& statistics = *statisticalService_;
        statistics.SetParams(ServiceUserParams());
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
        database.DBParams() = fibDatabase_->DBParams();
        database.SetSQLDialect(fibDatabase_->SQLDialect());
        restored.contents = ReadDatabaseContents(database);
        differences = VerificationDifferences(pageSize, pageBuffers,
                                              oldContents_ != nullptr ? *oldContents_ : restored.contents, restored);
    } catch (const Exception& error) {
        differences.push_back("nouvelle base illisible: " + error.Message());
    } catch (const std::exception& error) {
        differences.push_back(std::string("nouvelle base illisible: ") + error.what());
    }
    std::string text;
    for (const std::string& difference : differences)
        text += (text.empty() ? "" : "; ") + difference;
    if (text.empty())
        WindowLog("Nouvelle base vérifiée: " + newDatabase, 200);
    else
        WindowLog("Vérification de la nouvelle base " + newDatabase + ": " + text, 1);
    return text;
}

} // namespace morvane
