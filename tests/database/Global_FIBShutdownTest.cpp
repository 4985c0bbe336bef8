#include "fib/fib.h"
#include "database/Global_FIB.h"
#include "support/DbCommandTables.h"
#include "support/FirebirdServer.h"
#include "support/FreshDatabase.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::fib;
using namespace morvane::test;

namespace {

const std::string Separator = "\r-----------------------------\r";

void SetUpSysdba(TpFIBDatabase& database, const std::string& connectionString)
{
    database.SetDBName(connectionString);
    database.ConnectParams().SetUserName(SysdbaUser);
    database.ConnectParams().SetPassword(SysdbaPassword);
}

} // namespace

TEST(GlobalFIBServer, ConnectDatabaseReportsADatabaseShutDownByGfix)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    RunGfix({"-shut", "full", "-force", "0"}, fresh.ConnectionString());

    TpFIBDatabase plain;
    SetUpSysdba(plain, fresh.ConnectionString());
    std::string serverMessage;
    try {
        plain.SetConnected(true);
        FAIL() << "attached to a database shut down";
    } catch (const EFIBInterBaseError& e) {
        EXPECT_EQ(e.ServerErrorCode(), 335544528);
        serverMessage = e.ServerMessage();
    }

    TpFIBDatabase database;
    SetUpSysdba(database, fresh.ConnectionString());
    try {
        GlobalFIB().ConnectDatabase(database, false);
        FAIL() << "attached to a database shut down";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "La base de données n'est pas actuellement en ligne.  Veuillez contacter Calvenor." +
                                   Separator + serverMessage);
    }
    EXPECT_FALSE(database.Connected());
    RunGfix({"-online", "normal"}, fresh.ConnectionString());
}
