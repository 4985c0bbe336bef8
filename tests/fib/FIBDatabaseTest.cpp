#include "fib/FIBQuery.h"
#include "fib/fib.h"
#include "fib/pFIBDatabase.h"
#include "fib/pFIBProps.h"
#include "support/DbCommandTables.h"
#include "support/FirebirdServer.h"
#include "support/FreshDatabase.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace morvane;
using namespace morvane::fib;
using namespace morvane::test;

namespace {

// A database component set up as the site's: SYSDBA with the site password.
void SetUpSysdba(TFIBDatabase& database, const std::string& connectionString)
{
    database.SetDBName(connectionString);
    database.ConnectParams().SetUserName(SysdbaUser);
    database.ConnectParams().SetPassword(SysdbaPassword);
}

// The value isql prints for a one-value select.
std::string SelectOne(const FreshDatabase& fresh, const std::string& connection, const std::string& select)
{
    const auto lines = OutputLines(fresh.SqlOn(connection, "SET HEADING OFF;\n" + select + ";"));
    for (const auto& line : lines)
        if (!line.empty())
            return line.substr(line.find_first_not_of(' '));
    return {};
}

} // namespace

TEST(FIBDatabase, InformationItemsReadBackWhatTheServerAndGfixSet)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    const std::string connection = CreateDatabaseWithPageSize(fresh, "pages.fdb", 4096);
    RunGfix({"-housekeeping", "12345"}, connection);
    RunGfix({"-use", "full"}, connection);
    RunGfix({"-write", "async"}, connection);

    TpFIBDatabase database;
    SetUpSysdba(database, connection);
    database.SetConnected(true);
    ASSERT_TRUE(database.Connected());
    EXPECT_GT(database.AttachmentId(), 0);
    EXPECT_EQ(database.SQLDialect(), 3);
    EXPECT_EQ(database.GetDatabaseInfoInt(isc_info_page_size_item), 4096);
    EXPECT_EQ(database.GetDatabaseInfoInt(isc_info_sweep_interval_item), 12345);
    EXPECT_EQ(database.GetDatabaseInfoInt(isc_info_no_reserve_item), 1);
    EXPECT_EQ(database.GetDatabaseInfoInt(isc_info_forced_writes_item), 0);
    const int buffers = database.GetDatabaseInfoInt(isc_info_num_buffers_item);
    EXPECT_EQ(std::to_string(buffers), SelectOne(fresh, connection, "SELECT MON$PAGE_BUFFERS FROM MON$DATABASE"));
    database.Close();
    EXPECT_FALSE(database.Connected());
    EXPECT_EQ(database.AttachmentId(), -1);

    // Set back and read again: the items follow the server, not a cached value.
    RunGfix({"-use", "reserve"}, connection);
    RunGfix({"-write", "sync"}, connection);
    database.SetConnected(true);
    EXPECT_EQ(database.GetDatabaseInfoInt(isc_info_no_reserve_item), 0);
    EXPECT_EQ(database.GetDatabaseInfoInt(isc_info_forced_writes_item), 1);
}

TEST(FIBDatabase, InformationOnADetachedDatabaseIsTheClientsRefusal)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    TpFIBDatabase database;
    EXPECT_THROW(database.GetDatabaseInfoInt(isc_info_page_size_item), EFIBInterBaseError);
}

TEST(FIBDatabase, AttachedUsersListsOneNamePerAttachment)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    TpFIBDatabase first;
    TpFIBDatabase second;
    SetUpSysdba(first, fresh.ConnectionString());
    SetUpSysdba(second, fresh.ConnectionString());
    first.SetConnected(true);
    EXPECT_EQ(first.AttachedUsers(), TStringList{"SYSDBA"});
    second.SetConnected(true);
    EXPECT_NE(first.AttachmentId(), second.AttachmentId());
    EXPECT_EQ(first.AttachedUsers(), (TStringList{"SYSDBA", "SYSDBA"}));
    second.Close();
    EXPECT_EQ(first.AttachedUsers(), TStringList{"SYSDBA"});
}

TEST(FIBDatabase, FailedAttachLeavesTheComponentDetachedWithTheServersError)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    TpFIBDatabase database;
    database.SetName("DatabaseForSecurity");
    SetUpSysdba(database, fresh.ConnectionString());
    database.ConnectParams().SetPassword("wrong");
    try {
        database.SetConnected(true);
        FAIL() << "attached with a wrong password";
    } catch (const EFIBInterBaseError& e) {
        EXPECT_EQ(e.ServerErrorCode(), 335544472);
        EXPECT_EQ(e.Message().rfind("DatabaseForSecurity:\r\n", 0), 0u) << e.Message();
    }
    EXPECT_FALSE(database.Connected());
    database.ConnectParams().SetPassword(SysdbaPassword);
    database.SetConnected(true); // the DPB is rebuilt from the changed lines
    EXPECT_TRUE(database.Connected());
    EXPECT_THROW(database.SetDBName("other"), EFIBClientError);
}

