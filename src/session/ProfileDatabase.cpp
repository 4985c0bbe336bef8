#include "session/ProfileDatabase.h"

#include "database/Global_FIB.h"
#include "fib/pFIBDatabase.h"
#include "fib/pFIBProps.h"

namespace morvane {

std::optional<ProfileDatabase> ReadProfileDatabase(const std::string& profileName) noexcept
{
    try {
        fib::TpFIBDatabase database(nullptr);
        database.DBParams().SetText(DesignTimeDatabaseParams);
        GlobalFIB().LoadConnectionProfile(database, profileName);
        const fib::TConnectParams params(database.DBParams());
        return ProfileDatabase{database.DBName(), {params.UserName(), params.Password()}};
    } catch (const std::exception&) {
        // The window reads the profile again and shows the reason to the operator.
        return std::nullopt;
    }
}

} // namespace morvane
