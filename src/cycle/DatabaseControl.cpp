#include "cycle/DatabaseControl.h"

#include "core/Text.h"
#include "cycle/CycleContents.h"
#include "session/DatabaseLocation.h"
#include "session/SessionGuards.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/fib.h"
#include "fib/pFIBDatabase.h"

#include <cstdint>
#include <thread>

namespace morvane {

namespace {
// The server's status for an attachment refused because the database is shut down.
constexpr std::int32_t ShutdownStatus = 335544528;
} // namespace

bool AttributesSayShutDown(const std::string& attributes)
{
    return attributes.find("shutdown") != std::string::npos || attributes.find("maintenance") != std::string::npos;
}

fib::TShutdownMode ShutdownModeOf(const std::string& attributes)
{
    if (attributes.find("full shutdown") != std::string::npos)
        return fib::TShutdownMode::Full;
    if (attributes.find("single-user maintenance") != std::string::npos)
        return fib::TShutdownMode::Single;
    if (attributes.find("multi-user maintenance") != std::string::npos)
        return fib::TShutdownMode::Multi;
    return fib::TShutdownMode::Normal;
}

TDatabaseControl::TDatabaseControl(fib::TpFIBConfigService& config, fib::TpFIBStatisticalService& statistics,
                                   TStringList userParams, fib::TDBParams attachParams, int dialect)
    : config_(config), statistics_(statistics), userParams_(std::move(userParams)),
      attachParams_(std::move(attachParams)), dialect_(dialect)
{
}

void TDatabaseControl::OnConfigService(const std::string& connection,
                                       const std::function<void(fib::TpFIBConfigService&)>& request)
{
    const DatabaseLocation location = SplitDatabaseLocation(connection);
    config_.SetServerName(location.server);
    config_.DatabaseName = location.path;
    config_.SetParams(userParams_);
    ServiceSessionGuard session(config_);
    config_.Attach();
    request(config_);
    config_.Detach();
}

void TDatabaseControl::Shutdown(const std::string& connection, fib::TShutdownMode mode, fib::TShutdownWait wait,
                                int seconds)
{
    OnConfigService(connection, [&](fib::TpFIBConfigService& config) { config.Shutdown(mode, wait, seconds); });
}

void TDatabaseControl::BringOnline(const std::string& connection, fib::TShutdownMode mode)
{
    // The server refuses to bring a database that is online online again.
    if (mode == fib::TShutdownMode::Normal && !AttributesSayShutDown(Attributes(connection)))
        return;
    BringOnlineFromShutdown(connection, mode);
}

void TDatabaseControl::BringOnlineFromShutdown(const std::string& connection, fib::TShutdownMode mode)
{
    OnConfigService(connection, [&](fib::TpFIBConfigService& config) { config.BringOnline(mode); });
}

void TDatabaseControl::SetReadOnly(const std::string& connection, bool readOnly)
{
    OnConfigService(connection, [&](fib::TpFIBConfigService& config) { config.SetReadOnly(readOnly); });
}

std::vector<std::string> ReadHeaderLines(fib::TpFIBStatisticalService& statistics, const TStringList& userParams,
                                         const std::string& connection)
{
    statistics.SetParams(userParams);
    const DatabaseLocation location = SplitDatabaseLocation(connection);
    statistics.SetServerName(location.server);
    statistics.DatabaseName = ServiceDatabaseName(location);
    std::vector<std::string> lines;
    ServiceSessionGuard session(statistics);
    statistics.Attach();
    statistics.ServiceStart();
    while (!statistics.Eof())
        lines.push_back(statistics.GetNextLine());
    statistics.Detach();
    return lines;
}

namespace {

std::string AttributesOf(const std::vector<std::string>& headerLines)
{
    std::string attributes;
    for (const std::string& header : headerLines) {
        const std::string line = Trim(header);
        if (line.rfind("Attributes", 0) == 0)
            attributes = Trim(line.substr(10));
    }
    return attributes;
}

} // namespace

std::string TDatabaseControl::Attributes(const std::string& connection)
{
    return AttributesOf(ReadHeaderLines(statistics_, userParams_, connection));
}

DatabaseFacts TDatabaseControl::Facts(const std::string& connection, const std::string& runUser,
                                      bool forcedDisconnection, RunReportDatabase& settings)
{
    DatabaseFacts facts;
    facts.runUser = runUser;
    facts.forcedDisconnection = forcedDisconnection;
    const std::vector<std::string> header = ReadHeaderLines(statistics_, userParams_, connection);
    facts.attributes = AttributesOf(header);
    settings = ReadHeaderSettings(header);
    // A database shut down completely cannot be attached to read the rest.
    if (facts.attributes.find("full shutdown") != std::string::npos)
        return facts;
    fib::TpFIBDatabase database(nullptr);
    PrepareOwnAttachment(database, connection, attachParams_, dialect_);
    AttachmentGuard attachment(database);
    database.SetConnected(true);
    settings = PreferHeaderValues(settings, ReadAttachedSettings(database));
    ReadDatabaseFacts(database, facts);
    return facts;
}

std::vector<std::string> TDatabaseControl::ForeignAttachments(const std::string& connection)
{
    fib::TpFIBDatabase database(nullptr);
    PrepareOwnAttachment(database, connection, attachParams_, dialect_);
    return ReadForeignAttachments(database);
}

bool TDatabaseControl::ReachesDatabase(const std::string& connection)
{
    fib::TpFIBDatabase database(nullptr);
    PrepareOwnAttachment(database, connection, attachParams_, dialect_);
    try {
        AttachmentGuard attachment(database);
        database.SetConnected(true);
    } catch (const fib::EFIBInterBaseError& error) {
        return error.ServerErrorCode() == ShutdownStatus;
    }
    return true;
}

std::chrono::milliseconds TDatabaseControl::WaitUntilUnreached(const std::string& connection,
                                                               std::chrono::milliseconds interval,
                                                               std::chrono::milliseconds limit)
{
    const auto since = std::chrono::steady_clock::now();
    const auto waited = [since] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since);
    };
    if (!ReachesDatabase(connection))
        return std::chrono::milliseconds(0);
    while (waited() < limit) {
        std::this_thread::sleep_for(interval);
        if (!ReachesDatabase(connection))
            break;
    }
    return waited();
}

} // namespace morvane
