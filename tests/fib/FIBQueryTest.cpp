#include "fib/fib.h"
#include "fib/pFIBDatabase.h"
#include "fib/pFIBQuery.h"
#include "support/DbCommandTables.h"
#include "support/FirebirdServer.h"
#include "support/FreshDatabase.h"

#include "fib/ClientErrorNumber.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace morvane;
using namespace morvane::fib;
using namespace morvane::test;

namespace {

using morvane::test::ClientErrorNumber;

// A database with the command tables, attached as SYSDBA, and a query on it.
class FIBQueryServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        MORVANE_REQUIRE_FIREBIRD_SERVER();
        fresh_ = std::make_unique<FreshDatabase>();
        CreateCommandTables(*fresh_);
        database_.SetName("Db");
        database_.SetDBName(fresh_->ConnectionString());
        database_.ConnectParams().SetUserName(SysdbaUser);
        database_.ConnectParams().SetPassword(SysdbaPassword);
        database_.SetConnected(true);
        transaction_.SetDefaultDatabase(&database_);
        transaction_.TPBMode = TTPBMode::tpbDefault;
        transaction_.TRParams() = TStringList{"write", "nowait", "rec_version", "read_committed"};
        query_.SetName("Query");
        query_.SetDatabase(&database_);
        query_.SetTransaction(&transaction_);
    }

    std::unique_ptr<FreshDatabase> fresh_;
    TpFIBDatabase database_;
    TpFIBTransaction transaction_;
    TpFIBQuery query_;
};

} // namespace

TEST_F(FIBQueryServer, CommandTableStatementsEachCommitted)
{
    query_.SetSQLText("Select gen_id(GEN_ID_GLB5020,1) from RDB$DATABASE");
    transaction_.StartTransaction();
    query_.Execute();
    EXPECT_EQ(query_.StatementType(), SQLSelect);
    const int request = query_.Column(0).AsInteger();
    EXPECT_EQ(request, 1);
    query_.Close();
    EXPECT_TRUE(transaction_.Active());

    query_.SetSQLText("Insert into Glb5020(ID_GLB5020, TODO, COMMANDE) VALUES (" + std::to_string(request) +
                      ", 'O', 'Close')");
    query_.Execute();
    EXPECT_EQ(query_.StatementType(), SQLInsert);
    query_.Close();
    transaction_.Commit();

    fresh_->Sql("insert into Glb5020Resultat (ID, id_glb5020, POSTE) values (1, 1, 'P1');\n"
                "insert into Glb5020Resultat (ID, id_glb5020, POSTE) values (2, 1, 'P2');\ncommit;");
    query_.SetSQLText("Select count(*) from Glb5020Resultat where id_glb5020=" + std::to_string(request));
    transaction_.StartTransaction();
    query_.Execute();
    EXPECT_EQ(query_.Column(0).AsText(), "2");
    query_.Close();
    transaction_.Commit();

    transaction_.StartTransaction();
    query_.SetSQLText("update Glb5020 set todo='N' where ID_GLB5020=" + std::to_string(request));
    query_.Execute();
    EXPECT_EQ(query_.StatementType(), SQLUpdate);
    query_.Close();
    transaction_.Commit();

    const std::string rows = fresh_->Sql("SET HEADING OFF;\nselect ID_GLB5020 || TODO || COMMANDE from Glb5020;");
    EXPECT_NE(rows.find("1NClose"), std::string::npos) << rows;
    query_.SetSQLText("Select gen_id(GEN_ID_GLB5020,0) from RDB$DATABASE");
    transaction_.StartTransaction();
    query_.Execute();
    EXPECT_EQ(query_.Column(0).AsInteger(), 1) << "the generator read was committed";
    query_.Close();
    transaction_.Commit();
}

