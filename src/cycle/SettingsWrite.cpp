#include "cycle/SettingsWrite.h"

#include "session/DatabaseLocation.h"
#include "session/SessionGuards.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/pFIBDatabase.h"

namespace morvane {

TStringList ServiceUserParams(const std::string& user, const std::string& password)
{
    TStringList params;
    params.Add("user_name=" + user);
    params.Add("password=" + password);
    return params;
}

void NameDatabase(fib::TpFIBDatabase& database, const std::string& connection)
{
    if (database.DBName() != connection)
        database.SetDBName(connection);
}

void WriteDatabaseSettings(fib::TpFIBConfigService& service, const std::string& connection,
                           const TStringList& userParams, const DatabaseSettings& settings,
                           const std::function<void(SettingItem, bool done)>& mark)
{
    const DatabaseLocation location = SplitDatabaseLocation(connection);
    service.SetServerName(location.server);
    service.DatabaseName = location.path;
    service.SetParams(userParams);

    ServiceSessionGuard session(service);
    service.Attach();

    mark(SettingItem::PageBuffers, false);
    service.SetPageBuffers(settings.pageBuffers);
    mark(SettingItem::PageBuffers, true);

    mark(SettingItem::SweepInterval, false);
    service.SetSweepInterval(settings.sweepInterval);
    mark(SettingItem::SweepInterval, true);

    mark(SettingItem::Reserve, false);
    service.SetReserveSpace(settings.useReserve);
    mark(SettingItem::Reserve, true);

    mark(SettingItem::WriteMode, false);
    service.SetAsyncMode(settings.asyncWrites);
    mark(SettingItem::WriteMode, true);

    service.Detach();
}

} // namespace morvane
