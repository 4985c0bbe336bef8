#include "cycle/DatabaseControl.h"

#include "core/Text.h"
#include "cycle/CycleContents.h"
#include "cycle/DatabaseLocation.h"
#include "cycle/SessionGuards.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/pFIBDatabase.h"

namespace morvane {

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
    OnConfigService(connection, [&](fib::TpFIBConfigService& config) { config.BringOnline(mode); });
}

std::string TDatabaseControl::Attributes(const std::string& connection)
{
    statistics_.SetParams(userParams_);
    statistics_.SetServerName(SplitDatabaseLocation(connection).server);
    statistics_.DatabaseName = connection;
    std::string attributes;
    ServiceSessionGuard session(statistics_);
    statistics_.Attach();
    statistics_.ServiceStart();
    while (!statistics_.Eof()) {
        const std::string line = Trim(statistics_.GetNextLine());
        if (line.rfind("Attributes", 0) == 0)
            attributes = Trim(line.substr(10));
    }
    statistics_.Detach();
    return attributes;
}

DatabaseFacts TDatabaseControl::Facts(const std::string& connection, const std::string& runUser,
                                      bool forcedDisconnection)
{
    DatabaseFacts facts;
    facts.runUser = runUser;
    facts.forcedDisconnection = forcedDisconnection;
    facts.attributes = Attributes(connection);
    // A database shut down completely cannot be attached to read the rest.
    if (facts.attributes.find("full shutdown") != std::string::npos)
        return facts;
    fib::TpFIBDatabase database(nullptr);
    PrepareOwnAttachment(database, connection, attachParams_, dialect_);
    ReadDatabaseFacts(database, facts);
    return facts;
}

std::vector<std::string> TDatabaseControl::ForeignAttachments(const std::string& connection)
{
    fib::TpFIBDatabase database(nullptr);
    PrepareOwnAttachment(database, connection, attachParams_, dialect_);
    return ReadForeignAttachments(database);
}

} // namespace morvane
