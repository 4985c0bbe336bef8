// The backup, update and restore cycle: batch files, the workstations sent away,
// the old file moved aside, backup, restore into a new file, and the swap.

#include "window/Morvane_01.h"

#include "ui_Morvane_01.h"

#include "core/Exception.h"
#include "core/MessagePump.h"
#include "core/OperatorDialog.h"
#include "core/Text.h"
#include "fib/IB_ServicesBackup.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/pFIBDatabase.h"
#include "global/FIB_Deconnexion.h"
#include "global/Global_File.h"
#include "global/Global_Utils.h"
#include "window/CycleFiles.h"
#include "window/DatabaseLocation.h"
#include "window/OperatorDialogs.h"
#include "window/SessionGuards.h"
#include "window/WindowLog.h"

#include <QDesktopServices>
#include <QUrl>

#include <functional>
#include <memory>
#include <string>

namespace morvane {

namespace {

const QColor Yellow(255, 255, 0);
const QColor Red(255, 0, 0);

QString Q(const std::string& text) { return QString::fromStdString(text); }

TStringList UserParams(const Ui::TFormMorvane& ui)
{
    TStringList params;
    params.Add("user_name=" + ui.EditUserFB->text().toStdString());
    params.Add("password=" + ui.EditPWFB->text().toStdString());
    return params;
}

// The database file moved to the rename path before the backup. Until the cycle
// says the rebuilt file has taken its place, leaving this scope (by an error or by a
// failed backup or restore) moves it back: the database is never left missing.
class MovedDatabaseFile {
public:
    // onBack runs once the file is back (the window's database name follows it).
    MovedDatabaseFile(std::string original, std::string moved, std::function<void()> onBack)
        : original_(std::move(original)), moved_(std::move(moved)), onBack_(std::move(onBack))
    {
    }
    ~MovedDatabaseFile() { MoveBack(); }
    MovedDatabaseFile(const MovedDatabaseFile&) = delete;
    MovedDatabaseFile& operator=(const MovedDatabaseFile&) = delete;

    // The old file stays at the rename path for good.
    void Keep() noexcept { pending_ = false; }

