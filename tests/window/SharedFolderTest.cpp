// Several databases on one server. Two databases of one folder rebuilt by two timers
// set for the same minute: each database keeps its own data, with and without a
// middle batch file that reads the backup by its fixed name (then the second cycle
// waits for the first). Three profiles run from one program folder, one after the
// other and at once: each keeps its own log, report, history and metrics.

#include "CycleProgramFixture.h"
#include "BackgroundProgram.h"

#include "cycle/CycleExitStatus.h"
#include "cycle/CycleFileLocks.h"

namespace morvane::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

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

// The packaged way of running several databases: one program folder, one profile
// per database, the log named after the profile.
TEST_F(CycleProgramTest, ThreeProfilesFromOneProgramFolderKeepTheirOwnLogReportHistoryAndMetrics)
{
    FreshDatabase second(FreshDatabase::Access::Server, "DEUX.FDB", 4096);
    FreshDatabase third(FreshDatabase::Access::Server, "TROIS.FDB", 4096);
    for (const FreshDatabase* db : {&second, &third})
        db->Sql("CREATE TABLE T (ID INTEGER);\nCOMMIT;\nINSERT INTO T VALUES (1);\nCOMMIT;\n");
    struct Profile {
        std::string name;
        const FreshDatabase* database;
    };
    const std::vector<Profile> profiles{{"un", database_.get()}, {"deux", &second}, {"trois", &third}};
    TemporaryFolder metrics;
    std::string settings;
    for (const Profile& p : profiles) {
        WriteProgramFile(p.name + ".ini", "DatabaseName=" + p.database->ConnectionString() + "\r\n");
        settings += "[" + p.database->ConnectionString() + "]\nForcerDeconnexionClient=0\nMetricsFolder=" +
                    metrics.Path() + "\n";
    }
    WriteProgramFile("morvane.ini", settings);
    WriteProgramFile("AppLogger.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<AppLogger Version="1.2"><AllStations><AllApplications>
  <Fichier class="TFileLogger" NiveauMax="255" LogSpecifique="0"><FileName>morvane-?PARAMSTR=DATABASEINI?.log</FileName></Fichier>
</AllApplications></AllStations></AppLogger>
)");
    const auto programFor = [&](const Profile& p) {
        return std::make_unique<BackgroundProgram>(Program(), AutoEnvironment(),
                                                   std::vector<std::string>{"AUTO", "DATABASEINI=" + p.name + ".ini"});
    };
    for (const bool together : {false, true}) {
        SCOPED_TRACE(together ? "at once" : "one after the other");
        std::vector<std::unique_ptr<BackgroundProgram>> running;
        for (const Profile& p : profiles) {
            running.push_back(programFor(p));
            if (!together) {
                EXPECT_EQ(running.back()->Wait(240s), ExitCompleted) << p.name;
            }
        }
        for (std::size_t i = 0; i < running.size(); ++i)
            EXPECT_EQ(running[i]->Wait(240s), ExitCompleted) << profiles[i].name;
    }
    for (const Profile& p : profiles) {
        SCOPED_TRACE(p.name);
        const std::string path = p.database->Path();
        const std::string log = ReadFileText(programFolder_.File("morvane-" + p.name + ".ini.log"));
        EXPECT_THAT(log, HasSubstr("Rapport du cycle : code de sortie 0"));
        for (const Profile& other : profiles) {
            if (other.name != p.name) {
                EXPECT_THAT(log, Not(HasSubstr(other.database->Path()))) << "only its own database in its log";
            }
        }
        const std::string state = CycleStateFolder(path);
        EXPECT_THAT(ReadFileText(state + "/" + RunReportFileName), HasSubstr(p.database->ConnectionString()));
        EXPECT_EQ(ReadFileLines(state + "/" + RunHistoryFileName).size(), 2u);
        const std::string prom = ReadFileText(metrics.File(MetricsFileName(DatabaseStateName(path))));
        EXPECT_THAT(prom, HasSubstr("morvane_last_run_exit_status{database=\"" + p.database->ConnectionString() +
                                    "\"} 0"));
        std::error_code ignored;
        if (p.database != database_.get()) {
            std::filesystem::remove_all(state, ignored);
            std::filesystem::remove_all(std::filesystem::path(CycleLockPath(path)).parent_path(), ignored);
        }
    }
}

} // namespace
} // namespace morvane::test
