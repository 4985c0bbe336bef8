// Start-up and the unattended start.

#include "window/Morvane_01.h"

#include "ui_Morvane_01.h"

#include "fib/pFIBDatabase.h"
#include "fib/pFIBProps.h"
#include "global/FileInfo.h"
#include "database/Global_FIB.h"
#include "global/Global_Utils.h"
#include "session/ProgramLog.h"
#include "platform/DurableFile.h"
#include "logger/uApplicationLogger.h"

#include <QTimer>

namespace morvane {

void TFormMorvane::FormCreate()
{
    AppLogger().LogStartBanner();

    setWindowTitle(QString::fromStdString("Morvane - " + FileVersionText(ProgramFileName(), false)));

    std::string profileName;
    GetParamValue("DATABASEINI", profileName);
    GlobalFIB().LoadConnectionProfile(*fibDatabase_, profileName);
    // The profile holds the administrator's password.
    const std::string profilePath = GlobalFIB().ConnectionProfilePath(profileName);
    if (platform::ReadableByGroupOrOthers(profilePath))
        ProgramLog("Le fichier " + profilePath +
                       " contient le mot de passe de la base et peut être lu par d'autres utilisateurs "
                       "(chmod 600 conseillé)",
                   5);

    ui->EditDBFile->setText(QString::fromStdString(fibDatabase_->DBName()));
    // Every request of the run uses the profile's credentials when it names them.
    const fib::TConnectParams credentials(fibDatabase_->DBParams());
    ui->EditUserFB->setText(QString::fromStdString(credentials.UserName()));
    ui->EditPWFB->setText(QString::fromStdString(credentials.Password()));

    // Another process's cycle is rebuilding the database: nothing is read from it
    // now, and Set Values reads the values before it may write any.
    if (const std::optional<std::string> holder = OtherCycleHolder()) {
        ShowOtherCycle(holder);
        settingsSource_ = SettingsSource{DatabaseFilePath(), std::nullopt, false};
    } else {
        bGetValeursActuellesClick();
        ButtonListInfoClick();
    }
    bGetConfigClick();

    if (HasParam("AUTO"))
        timerDelayStart_->start();
}

} // namespace morvane
