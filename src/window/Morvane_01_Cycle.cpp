// The backup, update and restore cycle as the window starts it: the values read
// once from the fields, the cycle library run on them, and the window as its view.

#include "window/Morvane_01.h"

#include "ui_Morvane_01.h"
#include "window/QtText.h"

#include "core/Format.h"
#include "core/MessagePump.h"
#include "cycle/CycleProgress.h"
#include "cycle/BackupCycle.h"
#include "session/HealthSettings.h"
#include "session/ProgramLog.h"
#include "global/Global_Utils.h"
#include "window/OperatorDialogs.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QUrl>

#include <chrono>
#include <cstdio>

namespace morvane {

namespace {

std::string S(const QString& text) { return text.toStdString(); }

// Yellow while a request runs, red after a failure, the button face otherwise.
QColor PanelColor(PanelColour colour)
{
    switch (colour) {
    case PanelColour::Running: return {255, 255, 0};
    case PanelColour::Failed: return {255, 0, 0};
    case PanelColour::Idle: break;
    }
    return TFormMorvane::ButtonFace();
}

} // namespace

CycleRequest TFormMorvane::ReadCycleRequest() const
{
    CycleRequest request;
    request.dbFile = S(ui->EditDBFile->text());
    request.user = S(ui->EditUserFB->text());
    request.password = S(ui->EditPWFB->text());
    request.backupFolder = S(ui->EditDBBackup->text());
    request.renamePath = S(ui->EditRenameCompletePath->text());
    request.renameBeforeBackup = ui->rbRenameBeforeBackup->isChecked();
    request.renameAfterRestore = ui->rbRenameAfterRestore->isChecked();
    request.forceDisconnection = ui->cbForceDeconnexion->isChecked();
    request.batchBeforeBackup = S(ui->eBatchFileAvantBackup->text());
    request.batchAfterBackup = S(ui->eBatchFileApresBackup->text());
    request.batchAfterRestore = S(ui->eBatchFileApresRestore->text());
    request.pageSizeText = S(ui->ComboBoxPageSize->currentText());
    request.pageBuffers = ui->SpinEditPageBuffers->Value();
    request.refusedSetting =
        !pageSizeRefusal_.empty() ? pageSizeRefusal_ : !pageBuffersRefusal_.empty() ? pageBuffersRefusal_ : graceRefusal_;
    // Only an empty write-mode box (not "NON" or "OUI") has the settings written first.
    request.writeSettings = ui->ComboBoxWriteMode->currentText().isEmpty();
    request.settings.pageBuffers = ui->SpinEditPageBuffers->Value();
    request.settings.sweepInterval = ui->SpinEditSweep->Value();
    request.settings.useReserve = ItemIndex(ui->ComboBoxUseReserve) == 1;
    request.settings.asyncWrites = ItemIndex(ui->ComboBoxWriteMode) == 1;
    request.unattended = HasParam("AUTO");
    request.metricsFolder = metricsFolder_;
    request.metricsGroup = metricsGroup_;
    request.transactionGrace = transactionGrace_;
    try {
        bool sectionFound = false;
        request.healthTables = HealthSettingsOf(JobSettingsOfDatabase(request.dbFile, sectionFound)).tables;
    } catch (const std::exception&) {
        // A value refused keeps the default; the report area and --health say why.
    }
    request.keepReadable = ui->cbGarderLecture->isChecked();
    return request;
}

void TFormMorvane::btnBackupRestoreClick()
{
    cycleStarted_ = true;
    TBackupCycle cycle(ReadCycleRequest(), Components(), *this, cycleHooks_);
    struct ReadOnlyWhileRunning {
        TFormMorvane& form;
        explicit ReadOnlyWhileRunning(TFormMorvane& f) : form(f) { form.SetInputsReadOnly(true); }
        ~ReadOnlyWhileRunning() { form.SetInputsReadOnly(form.otherCycle_.has_value()); }
        ReadOnlyWhileRunning(const ReadOnlyWhileRunning&) = delete;
        ReadOnlyWhileRunning& operator=(const ReadOnlyWhileRunning&) = delete;
    } readOnly(*this);
    // The status an error leaves is the stage it stopped in; it stays when the error
    // goes on to the standard error display.
    struct KeepStatus {
        TFormMorvane& form;
        const TBackupCycle& cycle;
        ~KeepStatus() { form.cycleExitCode_ = cycle.ExitStatus(); }
    } keepStatus{*this, cycle};
    cycle.Run();
    if (HasParam("AUTO"))
        close();
}

bool TFormMorvane::RunBackup(const std::string& backupFileName)
{
    TBackupCycle cycle(ReadCycleRequest(), Components(), *this, cycleHooks_);
    return cycle.RunBackup(backupFileName);
}

bool TFormMorvane::RunRestore(const std::string& backupFileName)
{
    TBackupCycle cycle(ReadCycleRequest(), Components(), *this, cycleHooks_);
    return cycle.RunRestore(backupFileName);
}

void TFormMorvane::SetInputsReadOnly(bool readOnly)
{
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->setReadOnly(readOnly);
    for (QAbstractSpinBox* box : findChildren<QAbstractSpinBox*>())
        box->setReadOnly(readOnly);
    for (QComboBox* box : findChildren<QComboBox*>())
        box->setEnabled(!readOnly);
    for (QCheckBox* box : findChildren<QCheckBox*>())
        box->setEnabled(!readOnly);
    for (QRadioButton* button : findChildren<QRadioButton*>())
        button->setEnabled(!readOnly);
}

void TFormMorvane::SetStatus(const std::string& text, PanelColour colour) { SetPanelOperation(Q(text), PanelColor(colour)); }

void TFormMorvane::SetStatusColour(PanelColour colour) { SetPanelOperationColor(PanelColor(colour)); }

void TFormMorvane::AppendLine(const std::string& line) { AppendMemoLine(Q(line)); }

void TFormMorvane::ShowFailure(const std::string& text, const std::string& folder)
{
    ShowErrorDialog(text);
    if (RunningWithoutDisplay())
        ProgramLogQuietly("Dossier de la base à vérifier : " + folder, 1);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder)));
}