TEST(FIBDatabase, ProfileUserAfterTheDesignTimeSysdbaLinesIsTheOneAttached)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    ServerUser user(fresh, UniqueUserName("PROFILE"), "pw");
    TpFIBDatabase database;
    database.SetDBName(fresh.ConnectionString());
    // The window's design-time lines, then a connection profile's own.
    for (const std::string& line : {"password=" + std::string(SysdbaPassword), std::string("user_name=") + SysdbaUser,
                                   "user_name=" + user.Name(), std::string("password=pw")})
        database.DBParams().Add(line);
    database.SetConnected(true);

    TpFIBTransaction transaction;
    transaction.SetDefaultDatabase(&database);
    transaction.StartTransaction();
    TFIBQuery query(nullptr);
    query.SetDatabase(&database);
    query.SetTransaction(&transaction);
    query.SetSQLText("select current_user from RDB$DATABASE");
    query.Execute();
    EXPECT_EQ(query.Column(0).AsText(), user.Name());
}

TEST(FIBDatabase, CloseEndsActiveTransactionsWithTheirAction)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    CreateCommandTables(fresh);
    TpFIBDatabase database;
    SetUpSysdba(database, fresh.ConnectionString());
    database.SetConnected(true);

    TpFIBTransaction committing;
    committing.SetDefaultDatabase(&database);
    committing.TimeoutAction = TTransactionAction::TACommitRetaining;
    committing.StartTransaction();
    committing.ExecuteImmediate("insert into Glb5020 (ID_GLB5020, TODO, COMMANDE) values (1, 'O', 'Close')");
    TpFIBTransaction rollingBack;
    rollingBack.SetDefaultDatabase(&database);
    rollingBack.TimeoutAction = TTransactionAction::TARollback;
    rollingBack.StartTransaction();
    rollingBack.ExecuteImmediate("insert into Glb5020Resultat (ID, id_glb5020) values (1, 1)");

    database.Close();
    EXPECT_FALSE(database.Connected());
    EXPECT_FALSE(committing.Active());
    EXPECT_FALSE(rollingBack.Active());
    EXPECT_EQ(SelectOne(fresh, fresh.ConnectionString(), "select count(*) from Glb5020"), "1");
    EXPECT_EQ(SelectOne(fresh, fresh.ConnectionString(), "select count(*) from Glb5020Resultat"), "0");
}

TEST(FIBTransaction, ExecuteImmediateCommitAndRollback)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    CreateCommandTables(fresh);
    TpFIBDatabase database;
    SetUpSysdba(database, fresh.ConnectionString());
    database.SetConnected(true);

    TpFIBTransaction transaction;
    transaction.SetDefaultDatabase(&database);
    transaction.TPBMode = TTPBMode::tpbDefault; // empty lines: the server's default transaction
    transaction.StartTransaction();
    EXPECT_TRUE(transaction.Active());
    transaction.ExecuteImmediate("insert into Glb5020 (ID_GLB5020, TODO, COMMANDE) values (5, 'O', 'Close')");
    transaction.Rollback();
    EXPECT_FALSE(transaction.Active());

    transaction.TPBMode = TTPBMode::tpbReadCommitted;
    transaction.StartTransaction();
    EXPECT_EQ(transaction.TRParams(), (TStringList{"write", "isc_tpb_nowait", "read_committed", "rec_version"}));
    transaction.ExecuteImmediate("insert into Glb5020 (ID_GLB5020, TODO, COMMANDE) values (6, 'O', 'Close')");
    EXPECT_THROW(transaction.ExecuteImmediate("insert into NoSuchTable values (1)"), EFIBInterBaseError);
    EXPECT_TRUE(transaction.Active());
    transaction.Commit();
    EXPECT_EQ(SelectOne(fresh, fresh.ConnectionString(), "select cast(list(ID_GLB5020) as varchar(100)) from Glb5020"), "6");

    transaction.TPBMode = TTPBMode::tpbDefault;
    transaction.TRParams() = TStringList{"write", "autocommit"};
    try {
        transaction.StartTransaction();
        FAIL();
    } catch (const EFIBClientError& e) {
        EXPECT_EQ(e.Message(), "TPB Constant (isc_tpb_autocommit) is unsupported.");
    }
    EXPECT_FALSE(transaction.Active());
}

TEST(FIBDatabase, DialectOneDatabaseLowersTheDialectAndStillMeasuresServerTime)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    const std::string connection = CreateDatabaseWithPageSize(fresh, "dialect1.fdb", 8192, 1);
    TpFIBDatabase database;
    SetUpSysdba(database, connection);
    database.SetConnected(true); // runs the dialect-1 time query (CAST('NOW' AS DATE))
    EXPECT_EQ(database.SQLDialect(), 1);
    EXPECT_THROW(database.SetSQLDialect(3), EFIBClientError);
    // Server and program share this machine's clock: the offset is at most a moment.
    EXPECT_LT(std::abs(database.ServerTimeOffset()), 60.0 / 86400.0);
    database.Close();
    database.SetSQLDialect(3); // detached, any positive dialect is accepted
}
