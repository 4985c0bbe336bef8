// The unattended cycle of the built program, checked by what it leaves behind.

#include "CycleProgramFixture.h"

#include "cycle/CycleExitStatus.h"

#include <nlohmann/json.hpp>

#include <regex>
#include <set>

namespace morvane::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST_F(CycleProgramTest, DefaultJobSettingsRebuildTheDatabaseAndKeepTheOldFileAtTheRenamePath)
{
    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, 0) << result.Output << Log();

    // The three batch files ran in order, each in the program's folder.
    const std::string folder = programFolder_.Path();
    EXPECT_EQ(BatchesRun(), (std::vector<std::string>{"StopServices.cmd " + folder, "MidProcess.cmd " + folder,
                                                      "StartServices.cmd " + folder}));

    EXPECT_TRUE(Exists(RenamePath()));
    EXPECT_FALSE(Exists(DatabaseFile("Morvane.fbk")));
    EXPECT_FALSE(Exists(DatabasePath() + "_Morvane"));
    EXPECT_EQ(FreshDatabase::HeaderStatisticsOf(RenamePath()).ExitCode, 0) << "the old file is a database";

    EXPECT_EQ(Rows(), CycleRows);
    const std::string header = database_->HeaderStatistics().Output;
    EXPECT_EQ(HeaderValue(header, "Page size"), "4096") << header;
    EXPECT_EQ(HeaderValue(header, "Page buffers"), std::to_string(CyclePageBuffers)) << header;

    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr("[200] Tous les utilisateurs sont déconnectés"));
    EXPECT_THAT(log, Not(HasSubstr("Gfix shutdown")));
    EXPECT_THAT(log, Not(HasSubstr("[001]")));
    EXPECT_THAT(log, HasSubstr("[100] Rapport du cycle : code de sortie 0"));

    // The run report: every step, the status, and the database before and after.
    const QJsonObject report = RunReport();
    EXPECT_EQ(report["exitStatus"].toInt(-1), ExitCompleted);
    EXPECT_EQ(report["database"].toString().toStdString(), database_->ConnectionString());
    EXPECT_EQ(ReportedSteps(),
              (std::vector<std::string>{"vérification préalable ok", "vérification de la base ok",
                                        "batch avant backup ok", "déconnexion ok", "rename avant backup ok",
                                        "écriture des réglages skipped", "backup ok", "batch après backup ok",
                                        "restore ok",
                                        "vérification de la nouvelle base ok", "swap ok", "batch après restore ok"}));
    for (const char* side : {"before", "after"}) {
        const QJsonObject values = report[side].toObject();
        EXPECT_GT(values["sizeBytes"].toDouble(), 0) << side;
        EXPECT_EQ(values["pageSize"].toInt(), 4096) << side;
        EXPECT_EQ(values["pageBuffers"].toInt(), CyclePageBuffers) << side;
    }
    // Every table with the rows the backup wrote and the restore read back.
    bool clientsListed = false;
    for (const QJsonValue& table : report["tables"].toArray()) {
        const std::string name = table["name"].toString().toStdString();
        EXPECT_EQ(table["backupRows"].toDouble(-1), table["restoredRows"].toDouble(-2)) << name;
        if (name == "CLIENTS") {
            clientsListed = true;
            EXPECT_EQ(table["backupRows"].toInt(), CycleRows);
        }
    }
    EXPECT_TRUE(clientsListed) << ReadFileText(ReportFile());

    // Without a display, standard error (journalctl) says where the run is.
    const std::regex progress("Progression (backup|restore) : [0-9]+ % ; écoulé [0-9]+ (s|min [0-9]{2} s) ; "
                              "reste (inconnu|environ [0-9]+ (s|min [0-9]{2} s))");
    std::set<std::string> steps;
    for (std::sregex_iterator it(result.Output.begin(), result.Output.end(), progress), end; it != end; ++it)
        steps.insert((*it)[1]);
    EXPECT_EQ(steps, (std::set<std::string>{"backup", "restore"})) << result.Output;

    // The run is in the database's history; no metrics folder, no metrics file.
    const std::vector<std::string> history = ReadFileLines(HistoryFile());
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(nlohmann::json::parse(history[0])["exitStatus"], 0);
    EXPECT_FALSE(Exists(programFolder_.File("morvane.prom")));
}

// Without a display the log is where the batch files' output is read: each line as
// it comes, named after its batch file, while the batch still runs. The batch below
// writes, then waits until its first line is in the log, and says whether it was.
TEST_F(CycleProgramTest, ABatchFilesOutputReachesTheLogWhileItRuns)
{
    WriteBatchFile("StopServices.cmd", "echo 'arrêt des services'\ni=0\n"
                                       "until grep -q 'StopServices.cmd : arrêt des services' morvane.log || "
                                       "[ $i -ge 150 ]; do sleep 0.1; i=$((i+1)); done\n"
                                       "grep -q 'StopServices.cmd : arrêt des services' morvane.log && "
                                       "echo 'déjà dans le journal' || echo 'absent du journal'\n");

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();

    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr("[200] StopServices.cmd : StopServices.cmd a tourné\n"));
    EXPECT_THAT(log, HasSubstr("[200] StopServices.cmd : déjà dans le journal\n"));
    EXPECT_THAT(log, HasSubstr("[200] MidProcess.cmd : MidProcess.cmd a tourné\n"));
    EXPECT_THAT(log, HasSubstr("[200] StartServices.cmd : StartServices.cmd a tourné\n"));
}