TEST_F(FIBQueryServer, ColumnsConvertToIntegerAndText)
{
    transaction_.StartTransaction();
    query_.SetSQLText("select cast(12.345 as numeric(9,2)), cast(-7.5 as numeric(5,1)), cast(4294967297 as bigint), "
                      "cast(3.9 as double precision), '42', cast('17  ' as char(6)), cast(null as integer), "
                      "cast(-12 as smallint), 'abc', cast(-0.05 as numeric(9,2)) from RDB$DATABASE");
    query_.Execute();
    ASSERT_EQ(query_.ColumnCount(), 10);
    struct Case { int column; std::int32_t integer; const char* text; };
    const Case cases[] = {
        {0, 12, "12.35"}, {1, -7, "-7.5"}, {2, 1, "4294967297"}, {3, 3, "3.9"}, {4, 42, "42"},
        {5, 17, "17    "}, {6, 0, ""}, {7, -12, "-12"}, {9, 0, "-0.05"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        EXPECT_EQ(query_.Column(c.column).AsInteger(), c.integer);
        EXPECT_EQ(query_.Column(c.column).AsText(), c.text);
    }
    EXPECT_EQ(ClientErrorNumber([&] { (void)query_.Column(8).AsInteger(); }), 33);
    EXPECT_EQ(query_.Column(8).AsText(), "abc");
}

TEST_F(FIBQueryServer, ColumnOutOfRangeRaisesError41)
{
    transaction_.StartTransaction();
    query_.SetSQLText("select 1 from RDB$DATABASE");
    query_.Execute();
    std::string message;
    EXPECT_EQ(ClientErrorNumber([&] { (void)query_.Column(5); }, &message), 41);
    EXPECT_EQ(message, "Field \"Field No: 5\" not found.");
    EXPECT_EQ(ClientErrorNumber([&] { (void)query_.Column(-1); }), 41);
}

TEST_F(FIBQueryServer, EmptyResultIsOpenAtEndAndReadsAsNothing)
{
    transaction_.StartTransaction();
    query_.SetSQLText("select ID_GLB5020, COMMANDE from Glb5020");
    query_.Execute();
    EXPECT_TRUE(query_.Open());
    EXPECT_TRUE(query_.AtEnd());
    EXPECT_EQ(query_.Column(0).AsInteger(), 0);
    EXPECT_EQ(query_.Column(1).AsText(), "");
}

TEST_F(FIBQueryServer, StateChecksRaiseTheirNumberedErrors)
{
    transaction_.StartTransaction();
    query_.SetSQLText("select 1 from RDB$DATABASE");
    query_.Execute();
    std::string message;
    EXPECT_EQ(ClientErrorNumber([&] { query_.SetSQLText("select 2 from RDB$DATABASE"); }, &message), 28);
    EXPECT_EQ(message, "Can't change sql text because Query dataset open.");
    query_.Close();
    EXPECT_TRUE(query_.Prepared()) << "closing keeps the statement prepared";
    query_.SetSQLText("select 2 from RDB$DATABASE");
    EXPECT_FALSE(query_.Prepared());

    EXPECT_EQ(ClientErrorNumber([&] { query_.Next(); }, &message), 29);
    EXPECT_EQ(message, "Can't fetch next record because Query dataset closed.");

    query_.SetSQLText("   \r\n  ");
    EXPECT_EQ(ClientErrorNumber([&] { query_.Execute(); }, &message), 37);
    EXPECT_EQ(message, "Can't Prepare , because  query is empty");

    TpFIBQuery orphan;
    orphan.SetName("Orphan");
    orphan.SetDatabase(&database_);
    orphan.SetSQLText("select 1 from RDB$DATABASE");
    EXPECT_EQ(ClientErrorNumber([&] { orphan.Execute(); }, &message), 22);
    EXPECT_EQ(message, "Transaction not assigned for Orphan.");
}

TEST_F(FIBQueryServer, ServerErrorsNameTheQueryAndLeaveNoStatement)
{
    transaction_.StartTransaction();
    query_.SetSQLText("select * from NoSuchTable");
    try {
        query_.Execute();
        FAIL();
    } catch (const EFIBInterBaseError& e) {
        EXPECT_EQ(e.Message().rfind("Query:\r\n", 0), 0u) << e.Message();
    }
    EXPECT_FALSE(query_.Prepared());
    // Rows are fetched one at a time until the end.
    query_.SetSQLText("select RDB$RELATION_ID from RDB$RELATIONS where RDB$RELATION_ID < 3 order by 1");
    query_.Execute();
    std::vector<int> ids;
    while (!query_.AtEnd()) {
        ids.push_back(query_.Column(0).AsInteger());
        query_.Next();
    }
    EXPECT_EQ(ids, (std::vector<int>{0, 1, 2}));
}

TEST_F(FIBQueryServer, DetachClosesTheQueriesOfTheDatabase)
{
    transaction_.StartTransaction();
    query_.SetSQLText("select 1 from RDB$DATABASE");
    query_.Execute();
    database_.Close();
    EXPECT_FALSE(query_.Open());
    EXPECT_FALSE(transaction_.Active());
    database_.SetConnected(true);
    transaction_.StartTransaction();
    query_.Execute(); // prepared again on the new attachment
    EXPECT_EQ(query_.Column(0).AsInteger(), 1);
}

TEST(FIBQuerySqlda, VaryingLengthIsBoundedByItsBuffer)
{
    // A length word beyond the column's buffer must not read past it.
    alignas(8) char data[2 + 4] = {};
    const std::uint16_t length = 60000;
    std::memcpy(data, &length, 2);
    std::memcpy(data + 2, "abcd", 4);
    XSQLVAR var{};
    var.sqltype = SQL_VARYING;
    var.sqllen = 4;
    var.sqldata = data;
    EXPECT_EQ(ColumnAsText(var, true), "abcd");
    EXPECT_EQ(ColumnAsText(var, false), "");
    var.sqltype = SQL_BLOB;
    EXPECT_THROW(ColumnAsText(var, true), EFIBClientError);
}

TEST_F(FIBQueryServer, FailedFetchClosesTheQueryBeforeRaising)
{
    transaction_.StartTransaction();
    query_.SetSQLText("select 1 / (RDB$RELATION_ID - RDB$RELATION_ID) from RDB$RELATIONS");
    EXPECT_THROW(query_.Execute(), EFIBInterBaseError); // the division fails at the first fetch
    EXPECT_FALSE(query_.Open());
    query_.SetSQLText("select 1 from RDB$DATABASE"); // closed, so the text may change
    query_.Execute();
    EXPECT_EQ(query_.Column(0).AsInteger(), 1);
}

TEST_F(FIBQueryServer, ExecuteProcedureGivesItsOutputRowAtOnce)
{
    fresh_->Sql("SET TERM ^;\nCREATE PROCEDURE P5 RETURNS (X INTEGER, Y VARCHAR(5)) AS BEGIN X = 5; Y = 'five'; END^\n"
                "SET TERM ;^\nCOMMIT;");
    transaction_.StartTransaction();
    query_.SetSQLText("execute procedure P5");
    query_.Execute();
    EXPECT_EQ(query_.StatementType(), SQLExecProcedure);
    EXPECT_FALSE(query_.Open());
    EXPECT_EQ(query_.Column(0).AsInteger(), 5);
    EXPECT_EQ(query_.Column(1).AsText(), "five");
}
