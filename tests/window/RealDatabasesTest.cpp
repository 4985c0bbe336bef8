// Databases as real sites keep them, rebuilt unattended against the real server:
// what the site set stays as it was, and what cannot be rebuilt as it is is refused
// before anything runs.

#include "CycleProgramFixture.h"

#include "cycle/CycleExitStatus.h"
#include "support/FileText.h"

#include <grp.h>
#include <sys/stat.h>

namespace morvane::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class RealDatabasesTest : public CycleProgramTest {
protected:
    // Refused before anything ran: no batch file, nothing moved, the database as it was.
    void ExpectRefusedBeforeAnythingRan(const ToolResult& result, const std::string& said)
    {
        EXPECT_EQ(result.ExitCode, ExitPreflightRefused) << result.Output << Log();
        EXPECT_THAT(Log(), HasSubstr(said));
        EXPECT_TRUE(BatchesRun().empty());
        EXPECT_FALSE(Exists(RenamePath()));
        EXPECT_FALSE(Exists(NewFile()));
        EXPECT_EQ(Rows(), CycleRows);
    }
};

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

TEST_F(RealDatabasesTest, AShadowIsRefusedBeforeAnythingRuns)
{
    const std::string shadow = DatabaseFile("BD.SHD");
    database_->Sql("CREATE SHADOW 1 '" + shadow + "';\nCOMMIT;\n");

    ExpectRefusedBeforeAnythingRan(RunAuto(), "a un shadow (" + shadow + ")");
    EXPECT_TRUE(Exists(shadow));
}

TEST_F(RealDatabasesTest, ADatabaseInNbackupLockIsRefusedBeforeAnythingRuns)
{
    database_->Sql("ALTER DATABASE BEGIN BACKUP;\nCOMMIT;\n");
    const ToolResult result = RunAuto();
    database_->Sql("ALTER DATABASE END BACKUP;\nCOMMIT;\n");

    ExpectRefusedBeforeAnythingRan(result, "est en cours de sauvegarde nbackup");
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

} // namespace
} // namespace morvane::test
