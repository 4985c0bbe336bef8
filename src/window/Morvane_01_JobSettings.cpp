// Job settings: the "Backup-Restore" group box saved per database in the INI file
// beside the program.

#include "window/Morvane_01.h"

#include "ui_Morvane_01.h"
#include "window/QtText.h"

#include "cycle/JobSettings.h"

namespace morvane {

void TFormMorvane::bSaveConfigClick()
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
    TJobSettingsFile(JobSettingsFileName()).Write(ui->EditDBFile->text().toStdString(), settings);
}

void TFormMorvane::bGetConfigClick()
{
    const std::string dbFile = ui->EditDBFile->text().toStdString();
    const TJobSettingsFile file(JobSettingsFileName());

    bool sectionFound = false;
    const TJobSettings settings = file.Exists() ? file.Read(dbFile, DefaultJobSettings(dbFile), sectionFound)
                                                : JobSettingsFromRegistry(dbFile);

    ui->cbForceDeconnexion->setChecked(settings.forcerDeconnexionClient);
    // In this order: checking "After Restore" unchecks "Before Backup", so a stored
    // pair true/true loads with only "After Restore" checked.
    ui->rbRenameBeforeBackup->setChecked(settings.beforeBackup);
    ui->rbRenameAfterRestore->setChecked(settings.afterRestore);
    ui->EditRenameCompletePath->setText(Q(settings.renamePath));
    ui->EditDBBackup->setText(Q(settings.emplacementBackup));
    ui->eBatchFileAvantBackup->setText(Q(settings.batchFileBeforeBackup));
    ui->eBatchFileApresBackup->setText(Q(settings.batchFileAfterBackup));
    ui->eBatchFileApresRestore->setText(Q(settings.batchFileAfterRestore));
    metricsFolder_ = settings.metricsFolder;

    if (!sectionFound)
        bSaveConfigClick();
}

} // namespace morvane
