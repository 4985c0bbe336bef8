#include "fib/fib.h"
#include "fib/pFIBDatabase.h"
#include "fib/pFIBProps.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::fib;

// Checks the components make before any client call: no server needed.
TEST(ConnectParams, ReadsAndWritesTheParameterLinesByWholeName)
{
    TDBParams params{"lc_ctype=ISO8859_1", "password_enc=xyz", "Isc_Dpb_User_Name=JD"};
    TConnectParams connect(params);
    EXPECT_EQ(connect.UserName(), "JD");
    EXPECT_EQ(connect.Password(), "") << "password_enc is not the password";
    EXPECT_EQ(connect.CharSet(), "ISO8859_1");

    connect.SetPassword("a=b");
    connect.SetUserName("SYSDBA");
    connect.SetCharSet("utf8");
    connect.SetRoleName("role_administrateur");
    EXPECT_EQ(params, (TDBParams{"lc_ctype=UTF8", "password_enc=xyz", "user_name=SYSDBA", "password=a=b",
                                 "sql_role_name=role_administrateur"}));
    EXPECT_EQ(connect.Password(), "a=b");
    connect.SetRoleName("");
    connect.SetPassword("");
    EXPECT_EQ(params, (TDBParams{"lc_ctype=UTF8", "password_enc=xyz", "user_name=SYSDBA"}));
}

TEST(FIBDatabase, DefaultsAndChecksBeforeAttaching)
{
    TpFIBDatabase database;
    EXPECT_EQ(database.DBParams(), TDBParams{"lc_ctype=ISO8859_1"});
    EXPECT_EQ(database.SQLDialect(), 3);
    EXPECT_EQ(database.LibraryName(), DefaultClientLibraryName);
    EXPECT_FALSE(database.Connected());
    EXPECT_EQ(database.AttachmentId(), -1);

    try {
        database.SetConnected(true);
        FAIL() << "attached without a name";
    } catch (const EFIBClientError& e) {
        EXPECT_EQ(e.SqlCode(), 14);
        EXPECT_EQ(e.Message(), "Database name is missing.");
    }
    try {
        database.SetSQLDialect(0);
        FAIL();
    } catch (const EFIBClientError& e) {
        EXPECT_EQ(e.Message(), "SQL Dialect invalid");
    }

    TpFIBTransaction transaction;
    transaction.SetName("T1");
    try {
        transaction.StartTransaction();
        FAIL();
    } catch (const EFIBClientError& e) {
        EXPECT_EQ(e.Message(), "T1 :No databases are listed in transaction component.");
    }
    database.SetName("DB1");
    transaction.SetDefaultDatabase(&database);
    try {
        transaction.StartTransaction();
        FAIL();
    } catch (const EFIBClientError& e) {
        EXPECT_EQ(e.Message(), "DB1: Cannot perform operation -- DB is not open.");
    }
    try {
        transaction.Commit();
        FAIL();
    } catch (const EFIBClientError& e) {
        EXPECT_EQ(e.Message(), "T1 :Transaction is not active.");
    }
}
