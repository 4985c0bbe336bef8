// Job settings: the "Backup-Restore" group box saved per database in the INI file
// beside the program, with the restore's page size and page buffers when saved.

#include "window/Morvane_01.h"

#include "ui_Morvane_01.h"
#include "window/QtText.h"

#include "session/JobSettings.h"
#include "session/ProgramLog.h"
#include "global/Global_Utils.h"

namespace morvane {

TJobSettings TFormMorvane::JobSettingsOfWindow(bool withPageValues) const
{
    TJobSettings settings;
    settings.forcerDeconnexionClient = ui->cbForceDeconnexion->isChecked();
    settings.beforeBackup = ui->rbRenameBeforeBackup->isChecked();
    settings.afterRestore = ui->rbRenameAfterRestore->isChecked();
    settings.renamePath = ui->EditRenameCompletePath->text().toStdString();
    settings.emplacementBackup = ui->EditDBBackup->text().toStdString();
    settings.batchFileBeforeBackup = ui->eBatchFileAvantBackup->text().toStdString();
    settings.batchFileAfterBackup = ui->eBatchFileApresBackup->text().toStdString();
    settings.batchFileAfterRestore = ui->eBatchFileApresRestore->text().toStdString();
    if (withPageValues) {
        // An empty page-size box (no header read) pins nothing.
        if (const std::string pageSize = ui->ComboBoxPageSize->currentText().trimmed().toStdString(); !pageSize.empty())
            settings.pageSize = pageSize;
        settings.pageBuffers = std::to_string(ui->SpinEditPageBuffers->Value());
    }
    // Off unless set: a section that never had the key does not get it for nothing.
    if (ui->cbGarderLecture->isChecked() || keepReadableInSection_)
        settings.garderLectureClients = ui->cbGarderLecture->isChecked() ? "1" : "0";
    return settings;
}

void TFormMorvane::bSaveConfigClick()
{
    TJobSettingsFile(JobSettingsFileName()).Write(ui->EditDBFile->text().toStdString(), JobSettingsOfWindow(true));
}

void TFormMorvane::bGetConfigClick()
{
    const std::string dbFile = ui->EditDBFile->text().toStdString();
    bool sectionFound = false;
    // The defaults follow the file the header named for this text: an alias's own
    // name is no file, and a link's folder need not be the database's.
    const TJobSettings settings =
        JobSettingsOfDatabase(dbFile, sectionFound, dbFile == headerDbFile_ ? headerDatabaseFile_ : std::string());

    ui->cbForceDeconnexion->setChecked(settings.forcerDeconnexionClient);
    ui->cbGarderLecture->setChecked(BooleanSetting(settings.garderLectureClients, false));
    keepReadableInSection_ = settings.garderLectureClients.has_value();
    // In this order: checking "After Restore" unchecks "Before Backup", so a stored
    // pair true/true loads with only "After Restore" checked.
    ui->rbRenameBeforeBackup->setChecked(settings.beforeBackup);
    ui->rbRenameAfterRestore->setChecked(settings.afterRestore);
    ui->EditRenameCompletePath->setText(Q(settings.renamePath));
    ui->EditDBBackup->setText(Q(settings.emplacementBackup));
    ui->eBatchFileAvantBackup->setText(Q(settings.batchFileBeforeBackup));
    ui->eBatchFileApresBackup->setText(Q(settings.batchFileAfterBackup));
    ui->eBatchFileApresRestore->setText(Q(settings.batchFileAfterRestore));
    metricsFolder_ = settings.metricsFolder.value_or(std::string());
    metricsGroup_ = settings.metricsGroup.value_or(std::string());
    transactionGrace_ = TransactionGraceDefault;
    std::string graceRefusal;
    try {
        if (settings.graceTransactions)
            transactionGrace_ = TransactionGraceSetting(*settings.graceTransactions);
    } catch (const std::exception& error) {
        graceRefusal = std::string("GraceTransactions: ") + error.what();
    }

    // Without these keys the boxes keep what the header said. A value the boxes cannot
    // take leaves its box alone and is kept, after the boxes are set (setting a box
    // forgets its refusal), for the cycle to refuse.
    std::string pageSizeRefusal;
    std::string pageBuffersRefusal;
    bool pageSizeRoundedUp = false;
    try {
        if (settings.pageSize)
            ui->ComboBoxPageSize->setEditText(QString::number(PageSizeSetting(*settings.pageSize, &pageSizeRoundedUp)));
    } catch (const EConvertError& error) {
        pageSizeRefusal = error.what();
    }
    try {
        if (settings.pageBuffers)
            ui->SpinEditPageBuffers->SetValue(PageBuffersSetting(*settings.pageBuffers));
    } catch (const EConvertError& error) {
        pageBuffersRefusal = error.what();
    }
    pageSizeRefusal_ = pageSizeRefusal;
    pageBuffersRefusal_ = pageBuffersRefusal;
    graceRefusal_ = graceRefusal;

    // A new section gets the group box's values only: the page values stay the
    // header's until an operator saves them.
    if (!sectionFound)
        TJobSettingsFile(JobSettingsFileName()).Write(dbFile, JobSettingsOfWindow(false));

    const auto logRefusal = [&](const char* key, const std::string& refusal) {
        if (!refusal.empty())
            ProgramLog(JobSettingsFileName() + " [" + dbFile + "] " + key + ": " + refusal, 1);
    };
    // A size the server would round up runs as that size: the log says so.
    if (pageSizeRoundedUp)
        ProgramLog(JobSettingsFileName() + " [" + dbFile + "] PageSize: " + PageSizeRoundedUpText(*settings.pageSize),
                   5);
    logRefusal("PageSize", pageSizeRefusal);
    logRefusal("PageBuffers", pageBuffersRefusal);
    // Unattended, the cycle's check before it starts reports it and ends the run.
    const std::string refusal = !pageSizeRefusal.empty() ? pageSizeRefusal : pageBuffersRefusal;
    if (!refusal.empty() && !HasParam("AUTO"))
        throw EConvertError(refusal);
}

} // namespace morvane
