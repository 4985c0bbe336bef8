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
#include "window/CycleContents.h"
#include "window/CycleExitStatus.h"
#include "window/CycleFiles.h"
#include "window/CycleJournal.h"
#include "window/CyclePreflight.h"
#include "window/CycleTestHooks.h"
#include "window/CycleVerification.h"
#include "window/HeaderReport.h"
#include "window/DatabaseLocation.h"
#include "window/OperatorDialogs.h"
#include "window/RunReport.h"
#include "window/SessionGuards.h"
#include "window/WindowLog.h"

#include <QDesktopServices>
#include <QUrl>

#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>

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

// One step of the run report, begun here; a step that an error leaves before it
// ends is reported as failed.
class ReportStep {
public:
    ReportStep(TRunReport* report, std::string name) : report_(report)
    {
        if (report_ != nullptr)
            index_ = report_->BeginStep(std::move(name));
    }
    ~ReportStep()
    {
        if (!ended_ && report_ != nullptr)
            report_->EndStep(index_, StepOutcome::Failed);
    }
    ReportStep(const ReportStep&) = delete;
    ReportStep& operator=(const ReportStep&) = delete;

    void End(StepOutcome outcome, std::string detail = {})
    {
        if (!ended_ && report_ != nullptr)
            report_->EndStep(index_, outcome, std::move(detail));
        ended_ = true;
    }

private:
    TRunReport* report_;
    std::size_t index_{0};
    bool ended_{false};
};

void SkippedStep(TRunReport* report, const char* name, std::string detail = {})
{
    if (report != nullptr)
        report->AddStep(name, StepOutcome::Skipped, 0, std::move(detail));
}

// A journal line from a path that must not raise (a destructor, a cleanup): the
// move it reports has happened or not either way.
void JournalQuietly(TCycleJournal* journal, JournalStep step, bool done) noexcept
{
    if (journal == nullptr)
        return;
    try {
        journal->Record(step, done);
    } catch (const std::exception& error) {
        WindowLogQuietly(std::string("Journal du cycle: ") + error.what(), 1);
    }
}

// The journal line of a move, then the pause a test may ask for at that step.
void JournalDone(TCycleJournal* journal, JournalStep step)
{
    if (journal != nullptr)
        journal->Record(step, true);
    PauseAtStepForTests(JournalStepName(step));
}