void TFormMorvane::RefreshHeader() { ButtonListInfoClick(); }

void TFormMorvane::MarkSetting(SettingItem item, bool done)
{
    QLabel* label = item == SettingItem::PageBuffers      ? ui->LabelPageBuffers
                    : item == SettingItem::SweepInterval ? ui->LabelSweep
                    : item == SettingItem::Reserve       ? ui->LabelReserve
                                                         : ui->LabelWrite;
    if (done)
        MarkLabelDone(label);
    else
        MarkLabelRunning(label);
}

void TFormMorvane::ProcessMessages() { morvane::ProcessMessages(); }

void TFormMorvane::ShowProgress(const std::string& step, double fraction, double elapsedSeconds,
                                std::optional<double> secondsLeft)
{
    const ProgressEstimate estimate{fraction, secondsLeft};
    // Nobody sees the window: a line now and then tells journalctl where the run is.
    if (RunningWithoutDisplay() && progressLines_.Due(std::chrono::steady_clock::now())) {
        const std::string line = ProgressLine(step, estimate, elapsedSeconds) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
    lastProgressElapsed_ = elapsedSeconds;
    QProgressBar* bar = ui->ProgressOperation;
    bar->setValue(static_cast<int>(fraction * bar->maximum()));
    std::string text = FormatText("%d %%", static_cast<int>(fraction * 100)) + " - " + DurationText(elapsedSeconds);
    text += secondsLeft ? ", reste " + TimeLeftText(*secondsLeft) : std::string(", reste ?");
    bar->setFormat(Q(text));
    // The backup's loop does not process the window's messages: the bar paints itself.
    bar->repaint();
}

void TFormMorvane::EndProgress()
{
    progressLines_.Reset();
    // The step's whole time stays shown until the next step begins.
    QProgressBar* bar = ui->ProgressOperation;
    bar->setValue(bar->maximum());
    bar->setFormat(Q("100 % - " + DurationText(lastProgressElapsed_)));
    bar->repaint();
}

} // namespace morvane
