#include "fib/IB_ServicesProperties.h"

#include "fib/fib.h"

namespace morvane::fib {

void TpFIBStatisticalService::BuildStartBuffer()
{
    ServiceBuffer buffer = BuildStatisticsStart(DatabaseName, Options, TableNames);
    BeginRequest(11);
    StartBuffer() = std::move(buffer);
}

void TpFIBConfigService::ServiceStart()
{
    RaiseClientError(fibUseSpecificProcedures);
}

void TpFIBConfigService::Send(ServiceBuffer request)
{
    StartBuffer() = std::move(request);
    SendStart();
    // The server runs the change after answering the start: wait for its end, so the
    // next setting on this session does not find the service busy and a refusal
    // comes back from this call rather than being lost.
    for (;;) {
        QueryItems() = {62}; // isc_info_svc_line
        SendQuery();
        if (DecodeServiceLine(OutputBuffer()).End)
            break;
    }
}

void TpFIBConfigService::SetPageBuffers(std::int32_t pageBuffers)
{
    Send(BuildSetPageBuffers(DatabaseName, pageBuffers));
}

void TpFIBConfigService::SetSweepInterval(std::int32_t sweepInterval)
{
    Send(BuildSetSweepInterval(DatabaseName, sweepInterval));
}

void TpFIBConfigService::SetReserveSpace(bool reserve)
{
    Send(BuildSetReserveSpace(DatabaseName, reserve));
}

void TpFIBConfigService::SetAsyncMode(bool async)
{
    Send(BuildSetAsyncMode(DatabaseName, async));
}

void TpFIBConfigService::SetReadOnly(bool readOnly)
{
    Send(BuildSetReadOnly(DatabaseName, readOnly));
}

void TpFIBConfigService::Shutdown(TShutdownMode mode, TShutdownWait wait, std::int32_t seconds)
{
    Send(BuildShutdown(DatabaseName, mode, wait, seconds));
}

void TpFIBConfigService::BringOnline(TShutdownMode mode) { Send(BuildOnline(DatabaseName, mode)); }

void TpFIBServerProperties::Fetch()
{
    QueryItems().assign(ConfigQueryItems.begin(), ConfigQueryItems.end());
    SendQuery();
    DecodeConfigReply(OutputBuffer(), configParams_);
}

void TpFIBServerProperties::FetchDatabaseInfo()
{
    QueryItems().assign(DatabaseInfoQueryItems.begin(), DatabaseInfoQueryItems.end());
    SendQuery();
    DecodeDatabaseInfoReply(OutputBuffer(), databaseInfo_);
}

} // namespace morvane::fib
