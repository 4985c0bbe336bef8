// Two databases of one folder rebuilt by two timers set for the same minute: each
// database keeps its own data, with and without a middle batch file that reads the
// backup by its fixed name (then the second cycle waits for the first).

#include "CycleProgramFixture.h"
#include "BackgroundProgram.h"

#include "cycle/CycleExitStatus.h"
#include "cycle/CycleFileLocks.h"

namespace morvane::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

class SharedFolderTest : public CycleProgramTest {
protected:
    void SetUp() override
    {
        CycleProgramTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // The second database: a copy of the first through the server, with the same
        // tables and counts, but rows and a generator of its own.
        const std::string backup = DatabaseFile("copy.fbk");
        for (const std::vector<std::string>& gbak :
             {std::vector<std::string>{"gbak", "-b", "-se", "127.0.0.1:service_mgr", DatabasePath(), backup},
              std::vector<std::string>{"gbak", "-c", "-se", "127.0.0.1:service_mgr", backup, Second()}}) {
            const ToolResult result = RunTool(gbak, SysdbaEnvironment());
            ASSERT_EQ(result.ExitCode, 0) << result.Output;
        }
        RunTool({"rm", "-f", backup});
        database_->Sql("SET GENERATOR GEN_ID_GLB5020 TO 11;\nCOMMIT;\n");
        database_->SqlOn(SecondConnection(), "UPDATE CLIENTS SET NOM = 'deux ' || ID;\nCOMMIT;\n"
                                             "SET GENERATOR GEN_ID_GLB5020 TO 22;\nCOMMIT;\n");

        std::filesystem::copy_file(Program(), secondFolder_.File("morvane"));
        WriteFileText(secondFolder_.File("Database.ini"), "DatabaseName=" + SecondConnection() + "\r\n");
        std::filesystem::copy_file(programFolder_.File("AppLogger.xml"), secondFolder_.File("AppLogger.xml"));
    }

    void TearDown() override
    {
        CycleProgramTest::TearDown();
        std::error_code ignored;
        for (const std::string& file : {Second(), DatabaseFile("Morvane.fbk"), DatabaseFile("BD.FIB.BKP"),
                                        DatabaseFile("DEUX.FIB.BKP")}) {
            std::filesystem::remove_all(std::filesystem::path(CycleJournalPath(file)).parent_path(), ignored);
            std::filesystem::remove_all(std::filesystem::path(CycleLockPath(file)).parent_path(), ignored);
        }
    }

    std::string Second() const { return DatabaseFile("DEUX.FDB"); }
    std::string SecondConnection() const { return std::string(ServerHost) + ":" + Second(); }

    // Both programs started at the same moment; their exit statuses.
    std::pair<std::optional<int>, std::optional<int>> RunBothAtOnce()
    {
        BackgroundProgram first(Program(), AutoEnvironment());
        BackgroundProgram second(secondFolder_.File("morvane"), AutoEnvironment());
        return {first.Wait(240s), second.Wait(240s)};
    }

    // Rows whose name says which database they belong to, and the generator.
    void ExpectOwnData(const std::string& connection, const std::string& prefix, int generator,
                       const std::string& context)
    {
        EXPECT_EQ(SelectCount(*database_, "SELECT COUNT(*) FROM CLIENTS WHERE NOM STARTING WITH '" + prefix + "';",
                              connection),
                  CycleRows)
            << context;
        EXPECT_EQ(SelectCount(*database_, "SELECT GEN_ID(GEN_ID_GLB5020, 0) FROM RDB$DATABASE;", connection),
                  generator)
            << context;
    }

    std::string SecondLog() const { return ReadFileText(secondFolder_.File("morvane.log")); }

    TemporaryFolder secondFolder_;
};

TEST_F(SharedFolderTest, TwoDatabasesOfOneFolderStartedTogetherKeepTheirOwnData)
{
    const struct {
        const char* what;
        bool middleBatchFile;
    } cases[] = {{"backups named after their databases", false}, {"both read Morvane.fbk: one waits", true}};
    for (const auto& c : cases) {
        for (const std::string& folder : {programFolder_.Path(), secondFolder_.Path()}) {
            std::filesystem::remove(folder + "/MidProcess.cmd");
            if (c.middleBatchFile)
                WriteFileText(folder + "/MidProcess.cmd", "#!/bin/sh\nls \"$(dirname '" + DatabasePath() +
                                                              "')\" > midprocess.txt\n");
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
            if (c.middleBatchFile)
                std::filesystem::permissions(folder + "/MidProcess.cmd", std::filesystem::perms::owner_all);
        }
        for (int trial = 1; trial <= 2; ++trial) {
            const std::string context = std::string(c.what) + ", trial " + std::to_string(trial);
            SCOPED_TRACE(context);
            const auto [first, second] = RunBothAtOnce();
            EXPECT_EQ(first, ExitCompleted) << Log();
            EXPECT_EQ(second, ExitCompleted) << SecondLog();
            ExpectOwnData(database_->ConnectionString(), "client", 11, context);
            ExpectOwnData(SecondConnection(), "deux", 22, context);
            // The old copies at their rename paths are each database's own too.
            EXPECT_TRUE(Exists(DatabaseFile("BD.FIB.BKP")));
            EXPECT_TRUE(Exists(DatabaseFile("DEUX.FIB.BKP")));
            for (const char* left : {"Morvane.fbk", "Morvane-BD.FDB.fbk", "Morvane-DEUX.FDB.fbk"})
                EXPECT_FALSE(Exists(DatabaseFile(left))) << left;
            if (c.middleBatchFile) {
                // Each middle batch file saw the fixed name, and only its own backup.
                EXPECT_THAT(ReadFileText(programFolder_.File("midprocess.txt")), HasSubstr("Morvane.fbk"));
                EXPECT_THAT(ReadFileText(secondFolder_.File("midprocess.txt")), HasSubstr("Morvane.fbk"));
            }
        }
    }
}

} // namespace
} // namespace morvane::test
