// Databases as real sites keep them, rebuilt unattended against the real server:
// what the site set stays as it was. Those that cannot be rebuilt as they are (a
// shadow, nbackup's lock) are among the refusals of CycleSafeguardsTest.cpp.

#include "CycleProgramFixture.h"

#include "cycle/CycleExitStatus.h"
#include "support/DbCommandTables.h"
#include "support/FileText.h"

#include "core/Text.h"
#include "session/DatabaseLocation.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

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
    // Nothing of the run asked the server what only its administrator may read: no
    // line reads like wrong credentials.
    for (const std::string& line : ReadFileLines(programFolder_.File("morvane.log"))) {
        const std::string lower = LowerCase(line);
        for (const char* word : {"security", "password", "mot de passe", "user name", "login"})
            EXPECT_EQ(lower.find(word), std::string::npos) << line;
    }
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
    // The server's lines are many: each line of the file is still one entry, its date
    // and level first, so that grep and journald attribute every one.
    for (const std::string& line : ReadFileLines(programFolder_.File("morvane.log")))
        EXPECT_THAT(line, testing::MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}: "
                                                "\\[[0-9]+\\] .*"));
    EXPECT_THAT(log, Not(HasSubstr("Unsuccessful execution caused by")));
    EXPECT_THAT(log, Not(HasSubstr("This operation is not defined for system tables")));
    EXPECT_EQ(SelectCount(wide, "SELECT COUNT(*) FROM LONGUES;"), 1);
    EXPECT_THAT(HeaderValue(wide.HeaderStatistics().Output, "Attributes"), Not(HasSubstr("shutdown")));
}

// A database whose expression index calls an external function: made by the
// embedded engine of a Firebird root that allows the function's library (the test
// server allows none), given to the server's user. The server then backs it up (it
// computes no index for that) but cannot build the index again.
std::string CreateDatabaseCallingAnExternalFunction(const FreshDatabase& beside)
{
    const TemporaryFolder& folder = beside.Folder();
    const std::string root = folder.File("firebird-root");
    const std::string installed = "/usr/lib/x86_64-linux-gnu/firebird/3.0";
    std::filesystem::create_directories(root);
    for (const char* entry : {"UDF", "firebird.msg", "intl", "lib", "plugins", "plugins.conf", "databases.conf"})
        std::filesystem::create_symlink(installed + "/" + entry, root + "/" + entry);
    std::string configuration;
    for (const std::string& line : ReadFileLines(installed + "/firebird.conf"))
        if (line.find("UdfAccess") == std::string::npos)
            configuration += line + "\n";
    WriteFileText(root + "/firebird.conf", configuration + "UdfAccess = Restrict UDF\n");
    const std::string path = folder.File("MESURES.FDB");
    const std::string script = folder.File("mesures.sql");
    WriteFileText(script,
                  "CREATE DATABASE '" + path + "' PAGE_SIZE 4096;\n"
                  "DECLARE EXTERNAL FUNCTION ABS DOUBLE PRECISION RETURNS DOUBLE PRECISION BY VALUE "
                  "ENTRY_POINT 'IB_UDF_abs' MODULE_NAME 'ib_udf';\n"
                  "CREATE TABLE MESURES (ID INTEGER NOT NULL PRIMARY KEY, X DOUBLE PRECISION);\nCOMMIT;\n"
                  "CREATE INDEX IX_MESURES_ABS ON MESURES COMPUTED BY (ABS(X));\nCOMMIT;\n"
                  "INSERT INTO MESURES VALUES (1, -2);\nINSERT INTO MESURES VALUES (2, 3);\nCOMMIT;\n");
    const ToolResult created = RunTool({"isql-fb", "-q", "-user", "SYSDBA", "-i", script}, {"FIREBIRD=" + root});
    if (created.ExitCode != 0)
        throw std::runtime_error("cannot create " + path + ": " + created.Output);
    const passwd* server = ::getpwnam("firebird");
    if (server == nullptr || ::chown(path.c_str(), server->pw_uid, server->pw_gid) != 0)
        throw std::runtime_error("cannot give " + path + " to the server's user");
    return "127.0.0.1:" + path;
}