TEST_F(CycleProgramTest, EveryRunJoinsTheHistoryAndRefreshesTheMetricsFile)
{
    TemporaryFolder metrics;
    WriteJobSettings("MetricsFolder=" + metrics.Path() + "\n");
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        const ToolResult result = RunAuto();
        ASSERT_EQ(result.ExitCode, 0) << result.Output << Log();
        EXPECT_EQ(ReadFileLines(HistoryFile()).size(), static_cast<std::size_t>(run));
        const std::string text = ReadFileText(metrics.File(MetricsFileName(DatabaseStateName(DatabasePath()))));
        const std::string database = "{database=\"" + database_->ConnectionString() + "\"";
        EXPECT_THAT(text, HasSubstr("# TYPE morvane_last_run_exit_status gauge\nmorvane_last_run_exit_status" +
                                    database + "} 0\n"));
        EXPECT_THAT(text, HasSubstr("morvane_last_run_step_duration_seconds" + database + ",step=\"backup\"} "));
        EXPECT_THAT(text, HasSubstr("morvane_last_run_database_size_bytes" + database + ",when=\"after\"} "));
        // Each request's course is kept for the next run's time left, and its end logged.
        const QJsonObject progress = RunReport()["progress"].toObject();
        for (const char* step : {"backup", "restore"}) {
            EXPECT_FALSE(progress[step].toArray().isEmpty()) << step;
            EXPECT_THAT(Log(), HasSubstr("] Progression " + std::string(step) + " : 100 % ; écoulé ")) << step;
        }
    }
    EXPECT_EQ(Rows(), CycleRows);
}

// The job settings ask for another page size and page buffers, and the site left an
// index inactive on purpose: the rebuilt database has both values in its header,
// the index is still inactive, and the run report shows the header's page buffers.
TEST_F(CycleProgramTest, JobSettingsPageValuesAndAnIndexLeftInactiveSurviveTheRebuild)
{
    database_->Sql("CREATE INDEX NAMEX ON CLIENTS (NOM);\nCOMMIT;\nALTER INDEX NAMEX INACTIVE;\nCOMMIT;\n");
    const std::string inactive = "SELECT RDB$INDEX_INACTIVE FROM RDB$INDICES WHERE RDB$INDEX_NAME = 'NAMEX';";
    ASSERT_EQ(Count(inactive), 1);
    WriteJobSettings("PageSize=8192\nPageBuffers=4096\n");

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();

    const std::string header = database_->HeaderStatistics().Output;
    EXPECT_EQ(HeaderValue(header, "Page size"), "8192") << header;
    EXPECT_EQ(HeaderValue(header, "Page buffers"), "4096") << header;
    EXPECT_EQ(Count(inactive), 1);
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_THAT(Log(), Not(HasSubstr("index inactif")));

    const QJsonObject report = RunReport();
    EXPECT_EQ(report["exitStatus"].toInt(-1), ExitCompleted);
    EXPECT_EQ(report["before"]["pageBuffers"].toInt(-1), CyclePageBuffers);
    EXPECT_EQ(report["after"]["pageBuffers"].toInt(-1), 4096);
    EXPECT_EQ(report["before"]["pageSize"].toInt(-1), 4096);
    EXPECT_EQ(report["after"]["pageSize"].toInt(-1), 8192);
}

TEST_F(CycleProgramTest, AfterRestoreReplacesTheFileAtTheRenamePathWithTheOldDatabase)
{
    WriteJobSettings("BeforeBackup=0\nAfterRestore=1\n");
    std::ofstream(RenamePath()) << "an earlier old file\n";

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, 0) << result.Output << Log();

    EXPECT_EQ(FreshDatabase::HeaderStatisticsOf(RenamePath()).ExitCode, 0) << "the old database took its place";
    EXPECT_FALSE(Exists(DatabasePath() + "_Morvane"));
    EXPECT_FALSE(Exists(DatabaseFile("Morvane.fbk")));
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_EQ(HeaderValue(database_->HeaderStatistics().Output, "Page buffers"), std::to_string(CyclePageBuffers));
}

