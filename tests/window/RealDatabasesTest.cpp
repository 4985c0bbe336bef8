// Databases as real sites keep them, rebuilt unattended against the real server:
// what the site set stays as it was. Those that cannot be rebuilt as they are (a
// shadow, nbackup's lock) are among the refusals of CycleSafeguardsTest.cpp.

#include "CycleProgramFixture.h"

#include "cycle/CycleExitStatus.h"
#include "support/DbCommandTables.h"
#include "support/FileText.h"

#include <grp.h>
#include <sys/stat.h>

#include <filesystem>

namespace morvane::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using RealDatabasesTest = CycleProgramTest;

TEST_F(RealDatabasesTest, AConnectionLoggingTriggerDoesNotMakeTheRebuildFail)
{
    database_->Sql("CREATE TABLE AUDIT_LOG (ID INTEGER, WHO VARCHAR(63), AT_TIME TIMESTAMP);\nCOMMIT;\n"
                   "CREATE GENERATOR GEN_AUDIT;\nCOMMIT;\n"
                   "SET TERM ^;\nCREATE TRIGGER LOG_CONNECT ON CONNECT AS BEGIN INSERT INTO AUDIT_LOG VALUES "
                   "(GEN_ID(GEN_AUDIT, 1), CURRENT_USER, CURRENT_TIMESTAMP); END^\nSET TERM ;^\nCOMMIT;\n");

    const ToolResult result = RunAuto();

    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_THAT(Log(), Not(HasSubstr("diffère")));
    EXPECT_EQ(Rows(), CycleRows);
}

// A site's trigger that turns the maintenance program away: SYSDBA's run leaves it
// out; an ordinary user, whom the server does not allow that, is told what refused it.
TEST_F(RealDatabasesTest, AConnectionTriggerThatRefusesTheProgramIsLeftOutOrNamed)
{
    const ServerUser cashier(*database_, UniqueUserName("CAISSE"), "caisse19");
    const std::string& user = cashier.Name();
    database_->Sql("CREATE EXCEPTION PAS_DE_MAINTENANCE 'pas de maintenance ici';\nCOMMIT;\n"
                   "SET TERM ^;\nCREATE TRIGGER REFUSE_MORVANE ON CONNECT AS BEGIN IF (RDB$GET_CONTEXT('SYSTEM', "
                   "'CLIENT_PROCESS') CONTAINING 'morvane') THEN EXCEPTION PAS_DE_MAINTENANCE; END^\nSET TERM ;^\n"
                   "COMMIT;\n");
    WriteJobSettings("ForcerDeconnexionClient=0\n");

    ToolResult result = RunAuto();

    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_EQ(Rows(), CycleRows);

    WriteProgramFile("Database.ini", "DatabaseName=" + database_->ConnectionString() + "\r\nuser_name=" + user +
                                         "\r\npassword=caisse19\r\n");
    std::filesystem::permissions(programFolder_.File("Database.ini"), std::filesystem::perms::owner_read |
                                                                         std::filesystem::perms::owner_write);
    result = RunAuto();

    EXPECT_EQ(result.ExitCode, ExitStartUpError) << result.Output << Log();
    EXPECT_THAT(Log(), HasSubstr("Un trigger de connexion de la base refuse l'utilisateur " + user));
    EXPECT_THAT(Log(), HasSubstr("Pas de maintenance ici"));
    EXPECT_TRUE(BatchesRun().size() == 3u) << "only the first run's batch files";
}

TEST_F(RealDatabasesTest, AMaintenanceShutdownAndTheFilesGroupAndModeAreKept)
{
    RunGfix({"-shut", "multi", "-force", "0"}, database_->ConnectionString());
    const group* site = ::getgrnam("adm");
    ASSERT_NE(site, nullptr);
    ASSERT_EQ(::chown(DatabasePath().c_str(), static_cast<uid_t>(-1), site->gr_gid), 0);
    ASSERT_EQ(::chmod(DatabasePath().c_str(), 0664), 0);
    struct stat before {};
    ASSERT_EQ(::stat(DatabasePath().c_str(), &before), 0);

    const ToolResult result = RunAuto();

    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_THAT(Attributes(), HasSubstr("multi-user maintenance")) << "ordinary users stay out, as the site set";
    struct stat after {};
    ASSERT_EQ(::stat(DatabasePath().c_str(), &after), 0);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode & 07777, 0664u);
    EXPECT_EQ(Rows(), CycleRows);
    RunGfix({"-online", "normal"}, database_->ConnectionString());
}

