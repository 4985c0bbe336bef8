// Header report and database settings: the "Update database" and "Current
// Database" group boxes.

#include "window/Morvane_01.h"

#include "ui_Morvane_01.h"

#include "fib/IB_ServicesProperties.h"
#include "fib/pFIBDatabase.h"
#include "window/DatabaseLocation.h"
#include "window/HeaderReport.h"
#include "window/SessionGuards.h"
#include "core/Text.h"

#include <string>

namespace morvane {

TStringList TFormMorvane::ServiceUserParams() const
{
    TStringList params;
    params.Add("user_name=" + ui->EditUserFB->text().toStdString());
    params.Add("password=" + ui->EditPWFB->text().toStdString());
    return params;
}

void TFormMorvane::ButtonListInfoClick()
{
    ClearMemo();
    fib::TpFIBStatisticalService& service = *statisticalService_;
    service.SetParams(ServiceUserParams());
    const std::string dbFile = ui->EditDBFile->text().toStdString();
    service.SetServerName(SplitDatabaseLocation(dbFile).server);
    // The whole text, server part included: the statistics request takes it so.
    service.DatabaseName = dbFile;

    ServiceSessionGuard session(service);
    service.Attach();
    service.ServiceStart();
    while (!service.Eof()) {
        const std::string line = service.GetNextLine();
        for (HeaderKeyword keyword : HeaderKeywords)
            if (const auto value = ParseHeaderReport(line, keyword))
                ApplyHeaderValue(*value);
        AppendMemoLine(QString::fromStdString(Trim(line)));
    }
    service.Detach();

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
    fib::TpFIBDatabase& database = *fibDatabase_;
    AttachmentGuard attachment(database);
    database.SetConnected(true);

    const int pageSize = database.GetDatabaseInfoInt(fib::isc_info_page_size_item);
    SetItemIndex(ui->ComboBoxPageSize, ui->ComboBoxPageSize->findText(QString::number(pageSize), Qt::MatchExactly));
    ui->SpinEditSweep->SetValue(database.GetDatabaseInfoInt(fib::isc_info_sweep_interval_item));
    ui->SpinEditPageBuffers->SetValue(database.GetDatabaseInfoInt(fib::isc_info_num_buffers_item));
    SetItemIndex(ui->ComboBoxWriteMode, database.GetDatabaseInfoInt(fib::isc_info_forced_writes_item) == 1 ? 0 : 1);
    SetItemIndex(ui->ComboBoxUseReserve, database.GetDatabaseInfoInt(fib::isc_info_no_reserve_item) == 1 ? 0 : 1);

    database.SetConnected(false);
}

void TFormMorvane::Button3Click()
{
    ui->ComboBoxPageSize->setEditText(QStringLiteral("8192"));
    ui->SpinEditPageBuffers->SetValue(0);
    ui->SpinEditSweep->SetValue(0);
    SetItemIndex(ui->ComboBoxUseReserve, 1);
    SetItemIndex(ui->ComboBoxWriteMode, 0);
}

void TFormMorvane::btnUpdateSettingsClick() { ApplySettings(); }

void TFormMorvane::ApplySettings()
{
    fib::TpFIBConfigService& service = *configService_;
    // The database component's name, not the DB File text: after a move before the
    // backup it names the moved file.
    const DatabaseLocation location = SplitDatabaseLocation(fibDatabase_->DBName());
    service.SetServerName(location.server);
    service.DatabaseName = location.path;
    service.SetParams(ServiceUserParams());

    ServiceSessionGuard session(service);
    service.Attach();

    MarkLabelRunning(ui->LabelPageBuffers);
    service.SetPageBuffers(ui->SpinEditPageBuffers->Value());
    MarkLabelDone(ui->LabelPageBuffers);

    MarkLabelRunning(ui->LabelSweep);
    service.SetSweepInterval(ui->SpinEditSweep->Value());
    MarkLabelDone(ui->LabelSweep);

    MarkLabelRunning(ui->LabelReserve);
    service.SetReserveSpace(ItemIndex(ui->ComboBoxUseReserve) == 1);
    MarkLabelDone(ui->LabelReserve);

    MarkLabelRunning(ui->LabelWrite);
    service.SetAsyncMode(ItemIndex(ui->ComboBoxWriteMode) == 1);
    MarkLabelDone(ui->LabelWrite);

    service.Detach();
}

} // namespace morvane
