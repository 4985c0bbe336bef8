// Header report and database settings: the "Update database" and "Current
// Database" group boxes.

#include "window/Morvane_01.h"

#include "ui_Morvane_01.h"

#include "fib/IB_ServicesProperties.h"
#include "fib/pFIBDatabase.h"
#include "database/Global_FIB.h"
#include "fib/fib.h"
#include "session/DatabaseLocation.h"
#include "session/HeaderReport.h"
#include "session/SessionGuards.h"
#include "window/ReportAreaHealth.h"
#include "cycle/SettingsWrite.h"
#include "core/Exception.h"
#include "core/Text.h"
#include "global/Global_Utils.h"

#include <string>

namespace morvane {

TStringList TFormMorvane::ServiceUserParams() const
{
    return morvane::ServiceUserParams(ui->EditUserFB->text().toStdString(), ui->EditPWFB->text().toStdString());
}

void TFormMorvane::ButtonListInfoClick()
{
    // The file the values come from, as it was before they are read.
    const std::string path = DatabaseFilePath();
    const std::optional<platform::FileIdentity> file = platform::RegularFileIdentity(path);
    ClearMemo();
    fib::TpFIBStatisticalService& service = *statisticalService_;
    service.SetParams(ServiceUserParams());
    const std::string dbFile = ui->EditDBFile->text().toStdString();
    const DatabaseLocation location = SplitDatabaseLocation(dbFile);
    service.SetServerName(location.server);
    // Server part included (the whole text in its "host:path" forms): the statistics
    // request takes it so.
    service.DatabaseName = ServiceDatabaseName(location);

    ServiceSessionGuard session(service);
    service.Attach();
    service.ServiceStart();
    headerDbFile_ = dbFile;
    headerDatabaseFile_.clear();
    std::vector<std::string> headerLines;
    while (!service.Eof()) {
        const std::string line = service.GetNextLine();
        headerLines.push_back(line);
        for (HeaderKeyword keyword : HeaderKeywords)
            if (const auto value = ParseHeaderReport(line, keyword)) {
                if (value->keyword == HeaderKeyword::Database)
                    headerDatabaseFile_ = value->file;
                ApplyHeaderValue(*value);
            }
        AppendMemoLine(QString::fromStdString(Trim(line)));
    }
    service.Detach();
    // Below the header report, in its style; never read back into the boxes.
    for (const std::string& line : ReportAreaHealthLines(headerLines, dbFile, ServiceUserParams(), HasParam("AUTO")))
        AppendMemoLine(QString::fromStdString(Trim(line)));
    NoteSettingsRead(path, file);

    MarkLabelIdle(ui->LabelPageBuffers);
    MarkLabelIdle(ui->LabelSweep);
    MarkLabelIdle(ui->LabelReserve);
    MarkLabelIdle(ui->LabelWrite);
}

void TFormMorvane::ApplyHeaderValue(const HeaderReportValue& value)
{
    switch (value.keyword) {
    case HeaderKeyword::Database: ui->EditDBBackup->setText(QString::fromStdString(value.text)); break;
    case HeaderKeyword::PageSize: ui->ComboBoxPageSize->setEditText(QString::fromStdString(value.text)); break;
    case HeaderKeyword::PageBuffers: ui->SpinEditPageBuffers->SetValue(value.number); break;
    case HeaderKeyword::SweepInterval: ui->SpinEditSweep->SetValue(value.number); break;
    case HeaderKeyword::Attributes:
        SetItemIndex(ui->ComboBoxUseReserve, value.reserveIndex);
        SetItemIndex(ui->ComboBoxWriteMode, value.writeModeIndex);
        break;
    }
}

void TFormMorvane::bGetValeursActuellesClick()
{
    const std::string path = DatabaseFilePath();
    const std::optional<platform::FileIdentity> file = platform::RegularFileIdentity(path);
    fib::TpFIBDatabase& database = *fibDatabase_;
    AttachmentGuard attachment(database);
    try {
        database.SetConnected(true);
    } catch (const fib::EFIBInterBaseError& error) {
        if (const auto refusal = ConnectionTriggerRefusal(database, error))
            throw Exception(*refusal);
        throw;
    }

    const int pageSize = database.GetDatabaseInfoInt(fib::isc_info_page_size_item);
    SetItemIndex(ui->ComboBoxPageSize, ui->ComboBoxPageSize->findText(QString::number(pageSize), Qt::MatchExactly));
    ui->SpinEditSweep->SetValue(database.GetDatabaseInfoInt(fib::isc_info_sweep_interval_item));
    ui->SpinEditPageBuffers->SetValue(database.GetDatabaseInfoInt(fib::isc_info_num_buffers_item));
    SetItemIndex(ui->ComboBoxWriteMode, database.GetDatabaseInfoInt(fib::isc_info_forced_writes_item) == 1 ? 0 : 1);
    SetItemIndex(ui->ComboBoxUseReserve, database.GetDatabaseInfoInt(fib::isc_info_no_reserve_item) == 1 ? 0 : 1);

    database.SetConnected(false);
    NoteSettingsRead(path, file);
}

void TFormMorvane::Button3Click()
{
    ui->ComboBoxPageSize->setEditText(QStringLiteral("8192"));
    ui->SpinEditPageBuffers->SetValue(0);
    ui->SpinEditSweep->SetValue(0);
    SetItemIndex(ui->ComboBoxUseReserve, 1);
    SetItemIndex(ui->ComboBoxWriteMode, 0);
}

void TFormMorvane::btnUpdateSettingsClick()
{
    // Values read from a file that another has replaced since (a cycle rebuilt the
    // database) were never the rebuilt database's: they are read again from the file
    // at the path for the operator to check, and nothing is written.
    if (const std::optional<std::string> readElsewhere = SettingsReadElsewhere()) {
        bGetValeursActuellesClick();
        ButtonListInfoClick();
        throw Exception(*readElsewhere);
    }
    ApplySettings();
}

void TFormMorvane::ApplySettings()
{
    DatabaseSettings settings;
    settings.pageBuffers = ui->SpinEditPageBuffers->Value();
    settings.sweepInterval = ui->SpinEditSweep->Value();
    settings.useReserve = ItemIndex(ui->ComboBoxUseReserve) == 1;
    settings.asyncWrites = ItemIndex(ui->ComboBoxWriteMode) == 1;
    // The database component's name, not the DB File text: after a move before the
    // backup it names the moved file.
    WriteDatabaseSettings(*configService_, fibDatabase_->DBName(), ServiceUserParams(), settings,
                          [this](SettingItem item, bool done) { MarkSetting(item, done); });
}

} // namespace morvane
