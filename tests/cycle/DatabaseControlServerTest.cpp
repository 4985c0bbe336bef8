// What the cycle asks of the server about a database, against the real server: here
// whether a path still leads to a database, which decides when a file moved away
// from its path may be opened again.

#include "cycle/DatabaseControl.h"
#include "cycle/SettingsWrite.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/pFIBDatabase.h"
#include "support/DbCommandTables.h"
#include "support/FirebirdServer.h"
#include "support/FreshDatabase.h"

#include <chrono>
#include <cstdio>

namespace morvane::test {
namespace {

using namespace std::chrono_literals;

TEST(DatabaseControlServer, AMovedDatabaseIsReachedByItsOldPathOnlyWhileTheServerHoldsItOpenThere)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    const std::string moved = fresh.Path() + ".moved";
    const std::string movedConnection = std::string(ServerHost) + ":" + moved;
    fib::TpFIBConfigService config;
    fib::TpFIBStatisticalService statistics;
    fib::TpFIBDatabase credentials;
    credentials.ConnectParams().SetUserName(SysdbaUser);
    credentials.ConnectParams().SetPassword(SysdbaPassword);
    TDatabaseControl control(config, statistics, ServiceUserParams(SysdbaUser, SysdbaPassword),
                             credentials.DBParams(), 3);

    // At its path, online or shut down: reached, let in or refused.
    EXPECT_TRUE(control.ReachesDatabase(fresh.ConnectionString()));
    RunGfix({"-shut", "full", "-force", "0"}, fresh.ConnectionString());
    EXPECT_TRUE(control.ReachesDatabase(fresh.ConnectionString()));
    RunGfix({"-online", "normal"}, fresh.ConnectionString());
    EXPECT_FALSE(control.ReachesDatabase(movedConnection)) << "nothing there yet";
    EXPECT_EQ(control.WaitUntilUnreached(movedConnection, 50ms, 30s).count(), 0)
        << "no wait for a path that leads nowhere";

    // Moved while an attachment holds it open: the old path still leads to it.
    fib::TpFIBDatabase holder;
    holder.SetDBName(fresh.ConnectionString());
    holder.ConnectParams().SetUserName(SysdbaUser);
    holder.ConnectParams().SetPassword(SysdbaPassword);
    holder.SetConnected(true);
    ASSERT_EQ(std::rename(fresh.Path().c_str(), moved.c_str()), 0);
    EXPECT_TRUE(control.ReachesDatabase(fresh.ConnectionString()));

    // Let go, the server closes it in its own time: from then on the old path leads
    // nowhere, and the moved file is reached where it is.
    holder.SetConnected(false);
    control.WaitUntilUnreached(fresh.ConnectionString(), 50ms, 30s);
    EXPECT_FALSE(control.ReachesDatabase(fresh.ConnectionString()));
    EXPECT_TRUE(control.ReachesDatabase(movedConnection));
    std::rename(moved.c_str(), fresh.Path().c_str());
}

} // namespace
} // namespace morvane::test