// Read-only with the space reserved on its pages, then open to writes with another
// sweep interval, no reserve and asynchronous writes: each comes back as it was.
TEST_F(RealDatabasesTest, TheHeaderSettingsTheSiteChoseAreKept)
{
    WriteJobSettings("ForcerDeconnexionClient=0\n");
    RunGfix({"-housekeeping", "12345"}, database_->ConnectionString());
    RunGfix({"-mode", "read_only"}, database_->ConnectionString());

    ToolResult result = RunAuto();

    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_THAT(Attributes(), HasSubstr("read only"));
    EXPECT_THAT(Attributes(), Not(HasSubstr("no reserve")));
    EXPECT_EQ(HeaderValue(database_->HeaderStatistics().Output, "Sweep interval:"), "12345");
    for (const char* side : {"before", "after"}) {
        EXPECT_TRUE(RunReport()[QString(side)].toObject()["readOnly"].toBool()) << side;
        EXPECT_TRUE(RunReport()[QString(side)].toObject()["reserve"].toBool()) << side;
        EXPECT_EQ(RunReport()[QString(side)].toObject()["dialect"].toInt(), 3) << side;
    }
    EXPECT_EQ(Rows(), CycleRows);

    RunGfix({"-mode", "read_write"}, database_->ConnectionString());
    RunGfix({"-use", "full"}, database_->ConnectionString());
    RunGfix({"-write", "async"}, database_->ConnectionString());
    RunGfix({"-housekeeping", "0"}, database_->ConnectionString());

    result = RunAuto();

    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_THAT(Attributes(), HasSubstr("no reserve"));
    EXPECT_THAT(Attributes(), Not(HasSubstr("force write")));
    EXPECT_THAT(Attributes(), Not(HasSubstr("read only")));
    EXPECT_EQ(HeaderValue(database_->HeaderStatistics().Output, "Sweep interval:"), "0");
    EXPECT_EQ(RunReport()["after"].toObject()["writeMode"].toString(), "async");
    EXPECT_EQ(Rows(), CycleRows);
}

// A database its owner created, not SYSDBA: run as SYSDBA the cycle would hand it
// to SYSDBA, so it is refused; run with the owner's credentials it keeps its owner,
// who can still back it up.
TEST_F(RealDatabasesTest, ADatabaseOfAnOrdinaryUserKeepsItsOwner)
{
    const std::string password = "proprio19";
    ServerUser ownerUser(*database_, UniqueUserName("PROPRIO"), password);
    ownerUser.AllowCreatingDatabases();
    const std::string& owner = ownerUser.Name();
    const std::string path = DatabaseFile("PROPRIO.FDB");
    const std::string connection = "127.0.0.1:" + path;
    const std::string script = DatabaseFile("create.sql");
    WriteFileText(script, "CREATE DATABASE '" + connection + "' USER '" + owner + "' PASSWORD '" + password +
                              "';\nCREATE TABLE T (I INTEGER);\nINSERT INTO T VALUES (1);\nCOMMIT;\n");
    const ToolResult created = RunTool({"env", "-u", "ISC_USER", "-u", "ISC_PASSWORD", "isql-fb", "-q", "-i", script});
    ASSERT_EQ(created.ExitCode, 0) << created.Output;
    WriteProgramFile("Database.ini", "DatabaseName=" + connection + "\r\n");
    WriteProgramFile("morvane.ini", "[" + connection + "]\nForcerDeconnexionClient=0\n");
    const auto ownerOf = [&] {
        return OutputLines(database_->SqlOn(connection, "SELECT TRIM(MON$OWNER) FROM MON$DATABASE;\n"));
    };

    ToolResult result = RunAuto();

    EXPECT_EQ(result.ExitCode, ExitPreflightRefused) << result.Output << Log();
    EXPECT_THAT(Log(), HasSubstr("appartient à " + owner));
    EXPECT_TRUE(BatchesRun().empty());
    EXPECT_FALSE(Exists(DatabaseFile("PROPRIO.FIB.BKP")));

    WriteProgramFile("Database.ini", "DatabaseName=" + connection + "\r\nuser_name=" + owner + "\r\npassword=" +
                                         password + "\r\n");
    std::filesystem::permissions(programFolder_.File("Database.ini"), std::filesystem::perms::owner_read |
                                                                         std::filesystem::perms::owner_write);
    result = RunAuto();

    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_THAT(ownerOf(), testing::Contains(owner));
    const std::string backup = DatabaseFile("PROPRIO.FBK");
    const ToolResult ownersBackup =
        RunTool({"gbak", "-b", "-se", "127.0.0.1:service_mgr", path, backup},
                {"ISC_USER=" + owner, "ISC_PASSWORD=" + password});
    EXPECT_EQ(ownersBackup.ExitCode, 0) << ownersBackup.Output;
}

