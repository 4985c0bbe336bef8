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
#include "window/CycleGuards.h"
#include "window/CycleJournal.h"
#include "window/CyclePreflight.h"
#include "window/CycleSteps.h"
#include "window/CycleVerification.h"
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

namespace morvane {

namespace {

const QColor Red(255, 0, 0);

QString Q(const std::string& text) { return QString::fromStdString(text); }

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
