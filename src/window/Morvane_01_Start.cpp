// Start-up and the unattended start.

#include "window/Morvane_01.h"

#include "ui_Morvane_01.h"

#include "fib/pFIBDatabase.h"
#include "global/FileInfo.h"
#include "database/Global_FIB.h"
#include "global/Global_Utils.h"
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

    ui->EditDBFile->setText(QString::fromStdString(fibDatabase_->DBName()));

    bGetValeursActuellesClick();
    ButtonListInfoClick();
    bGetConfigClick();

    if (HasParam("AUTO"))
        timerDelayStart_->start();
}

} // namespace morvane
