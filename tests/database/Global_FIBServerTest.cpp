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

void SetUpSysdba(TpFIBDatabase& database, const std::string& connectionString, const std::string& password)
{
    database.SetDBName(connectionString);
    database.ConnectParams().SetUserName(SysdbaUser);
    database.ConnectParams().SetPassword(password);
}

// The server's own error for an attach, taken from a plain component.
EFIBInterBaseError AttachError(const std::string& connectionString, const std::string& password)
{
    TpFIBDatabase database;
    SetUpSysdba(database, connectionString, password);
    try {
        database.SetConnected(true);
    } catch (const EFIBInterBaseError& e) {
        return e;
    }
    throw std::runtime_error("the attach succeeded");
}

std::string ConnectMessage(const std::string& connectionString, const std::string& password)
{
    TpFIBDatabase database;
    SetUpSysdba(database, connectionString, password);
    const TDBParams before = database.DBParams();
    try {
        GlobalFIB().ConnectDatabase(database, false);
    } catch (const Exception& e) {
        EXPECT_EQ(e.ClassName(), "Exception");
        EXPECT_FALSE(database.Connected());
        EXPECT_EQ(database.DBParams(), before);
        return e.Message();
    }
    ADD_FAILURE() << "attached to " << connectionString;
    return {};
}

const std::string Separator = "\r-----------------------------\r";

} // namespace

TEST(GlobalFIBServer, ConnectDatabaseExplainsEachRefusalInFrench)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    const std::string missing = std::string(ServerHost) + ":" + fresh.Folder().File("missing.fdb");
    const EFIBInterBaseError ioError = AttachError(missing, SysdbaPassword);
    EXPECT_EQ(ioError.ServerErrorCode(), 335544344);
    EXPECT_EQ(ConnectMessage(missing, SysdbaPassword),
              "Le chemin de la base de données est erroné" + Separator + ioError.ServerMessage());

    const EFIBInterBaseError login = AttachError(fresh.ConnectionString(), "wrong");
    EXPECT_EQ(login.ServerErrorCode(), 335544472);
    EXPECT_EQ(ConnectMessage(fresh.ConnectionString(), "wrong"), "EFIBInterBaseError" + Separator + login.Message());

    const std::string noServer = std::string(ServerHost) + "/1:" + fresh.Path(); // nothing listens on port 1
    const EFIBInterBaseError network = AttachError(noServer, SysdbaPassword);
    EXPECT_EQ(network.ServerErrorCode(), 335544721);
    EXPECT_EQ(ConnectMessage(noServer, SysdbaPassword),
              "L'adresse du serveur de base de données est erronée" + Separator + network.ServerMessage());
}

TEST(GlobalFIBServer, ConnectDatabaseAttachesAndLeavesAnAttachedComponentAlone)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    TpFIBDatabase database;
    SetUpSysdba(database, fresh.ConnectionString(), SysdbaPassword);
    GlobalFIB().ConnectDatabase(database, false);
    ASSERT_TRUE(database.Connected());
    const int attachment = database.AttachmentId();
    GlobalFIB().ConnectDatabase(database, false);
    EXPECT_EQ(database.AttachmentId(), attachment);

    // A check of the layer itself is shown with its class name.
    TpFIBDatabase unnamed;
    try {
        GlobalFIB().ConnectDatabase(unnamed, false);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "EFIBClientError" + Separator + "Database name is missing.");
    }
}

// The request cycle of the disconnection protocol, through the helpers.
TEST(GlobalFIBServer, CommandTableRequestThroughAQueryWithItsOwnTransaction)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    CreateCommandTables(fresh);
    fresh.Sql("SET GENERATOR GEN_ID_GLB5020 TO 16;\ninsert into Glb5020Resultat (ID, id_glb5020) values (1, 17);\ncommit;");
    TpFIBDatabase database;
    SetUpSysdba(database, fresh.ConnectionString(), SysdbaPassword);
    GlobalFIB().ConnectDatabase(database, false);

    auto query = GlobalFIB().NewQuery(database, false, "", true);
    TpFIBTransaction& transaction = static_cast<TpFIBTransaction&>(*query->Transaction());
    query->SetSQLText("Select gen_id(GEN_ID_GLB5020,1) from RDB$DATABASE");
    transaction.StartTransaction();
    query->Execute();
    const int request = query->Column(0).AsInteger();
    EXPECT_EQ(request, 17);
    query->Close();
    query->SetSQLText("Insert into Glb5020(ID_GLB5020, TODO, COMMANDE) VALUES (" + std::to_string(request) +
                      ", 'O', 'Terminate')");
    query->Execute();
    query->Close();
    transaction.Commit();

    query->SetSQLText("Select count(*) from Glb5020Resultat where id_glb5020=" + std::to_string(request));
    transaction.StartTransaction();
    query->Execute();
    EXPECT_EQ(query->Column(0).AsText(), "1");
    query->Close();
    transaction.Commit();

    transaction.StartTransaction();
    query->SetSQLText("update Glb5020 set todo='N' where ID_GLB5020=" + std::to_string(request));
    query->Execute();
    query->Close();
    transaction.Commit();
    query.reset();
    database.Close();

    const std::string rows = fresh.Sql("SET HEADING OFF;\nselect ID_GLB5020 || TODO || COMMANDE from Glb5020;");
    EXPECT_NE(rows.find("17NTerminate"), std::string::npos) << rows;
}