// A primary key too long for the page size asked: the restore fails, and the log
// and the failure dialog (whose text an unattended run logs) give the server's own
// lines in the server's order.
TEST_F(RealDatabasesTest, AFailedRestoreSaysWhatTheServerSaidInItsOrder)
{
    const FreshDatabase wide(FreshDatabase::Access::Server, "BD.FDB", 16384);
    wide.Sql("CREATE TABLE LONGUES (S VARCHAR(3000) CHARACTER SET NONE NOT NULL PRIMARY KEY);\n"
             "INSERT INTO LONGUES VALUES ('x');\nCOMMIT;\n");
    WriteProgramFile("Database.ini", "DatabaseName=" + wide.ConnectionString() + "\r\n");
    WriteProgramFile("morvane.ini", "[" + wide.ConnectionString() + "]\nForcerDeconnexionClient=0\nPageSize=4096\n");

    const ToolResult result = RunAuto();

    EXPECT_EQ(result.ExitCode, ExitRestoreFailed) << result.Output << Log();
    const std::string log = Log();
    const std::size_t dialog = log.find("Erreur : Le restore a échoué");
    ASSERT_NE(dialog, std::string::npos) << log;
    const std::string text = log.substr(dialog);
    const std::size_t reason = text.find("Message du serveur :");
    const std::size_t end = text.find("Cannot deactivate index used by a");
    EXPECT_NE(reason, std::string::npos) << text;
    EXPECT_NE(end, std::string::npos) << text;
    EXPECT_LT(reason, end) << text;
    // The output lines that name the index come before the end message, the last of
    // them sent by the server in one reply with its error. A busy server may end the
    // request before it sends them (gbak itself then prints none): the last output
    // line it did send says where the restore stopped.
    const std::size_t stoppedAt = text.find("\\ngbak:", reason);
    EXPECT_LT(stoppedAt, end) << text;
    const std::size_t index = text.find("gbak:cannot commit index RDB$PRIMARY");
    const std::size_t error = text.find("gbak: ERROR:unsuccessful metadata update");
    if (index != std::string::npos || error != std::string::npos) {
        EXPECT_LT(reason, index) << text;
        EXPECT_LT(index, error) << text;
        EXPECT_LT(error, end) << text;
    }
    EXPECT_THAT(log, Not(HasSubstr("Unsuccessful execution caused by")));
    EXPECT_THAT(log, Not(HasSubstr("This operation is not defined for system tables")));
    EXPECT_EQ(SelectCount(wide, "SELECT COUNT(*) FROM LONGUES;"), 1);
    EXPECT_THAT(HeaderValue(wide.HeaderStatistics().Output, "Attributes"), Not(HasSubstr("shutdown")));
}

} // namespace
} // namespace morvane::test