bool IsFolderPath(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A database that gfix shut down is brought back online when the cycle ends
// without putting a new database in its place: a failed night run must leave the
// site a database it can use.
class ShutDownDatabase {
public:
    ShutDownDatabase(std::string binFolder, std::string databaseName, std::function<void(const std::string&)> output)
        : binFolder_(std::move(binFolder)), databaseName_(std::move(databaseName)), output_(std::move(output))
    {
    }
    ~ShutDownDatabase() { BringOnline(); }
    ShutDownDatabase(const ShutDownDatabase&) = delete;
    ShutDownDatabase& operator=(const ShutDownDatabase&) = delete;

    // The new database, online, took its place; the old one stays shut down.
    void Replaced() noexcept { pending_ = false; }

    void BringOnline() noexcept
    {
        if (!pending_)
            return;
        pending_ = false;
        try {
            TStringList lines;
            const std::string workingFolder = IsFolderPath(binFolder_) ? binFolder_ : std::string();
            const std::string result = RunCmdLine(GfixOnlineCommandLine(GfixProgram(binFolder_), databaseName_),
                                                  workingFolder, &lines);
            WindowLogQuietly("Base remise en ligne après l'échec du cycle : " + databaseName_ + " => " + result, 1);
            for (const std::string& line : SplitLines(result))
                output_(line);
        } catch (const std::exception& error) {
            // Runs from a destructor as well: the failure is logged for the operator.
            WindowLogQuietly("La base " + databaseName_ + " n'a pas pu être remise en ligne: " + error.what(), 1);
        }
    }

private:
    std::string binFolder_;
    std::string databaseName_;
    std::function<void(const std::string&)> output_;
    bool pending_{true};
};

// The database file moved to the rename path before the backup. Until the cycle
// says the rebuilt file has taken its place, leaving this scope (by an error or by a
// failed backup or restore) moves it back: the database is never left missing.
class MovedDatabaseFile {
public:
    // onBack runs once the file is back (the window's database name follows it).
    MovedDatabaseFile(std::string original, std::string moved, TCycleJournal* journal, std::function<void()> onBack)
        : original_(std::move(original)), moved_(std::move(moved)), journal_(journal), onBack_(std::move(onBack))
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
        JournalQuietly(journal_, JournalStep::MovedBack, false);
        if (MoveFileNoReplace(moved_, original_)) {
            JournalQuietly(journal_, JournalStep::MovedBack, true);
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
    TCycleJournal* journal_;
    std::function<void()> onBack_;
    bool pending_{true};
};

} // namespace

void TFormMorvane::btnBackupRestoreClick()
{
    const std::string dbFile = ui->EditDBFile->text().toStdString();
    const std::string databasePath = SplitDatabaseLocation(dbFile).path;
    TRunReport report;
    report.SetDatabase(dbFile);
    report.Start();
    report.SetBefore(
        ReadReportDatabase(dbFile, fibDatabase_->DBParams(), fibDatabase_->SQLDialect(), databasePath));
    runReport_ = &report;
    struct ForgetReport {
        TFormMorvane& form;
        ~ForgetReport() { form.runReport_ = nullptr; }
    } forgetReport{*this};

    // Written at the end of every cycle, also when an error stops it.
    const auto finish = [&](const std::string& failure) noexcept {
        try {
            if (!failure.empty()) {
                const std::vector<RunReportStep>& steps = report.Steps();
                std::size_t failed = steps.size();
                for (std::size_t i = 0; i < steps.size(); ++i)
                    if (steps[i].outcome == StepOutcome::Failed && steps[i].detail.empty())
                        failed = i;
                // A step that refused or failed with its own reason already says it.
                const bool said = !steps.empty() && steps.back().outcome != StepOutcome::Ok &&
                                  !steps.back().detail.empty();
                if (failed < steps.size())
                    report.EndStep(failed, StepOutcome::Failed, failure);
                else if (!said)
                    report.AddStep("erreur", StepOutcome::Failed, 0, failure);
            }
            report.SetAfter(
                ReadReportDatabase(dbFile, fibDatabase_->DBParams(), fibDatabase_->SQLDialect(), databasePath));
            report.Finish(cycleExitCode_);
            report.WriteBesideProgram();
            WindowLog(report.SummaryLine(), 100);
        } catch (const std::exception& error) {
            // The cycle's own outcome goes on to the operator; the report's failure is logged.
            WindowLogQuietly(std::string("Rapport du cycle non écrit: ") + error.what(), 1);
        }
    };
    try {
        RunCycle();
    } catch (const Exception& error) {
        finish(error.Message());
        throw;
    } catch (const std::exception& error) {
        finish(error.what());
        throw;
    }
    finish({});
}

void TFormMorvane::RunCycle()
{
    const auto reportedBatchFile = [this](const QString& file, const char* name) {
        if (file.isEmpty()) {
            SkippedStep(runReport_, name);
            return;
        }
        ReportStep step(runReport_, name);
        RunBatchFile(file);
        step.End(StepOutcome::Ok);
    };
    // Pessimistic until the end: an error that leaves the cycle leaves the status of
    // the stage it stopped in.
    cycleExitCode_ = ExitStartUpError;
    const std::string dbFile = ui->EditDBFile->text().toStdString();
    const std::string databasePath = SplitDatabaseLocation(dbFile).path;
    const std::string renamePath = ui->EditRenameCompletePath->text().toStdString();

    // Nothing runs, stops or moves when the cycle cannot end well.
    cycleExitCode_ = ExitPreflightRefused;
    {
        ReportStep step(runReport_, "vérification préalable");
        if (const auto refusal = PreflightRefusal(
                {databasePath, ui->EditDBBackup->text().toStdString(), renamePath}, LocalFreeSpace)) {
            step.End(StepOutcome::Refused, *refusal);
            throw Exception(*refusal);
        }
        step.End(StepOutcome::Ok);
    }
    cycleExitCode_ = ExitStartUpError;

    std::string binFolder;
    {
        ReportStep step(runReport_, "dossier du serveur");
        binFolder = ServerBinFolder(GetBaseLocation(*serverProperties_, dbFile));
        step.End(StepOutcome::Ok);
    }

    reportedBatchFile(ui->eBatchFileAvantBackup->text(), "batch avant backup");

    std::unique_ptr<ShutDownDatabase> shutDown;
    if (!ui->cbForceDeconnexion->isChecked())
        SkippedStep(runReport_, "déconnexion");
    else {
        ReportStep step(runReport_, "déconnexion");
        cycleExitCode_ = ExitDisconnectionRefused;
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
            shutDown = std::make_unique<ShutDownDatabase>(binFolder, dbFile,
                                                          [this](const std::string& line) { AppendMemoLine(Q(line)); });
            TStringList lines;
            const std::string output = GfixShutdown(&lines, binFolder, dbFile);
            for (const std::string& line : SplitLines(output))
                AppendMemoLine(Q(line));
        }
        step.End(StepOutcome::Ok, othersAttached ? "gfix shutdown" : "");
    }
    cycleExitCode_ = ExitBackupFailed;

    // From here every move of a database file is in the journal before and after it.
    TCycleJournal journal(CycleJournalPath(), databasePath, renamePath, databasePath + NewDatabaseSuffix);
    cycleJournal_ = &journal;
    DatabaseContents oldContents;
    oldContents_ = nullptr;
    verificationFailure_.clear();
    struct ForgetCycle {
        TFormMorvane& form;
        ~ForgetCycle()
        {
            form.cycleJournal_ = nullptr;
            form.oldContents_ = nullptr;
        }
    } forgetCycle{*this};

    std::unique_ptr<MovedDatabaseFile> movedBefore;
    if (!ui->rbRenameBeforeBackup->isChecked() || renamePath.empty())
        SkippedStep(runReport_, "rename avant backup");
    else {
        ReportStep step(runReport_, "rename avant backup");
        const std::string databaseName = fibDatabase_->DBName();
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
                                                          [this, dbFile] { SetDatabaseName(dbFile); });
        JournalDone(&journal, JournalStep::MovedBeforeBackup);
        const std::size_t colon = databaseName.find(':');
        SetDatabaseName((colon == std::string::npos ? std::string() : databaseName.substr(0, colon + 1)) +
                        renamePath);
        step.End(StepOutcome::Ok);
    }

    if (!ui->ComboBoxWriteMode->currentText().isEmpty())
        SkippedStep(runReport_, "écriture des réglages");
    else {
        ReportStep step(runReport_, "écriture des réglages");
        ApplySettings();
        step.End(StepOutcome::Ok);
    }

    // Counted before the backup, while the old database is still at a known path
    // and nobody else is attached: the new file must hold the same rows.
    {
        ReportStep step(runReport_, "comptage des lignes");
        oldContents = ReadDatabaseContents(*fibDatabase_);
        oldContents_ = &oldContents;
        step.End(StepOutcome::Ok);
    }

    bool backedUp = false;
    {
        ReportStep step(runReport_, "backup");
        backedUp = RunBackup(CycleBackupFileName);
        step.End(backedUp ? StepOutcome::Ok : StepOutcome::Failed);
    }
    reportedBatchFile(ui->eBatchFileApresBackup->text(), "batch après backup");

    // Restoring a backup that failed could only put a broken database in place.
    cycleExitCode_ = ExitRestoreFailed;
    if (!backedUp)
        for (const char* name : {"restore", "vérification de la nouvelle base", "swap"})
            SkippedStep(runReport_, name, "backup en échec");
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
    if (shutDown) {
        if (swapped)
            shutDown->Replaced();
        else
            shutDown->BringOnline();
    }
    if (inPlace)
        journal.Finish();
    const std::string notInPlace = ", et la base de données n'a pas pu être remise à sa place (" + renamePath + ").";
    if (outcome == TRestoreOutcome::RestoreFailed) {
        const std::string what = backedUp ? "Le restore a échoué: la nouvelle base n'est pas mise en place"
                                          : "Le backup a échoué: pas de restore";
        ReportCycleFailure(inPlace ? what + ", la base de données reste à sa place." : what + notInPlace,
                           databasePath);
    } else if (outcome == TRestoreOutcome::VerificationFailed) {
        const std::string what = "La nouvelle base diffère de l'ancienne (" + verificationFailure_ +
                                 "): elle reste sous le nom " + databasePath + NewDatabaseSuffix + " pour examen";
        ReportCycleFailure(inPlace ? what + ", la base de données reste à sa place." : what + notInPlace,
                           databasePath);
    }

    reportedBatchFile(ui->eBatchFileApresRestore->text(), "batch après restore");

    cycleExitCode_ = swapped                                    ? ExitCompleted
                     : !backedUp                                ? ExitBackupFailed
                     : outcome == TRestoreOutcome::RenameFailed ? ExitSwapFailed
                                                                : ExitRestoreFailed;
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
    try {
        RestoredDatabase restored;
        // The header as the server reports it, as the header report reads it.
        fib::TpFIBStatisticalService& statistics = *statisticalService_;
        statistics.SetParams(UserParams(*ui));
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