TEST_F(CycleProgramTest, FailedBackupLeavesTheDatabaseOnlineAtItsPathAndEndsNonZero)
{
    // The program's own folder belongs to root: the server cannot write the backup there.
    WriteJobSettings("EmplacementBackup=" + programFolder_.Path() + "/\n");

    const ToolResult result = RunAuto();
    EXPECT_NE(result.ExitCode, 0) << result.Output << Log();

    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_FALSE(Exists(RenamePath())) << "the file moved before the backup is back";
    EXPECT_FALSE(Exists(DatabasePath() + "_Morvane"));
    EXPECT_FALSE(Exists(programFolder_.File("Morvane.fbk")));

    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr("[001] Erreur Backup: "));
    EXPECT_THAT(log, HasSubstr("[001] Le backup a échoué: pas de restore, la base de données reste à sa place."));
    EXPECT_THAT(log, Not(HasSubstr("Erreur Restore")));
    // The site's services are started again all the same.
    ASSERT_EQ(BatchesRun().size(), 3u);
    EXPECT_THAT(BatchesRun()[2], HasSubstr("StartServices.cmd"));

    EXPECT_EQ(result.ExitCode, ExitBackupFailed);
    EXPECT_EQ(RunReport()["exitStatus"].toInt(-1), ExitBackupFailed);
    const std::vector<std::string> steps = ReportedSteps();
    EXPECT_THAT(steps, ::testing::IsSupersetOf({"backup failed", "restore skipped", "swap skipped",
                                                "batch après restore ok"}));
    EXPECT_THAT(log, HasSubstr("[100] Rapport du cycle : code de sortie 5"));
}

TEST_F(CycleProgramTest, RestoreThatFailsIsNeverSwappedInAndTheMovedFileGoesBack)
{
    // The batch between backup and restore spoils the backup file.
    WriteBatchFile("MidProcess.cmd", "printf 'pas une sauvegarde' > '" + DatabaseFile("Morvane.fbk") + "'\n");

    const ToolResult result = RunAuto();
    EXPECT_NE(result.ExitCode, 0) << result.Output << Log();

    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_EQ(HeaderValue(database_->HeaderStatistics().Output, "Page buffers"), std::to_string(CyclePageBuffers));
    EXPECT_FALSE(Exists(RenamePath()));
    EXPECT_FALSE(Exists(DatabasePath() + "_Morvane")) << "the incomplete new file is removed";
    EXPECT_FALSE(Exists(DatabaseFile("Morvane.fbk")));

    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr("[001] Erreur Restore: "));
    EXPECT_THAT(log, HasSubstr("[001] Le restore a échoué: la nouvelle base n'est pas mise en place, la base de "
                               "données reste à sa place."));
    EXPECT_EQ(BatchesRun().size(), 3u);

    EXPECT_EQ(result.ExitCode, ExitRestoreFailed);
    const QJsonObject report = RunReport();
    EXPECT_EQ(report["exitStatus"].toInt(-1), ExitRestoreFailed);
    bool restoreFailed = false;
    for (const QJsonValue& step : report["steps"].toArray())
        if (step["name"].toString() == "restore") {
            restoreFailed = step["outcome"].toString() == "failed";
            EXPECT_FALSE(step["detail"].toString().isEmpty()) << "the server's error is kept";
        }
    EXPECT_TRUE(restoreFailed);
    EXPECT_EQ(report["after"]["pageBuffers"].toInt(), CyclePageBuffers) << "the old database, back in place";
}

TEST_F(CycleProgramTest, ATableWhoseNameHoldsALineFeedIsRebuiltLikeAnyOther)
{
    // gbak prints such a name as it is, over two lines of its output.
    const std::string name = "'\"T' || ascii_char(10) || 'X\"'";
    database_->Sql("SET TERM ^;\nEXECUTE BLOCK AS BEGIN\n"
                   "  EXECUTE STATEMENT 'CREATE TABLE ' || " + name + " || ' (ID INTEGER)';\nEND^\nCOMMIT^\n"
                   "EXECUTE BLOCK AS BEGIN\n"
                   "  EXECUTE STATEMENT 'INSERT INTO ' || " + name + " || ' SELECT ID FROM CLIENTS';\nEND^\n"
                   "SET TERM ;^\nCOMMIT;\n");
    const std::string countRows = "SET TERM ^;\nEXECUTE BLOCK RETURNS (N INTEGER) AS BEGIN\n"
                                  "  EXECUTE STATEMENT 'SELECT COUNT(*) FROM ' || " + name + " INTO :N;\n"
                                  "  SUSPEND;\nEND^\nSET TERM ;^\n";
    ASSERT_EQ(Count(countRows), CycleRows);

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_EQ(Count(countRows), CycleRows);
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_TRUE(Exists(RenamePath()));
    EXPECT_THAT(LogLinesWithoutTimeStamp(), ::testing::IsEmpty()) << Log();

    bool listed = false;
    for (const QJsonValue& table : RunReport()["tables"].toArray())
        if (table["name"].toString() == "T\nX") {
            listed = true;
            EXPECT_EQ(table["backupRows"].toInt(), CycleRows);
            EXPECT_EQ(table["restoredRows"].toInt(), CycleRows);
        }
    EXPECT_TRUE(listed) << ReadFileText(ReportFile());
}

} // namespace
} // namespace morvane::test