// Backups the server writes but cannot restore, made as sites get them: rows that a
// changed function, a narrowed column or a missing library make break an index. The
// old database is back online at its path, and the failure says in plain words which
// table and what to do, in the log (one line an entry) and in the run report.
TEST_F(RealDatabasesTest, AnUnrestorableBackupIsExplainedByTheTableItBreaksOn)
{
    const struct {
        const char* name;
        std::string script;      // run on a fresh database; empty: its own database
        std::string pageSize;    // the job settings' PageSize, when set
        const char* countRows;   // rows of the table, the same before and after
        int rows;
        std::vector<std::string> said; // in the log and in the report's failure cause
    } cases[] = {
        {"a unique index over a function that changed since the rows came in",
         "CREATE TABLE ARTICLES (ID INTEGER NOT NULL, CODE INTEGER);\nCOMMIT;\n"
         "SET TERM ^;\nCREATE FUNCTION F(X INTEGER) RETURNS INTEGER AS BEGIN RETURN X; END^\nSET TERM ;^\nCOMMIT;\n"
         "CREATE UNIQUE INDEX UX_ARTICLES_CODE ON ARTICLES COMPUTED BY (F(CODE));\nCOMMIT;\n"
         "INSERT INTO ARTICLES VALUES (1, 1);\nINSERT INTO ARTICLES VALUES (2, 2);\nCOMMIT;\n"
         "SET TERM ^;\nALTER FUNCTION F(X INTEGER) RETURNS INTEGER AS BEGIN RETURN 0; END^\nSET TERM ;^\nCOMMIT;\n",
         "", "SELECT COUNT(*) FROM ARTICLES;", 2,
         {"Cause : l'index unique UX_ARTICLES_CODE de la table ARTICLES (expression F(CODE)) refuse la valeur 0 en "
          "double: corriger les doublons dans la base actuelle, ou désactiver l'index, puis relancer le cycle."}},
        {"a primary key whose column lost a decimal",
         "CREATE TABLE TARIFS (CODE NUMERIC(9,2) NOT NULL, CONSTRAINT PK_TARIFS PRIMARY KEY (CODE));\nCOMMIT;\n"
         "INSERT INTO TARIFS VALUES (1.01);\nINSERT INTO TARIFS VALUES (1.02);\nCOMMIT;\n"
         "ALTER TABLE TARIFS ALTER CODE TYPE NUMERIC(9,1);\nCOMMIT;\n",
         "", "SELECT COUNT(*) FROM TARIFS;", 2,
         {"Cause : la clé primaire PK_TARIFS de la table TARIFS (colonne CODE) refuse la valeur 1.0 en double: "
          "corriger les doublons dans la base actuelle, puis relancer le cycle."}},
        {"a foreign key whose target column lost a decimal",
         "CREATE TABLE FAMILLES (CODE NUMERIC(9,2) NOT NULL, CONSTRAINT PK_FAMILLES PRIMARY KEY (CODE));\n"
         "CREATE TABLE ARTICLES (ID INTEGER NOT NULL PRIMARY KEY, FAMILLE NUMERIC(9,2), CONSTRAINT "
         "FK_ARTICLES_FAMILLE FOREIGN KEY (FAMILLE) REFERENCES FAMILLES (CODE));\nCOMMIT;\n"
         "INSERT INTO FAMILLES VALUES (1.01);\nINSERT INTO ARTICLES VALUES (1, 1.01);\nCOMMIT;\n"
         "ALTER TABLE FAMILLES ALTER CODE TYPE NUMERIC(9,1);\nCOMMIT;\n",
         "", "SELECT COUNT(*) FROM ARTICLES;", 1,
         {"Cause : la clé étrangère FK_ARTICLES_FAMILLE de la table ARTICLES (colonne FAMILLE) désigne la valeur "
          "1.01, absente de la table FAMILLES: corriger ou supprimer ces lignes dans la base actuelle, puis relancer "
          "le cycle."}},
        {"an index calling a function this server does not load", "", "", "SELECT COUNT(*) FROM MESURES;", 2,
         {"Cause : l'index IX_MESURES_ABS de la table MESURES (expression ABS(X)) appelle la fonction ABS, que ce "
          "serveur ne trouve pas"}},
        // A size the window once offered: read as the server's smallest, said at level 5.
        {"a key too long for the page size asked",
         "CREATE TABLE LONGUES (S VARCHAR(3000) CHARACTER SET NONE NOT NULL, CONSTRAINT PK_LONGUES PRIMARY KEY (S));"
         "\nINSERT INTO LONGUES VALUES ('x');\nCOMMIT;\n",
         "PageSize=2048\n", "SELECT COUNT(*) FROM LONGUES;", 1,
         {"[005] " + programFolder_.File("morvane.ini"), "PageSize: taille de page 2048 lue comme 4096",
          "Cause : la clé primaire PK_LONGUES de la table LONGUES (colonne S) a des clés trop longues pour des pages "
          "de 4096 octets: choisir une taille de page plus grande (PageSize), ou raccourcir ses colonnes, puis "
          "relancer le cycle."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FreshDatabase fresh(FreshDatabase::Access::Server, "BD.FDB", 16384);
        std::string connection = fresh.ConnectionString();
        if (c.script.empty())
            connection = CreateDatabaseCallingAnExternalFunction(fresh);
        else
            fresh.Sql(c.script);
        const std::string path = SplitDatabaseLocation(connection).path;
        struct StateRemoval {
            std::string path;
            ~StateRemoval()
            {
                std::error_code ignored;
                std::filesystem::remove_all(std::filesystem::path(CycleJournalPath(path)).parent_path(), ignored);
                std::filesystem::remove_all(std::filesystem::path(CycleLockPath(path)).parent_path(), ignored);
            }
        } removal{path};
        WriteProgramFile("Database.ini", "DatabaseName=" + connection + "\r\n");
        WriteProgramFile("morvane.ini", "[" + connection + "]\nForcerDeconnexionClient=0\n" + c.pageSize);
        std::filesystem::remove(programFolder_.File("batches.txt"));
        ASSERT_EQ(SelectCount(fresh, c.countRows, connection), c.rows);

        const ToolResult result = RunAuto();

        EXPECT_EQ(result.ExitCode, ExitRestoreFailed) << result.Output << Log();
        EXPECT_EQ(SelectCount(fresh, c.countRows, connection), c.rows) << "the old database is online at its path";
        EXPECT_FALSE(Exists(path + "_Morvane"));
        EXPECT_EQ(BatchesRun().size(), 3u);
        const std::string log = Log();
        const std::string report = ReadFileText(CycleStateFolder(path) + "/" + RunReportFileName);
        const std::string cause =
            QJsonDocument::fromJson(QByteArray::fromStdString(report)).object()["failureCause"].toString().toStdString();
        for (const std::string& text : c.said) {
            EXPECT_THAT(log, HasSubstr(text));
            if (text.starts_with("Cause")) {
                EXPECT_THAT(cause, HasSubstr(text)) << report;
            }
        }
        // After the server's own lines, in the dialog's text the unattended run logs.
        EXPECT_LT(log.find("Message du serveur :"), log.find("\\nCause : ")) << log;
        EXPECT_THAT(LogLinesWithoutTimeStamp(), ::testing::IsEmpty()) << log;
    }
}

} // namespace
} // namespace morvane::test