    // Returns false when the file could not be put back (it stays at the rename path).
    bool MoveBack() noexcept
    {
        if (!pending_)
            return true;
        pending_ = false;
        // The rebuilt database already took the path (an error came after the swap).
        if (FileExists(original_))
            return true;
        if (MoveFileNoReplace(moved_, original_)) {
            WindowLogQuietly("Base remise à sa place : " + moved_ + " => " + original_, 1);
            try {
                onBack_();
            } catch (const std::exception& error) {
                // Runs from a destructor while another error is on its way to the operator.
                WindowLogQuietly(error.what(), 1);
            }
            return true;
        }
        WindowLogQuietly("La base n'a pas pu être remise à sa place : " + moved_ + " => " + original_, 1);
        return false;
    }

private:
    std::string original_;
    std::string moved_;
    std::function<void()> onBack_;
    bool pending_{true};
};

} // namespace

void TFormMorvane::btnBackupRestoreClick()
{
    // Pessimistic until the end: an error that leaves the cycle leaves this status.
    cycleExitCode_ = 1;
    const std::string dbFile = ui->EditDBFile->text().toStdString();

    const std::string binFolder = ServerBinFolder(GetBaseLocation(*serverProperties_, dbFile));

    RunBatchFile(ui->eBatchFileAvantBackup->text());

    if (ui->cbForceDeconnexion->isChecked()) {
        SetDatabaseName(dbFile);
        bool othersAttached = false;
        {
            // A refusal must not leave the program attached to the database it stopped on.
            AttachmentGuard attachment(*fibDatabase_);
            DeconnexionUsers(*fibDatabase_, nullptr, HasParam("AUTO"),
                             [this](const std::string& line) { LogProgressLine(line); });
            othersAttached = fibDatabase_->AttachedUsers().Count() > 1;
            fibDatabase_->SetConnected(false);
        }
        // Detached first: the forced shutdown would otherwise cut our own attachment too.
        if (othersAttached) {
            TStringList lines;
            const std::string output = GfixShutdown(&lines, binFolder, dbFile);
            for (const std::string& line : SplitLines(output))
                AppendMemoLine(Q(line));
        }
    }

    const std::string renamePath = ui->EditRenameCompletePath->text().toStdString();
    std::unique_ptr<MovedDatabaseFile> movedBefore;
    if (ui->rbRenameBeforeBackup->isChecked() && !renamePath.empty()) {
        const std::string databaseName = fibDatabase_->DBName();
        const std::string databasePath = SplitDatabaseLocation(databaseName).path;
        // Deleting the file at the rename path when the database path holds nothing
        // (as after an earlier swap that failed) would delete the only copy.
        if (!FileExists(databasePath))
            throw Exception("La base de données " + databasePath +
                            " est introuvable: rien n'a été déplacé ni effacé, le cycle est arrêté");
        // A rename path that reaches the database file itself would delete it.
        if (SameFile(databasePath, renamePath) || !DeleteFileIfExists(renamePath) ||
            !MoveFileNoReplace(databasePath, renamePath))
            throw Exception("Rename avant backup a échoué:" + databasePath + " => " + renamePath);
        movedBefore =
            std::make_unique<MovedDatabaseFile>(databasePath, renamePath, [this, dbFile] { SetDatabaseName(dbFile); });
        const std::size_t colon = databaseName.find(':');
        SetDatabaseName((colon == std::string::npos ? std::string() : databaseName.substr(0, colon + 1)) +
                        renamePath);
    }

    if (ui->ComboBoxWriteMode->currentText().isEmpty())
        ApplySettings();

    const bool backedUp = RunBackup(CycleBackupFileName);
    RunBatchFile(ui->eBatchFileApresBackup->text());

    // Restoring a backup that failed could only put a broken database in place.
    const TRestoreOutcome outcome =
        backedUp ? RunRestore(CycleBackupFileName, movedBefore != nullptr) : TRestoreOutcome::RestoreFailed;
    const bool swapped = outcome == TRestoreOutcome::Swapped;
    if (!backedUp)
        DeleteFileIfExists(BackupFilePath(ui->EditDBBackup->text().toStdString(), CycleBackupFileName));
    bool inPlace = true;
    if (movedBefore) {
        if (swapped)
            movedBefore->Keep();
        else
            inPlace = movedBefore->MoveBack();
        movedBefore.reset();
    }
    if (outcome == TRestoreOutcome::RestoreFailed) {
        const std::string what = backedUp ? "Le restore a échoué: la nouvelle base n'est pas mise en place"
                                          : "Le backup a échoué: pas de restore";
        ReportCycleFailure(inPlace ? what + ", la base de données reste à sa place."
                                   : what + ", et la base de données n'a pas pu être remise à sa place (" +
                                         renamePath + ").",
                           SplitDatabaseLocation(dbFile).path);
    }

    RunBatchFile(ui->eBatchFileApresRestore->text());

    cycleExitCode_ = swapped ? 0 : 2;
    if (HasParam("AUTO"))
        close();
}

bool TFormMorvane::RunBackup(const std::string& backupFileName)
{
    fib::TpFIBBackupService& service = *backupService_;
    service.BackupFile.Clear();
    const DatabaseLocation location = SplitDatabaseLocation(fibDatabase_->DBName());
    service.SetServerName(location.server);
    service.DatabaseName = location.path;
    service.SetParams(UserParams(*ui));
    const std::string backupPath = BackupFilePath(ui->EditDBBackup->text().toStdString(), backupFileName);
    service.BackupFile.Add(backupPath);
    DeleteFileIfExists(backupPath);

    // Whatever happens, the session ends here: the next backup must not ride a broken one.
    ServiceSessionGuard session(service);
    try {
        if (!service.Active())
            service.Attach();
        service.ServiceStart();
        SetPanelOperation(Q("Début backup: " + backupFileName), Yellow);
        ProcessMessages();
        std::string errorText;
        while (!service.Eof()) {
            const std::string line = service.GetNextLine();
            if (IsServiceErrorLine(line))
                errorText += (errorText.empty() ? "" : " ") + Trim(line);
        }
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
    service.SetParams(UserParams(*ui));
    const std::string backupPath = BackupFilePath(ui->EditDBBackup->text().toStdString(), backupFileName);
    service.BackupFile.Add(backupPath);
    DeleteFileIfExists(newDatabase);

    ServiceSessionGuard session(service);
    bool restored = false;
    try {
        if (!service.Active())
            service.Attach();
        service.ServiceStart();
        SetPanelOperation(Q("Début restore: " + backupFileName), Yellow);
        ProcessMessages();
        std::string errorText;
        while (!service.Eof()) {
            const std::string line = service.GetNextLine();
            if (IsServiceErrorLine(line))
                errorText += (errorText.empty() ? "" : " ") + Trim(line);
            ProcessMessages();
        }
        if (!errorText.empty())
            throw Exception(errorText);
        restored = FileExists(newDatabase);
        if (!restored)
            throw Exception("le fichier " + newDatabase + " n'a pas été créé");
    } catch (const Exception& error) {
        WindowLog("Erreur Restore: " + error.Message(), 1);
    } catch (const std::exception& error) {
        WindowLog(std::string("Erreur Restore: ") + error.what(), 1);
    }

    DeleteFileIfExists(backupPath);
    SetPanelOperation(Q("Fin restore: " + backupFileName), ButtonFace());

    const std::string renamePath = ui->EditRenameCompletePath->text().toStdString();
    if (!restored) {
        // A restore that failed leaves a partial file at best: it never takes the
        // database's place. The cycle puts a file moved before the backup back.
        DeleteFileIfExists(newDatabase);
        ProcessMessages();
        return TRestoreOutcome::RestoreFailed;
    }

    // The file at the rename path goes only when there is a database to take its place.
    if (ui->rbRenameAfterRestore->isChecked() && FileExists(renamePath) && FileExists(databasePath) &&
        !SameFile(renamePath, databasePath))
        DeleteFileIfExists(renamePath);

    const std::string finalPath = SplitDatabaseLocation(ui->EditDBFile->text().toStdString()).path;
    bool swapped = false;
    if (movedBeforeBackup || MoveFileNoReplace(databasePath, renamePath)) {
        if (MoveFileNoReplace(newDatabase, finalPath)) {
            swapped = true;
            ButtonListInfoClick();
        } else {
            // The new file stays under its own name; the old one goes back so the
            // database path is not left empty.
            if (!movedBeforeBackup)
                MoveFileNoReplace(renamePath, databasePath);
            ReportRenameFailure(databasePath);
        }
    } else {
        ReportRenameFailure(databasePath);
    }
    ProcessMessages();
    return swapped ? TRestoreOutcome::Swapped : TRestoreOutcome::RenameFailed;
}

void TFormMorvane::RunBatchFile(const QString& batchFile)
{
    if (batchFile.isEmpty())
        return;
    // A missing or failing batch file is no error: the shell's complaint is its output.
    TStringList lines;
    const std::string output =
        RunCmdLine(BatchCommandLine(batchFile.toStdString(), ProgramFolder()), ProgramFolder(), &lines);
    for (const std::string& line : SplitLines(output))
        AppendMemoLine(Q(line));
}

void TFormMorvane::ReportRenameFailure(const std::string& databasePath)
{
    ShowErrorDialog("Le rename de la vieille bd ou de la nouvelle ne fonctionne pas.");
    const std::string folder = ExtractFolder(databasePath);
    if (RunningWithoutDisplay())
        WindowLogQuietly("Dossier de la base à vérifier : " + folder, 1);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder)));
    SetPanelOperationColor(Red);
}

void TFormMorvane::ReportCycleFailure(const std::string& text, const std::string& databasePath)
{
    WindowLog(text, 1);
    ShowErrorDialog(text);
    if (!RunningWithoutDisplay())
        QDesktopServices::openUrl(QUrl::fromLocalFile(Q(ExtractFolder(databasePath))));
    SetPanelOperationColor(Red);
}

} // namespace morvane
