// The run history beside the program, the metrics file for the node exporter and
// what of the last run the next progress estimate uses.

#include "cycle/RunHistory.h"
#include "core/Exception.h"

#include "SampleRunReport.h"

#include "support/FileText.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <grp.h>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace morvane {
namespace {

using test::ManualClock;

TRunReport SampleReport(ManualClock& clock, const std::string& database = "127.0.0.1:/srv/base/BD.FDB")
{
    TRunReport report = test::UnfinishedSampleReport(clock, database);
    clock.Advance(250);
    report.Finish(0);
    return report;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(RunHistory, KeepsTheLastRunsOneObjectALine)
{
    EXPECT_EQ(AppendHistoryLine("", "{\"a\":1}"), "{\"a\":1}\n");
    EXPECT_EQ(AppendHistoryLine("{\"a\":1}\n\n{\"a\":2}\n", "{\"a\":3}", 2), "{\"a\":2}\n{\"a\":3}\n");
    // A line cut by a crash while it was written is not a run.
    EXPECT_EQ(AppendHistoryLine("{\"a\":1}\n{\"a\":", "{\"a\":3}"), "{\"a\":1}\n{\"a\":3}\n");

    ManualClock clock;
    ScopedClock scoped([&clock] { return clock.now; });
    test::TemporaryFolder folder;
    const std::string path = folder.File(RunHistoryFileName);
    for (int run = 0; run < 370; ++run) {
        TRunReport report = SampleReport(clock);
        report.Finish(run);
        AppendRunHistory(path, report);
    }
    const std::vector<std::string> lines = Lines(test::ReadFileText(path));
    ASSERT_EQ(lines.size(), RunHistoryKept);
    EXPECT_EQ(nlohmann::json::parse(lines.front())["exitStatus"], 5);
    const nlohmann::json last = nlohmann::json::parse(lines.back());
    EXPECT_EQ(last["exitStatus"], 369);
    EXPECT_EQ(last["database"], "127.0.0.1:/srv/base/BD.FDB");
    EXPECT_EQ(last["tables"][0]["name"], "CLIENTS");
}

// Prometheus text format, as the textfile collector reads it.
TEST(RunHistory, MetricsFileIsValidTextFormat)
{
    ManualClock clock;
    ScopedClock scoped([&clock] { return clock.now; });
    const TRunReport report = SampleReport(clock, "127.0.0.1:/srv/\"base\"\\BD.FDB");
    test::TemporaryFolder folder;
    WriteMetricsFile(folder.Path(), "BD.FDB-0123456789abcdef", report);
    const std::string text = test::ReadFileText(folder.File("morvane-BD.FDB-0123456789abcdef.prom"));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');

    const std::regex help(R"(# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) \S.*)");
    const std::regex type(R"(# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (gauge|counter|untyped))");
    const std::regex sample(
        R"re(([a-zA-Z_:][a-zA-Z0-9_:]*)\{([a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\[\\"n])*"(?:,[a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\[\\"n])*")*)\} (-?[0-9]+(?:\.[0-9]+)?(?:e[+-]?[0-9]+)?))re");
    std::string family;
    std::set<std::string> typed, seenSeries;
    std::map<std::string, std::string> values;
    for (const std::string& line : Lines(text)) {
        SCOPED_TRACE(line);
        std::smatch m;
        if (std::regex_match(line, m, help)) {
            family = m[1];
        } else if (std::regex_match(line, m, type)) {
            EXPECT_EQ(m[1], family) << "TYPE follows its HELP";
            EXPECT_TRUE(typed.insert(m[1]).second) << "one TYPE per family";
        } else if (std::regex_match(line, m, sample)) {
            EXPECT_EQ(m[1], family) << "samples follow their family's HELP and TYPE";
            EXPECT_TRUE(typed.count(m[1]) != 0);
            EXPECT_TRUE(seenSeries.insert(std::string(m[1]) + "{" + std::string(m[2]) + "}").second) << "series twice";
            values[std::string(m[1]) + "{" + std::string(m[2]) + "}"] = m[3];
        } else {
            ADD_FAILURE() << "not a HELP, TYPE or sample line";
        }
    }
    const std::string db = R"(database="127.0.0.1:/srv/\"base\"\\BD.FDB")";
    EXPECT_EQ(values["morvane_last_run_exit_status{" + db + "}"], "0");
    EXPECT_EQ(values["morvane_last_run_duration_seconds{" + db + "}"], "4");
    EXPECT_EQ(values["morvane_last_run_database_size_bytes{" + db + ",when=\"before\"}"], "1048576");
    EXPECT_EQ(values["morvane_last_run_database_size_bytes{" + db + ",when=\"after\"}"], "917504");
    EXPECT_EQ(values["morvane_last_run_step_duration_seconds{" + db + ",step=\"backup\"}"], "1.500");
    EXPECT_EQ(values["morvane_last_run_step_duration_seconds{" + db + ",step=\"restore\"}"], "2.250");
    EXPECT_EQ(values["morvane_last_run_step_duration_seconds{" + db + ",step=\"batch après restore\"}"], "0");
    // Local 2026-12-10 02:00:00 in seconds since the epoch, whatever the machine's zone.
    std::tm local{};
    local.tm_year = 126;
    local.tm_mon = 11;
    local.tm_mday = 10;
    local.tm_hour = 2;
    local.tm_isdst = -1;
    EXPECT_EQ(values["morvane_last_run_start_time_seconds{" + db + "}"], std::to_string(std::mktime(&local)));
    EXPECT_EQ(values["morvane_last_run_downtime_seconds{" + db + "}"], "0");
    EXPECT_EQ(values["morvane_last_run_read_downtime_seconds{" + db + "}"], "0");
    EXPECT_EQ(values.size(), 10u);
}

// The metrics name the database and its paths: the run's user's alone, unless the
// job settings name the collector's group, which may then read them.
TEST(RunHistory, TheMetricsFileIsReadByItsGroupOnly)
{
    ManualClock clock;
    ScopedClock scoped([&clock] { return clock.now; });
    const TRunReport report = SampleReport(clock, "127.0.0.1:/srv/BD.FDB");
    test::TemporaryFolder folder;
    const std::string path = folder.File(MetricsFileName("BD.FDB-0123456789abcdef"));
    const auto modeAndGroup = [&] {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0);
        return std::pair<unsigned, gid_t>(info.st_mode & 0777, info.st_gid);
    };

    WriteMetricsFile(folder.Path(), "BD.FDB-0123456789abcdef", report);
    EXPECT_EQ(modeAndGroup().first, 0600u);

    const struct group* own = ::getgrgid(::getegid());
    ASSERT_NE(own, nullptr);
    WriteMetricsFile(folder.Path(), "BD.FDB-0123456789abcdef", report, own->gr_name);
    EXPECT_EQ(modeAndGroup(), (std::pair<unsigned, gid_t>(0640u, ::getegid())));

    EXPECT_THROW(WriteMetricsFile(folder.Path(), "BD.FDB-0123456789abcdef", report, "no-such-group-morvane"), EOSError);
}

TEST(RunHistory, UnknownValuesHaveNoSample)
{
    TRunReport report;
    report.SetDatabase("/srv/BD.FDB");
    report.Start(EncodeDateTime(2026, 12, 10, 2, 0, 0));
    const std::string text = PrometheusMetrics(report);
    EXPECT_EQ(text.find("exit_status"), std::string::npos);
    EXPECT_EQ(text.find("duration_seconds"), std::string::npos);
    EXPECT_EQ(text.find("size_bytes"), std::string::npos);
    EXPECT_NE(text.find("morvane_last_run_start_time_seconds{database=\"/srv/BD.FDB\"} "), std::string::npos);
}

TEST(RunHistory, LastRunsRowsForTheEstimate)
{
    ManualClock clock;
    ScopedClock scoped([&clock] { return clock.now; });
    const TRunReport report = SampleReport(clock);
    const PreviousRunRows rows = PreviousRunRowsFromReport(report.ToJson());
    EXPECT_EQ(rows.backup, 500);
    EXPECT_EQ(rows.restore, 500);

    const struct {
        const char* what;
        const char* json;
        std::int64_t backup, restore;
    } cases[] = {
        {"no report", "", 0, 0},
        {"not JSON", "{\"tables\": [", 0, 0},
        {"a report without tables", "{\"exitStatus\": 0}", 0, 0},
        {"no table", "{\"tables\": []}", 0, 0},
        {"a restore that did not finish",
         R"({"tables": [{"name": "A", "backupRows": 7, "restoredRows": null}, {"name": "B", "backupRows": 3, "restoredRows": 3}]})",
         10, 0},
        {"a count that is not a count", R"({"tables": [{"name": "A", "backupRows": "7", "restoredRows": -1}]})", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PreviousRunRows previous = PreviousRunRowsFromReport(c.json);
        EXPECT_EQ(previous.backup, c.backup);
        EXPECT_EQ(previous.restore, c.restore);
    }
}

// The trace of each request goes to the report, where the next run reads it, and
// not to the history, which keeps a line a run for a year.
TEST(RunHistory, LastRunsTracesForTheEstimateLiveInTheReportOnly)
{
    ManualClock clock;
    ScopedClock scoped([&clock] { return clock.now; });
    TRunReport report = SampleReport(clock);
    const ProgressTrace backup{{980, 31, 400000}, {1500, 40, 1000000}};
    const ProgressTrace restore{{1000, 20, 0}, {2000, 60, 1000000}, {2250, 70, 1000000}};
    report.SetTrace("backup", backup);
    report.SetTrace("restore", restore);

    const std::string text = report.ToJson();
    const nlohmann::json json = nlohmann::json::parse(text);
    EXPECT_EQ(json["progress"]["backup"], nlohmann::json::parse("[[980, 31, 400000], [1500, 40, 1000000]]"));
    EXPECT_EQ(json["tables"][0]["name"], "CLIENTS") << "the rest of the report is untouched";
    EXPECT_NE(text.find("\n    \"restore\": [[1000,20,0],[2000,60,1000000],[2250,70,1000000]]\n"), std::string::npos)
        << "a trace on one line, after the rest:\n"
        << text;
    EXPECT_FALSE(nlohmann::json::parse(report.HistoryLine()).contains("progress"));

    const PreviousRun previous = PreviousRunFromReport(text);
    EXPECT_EQ(previous.backup, backup);
    EXPECT_EQ(previous.restore, restore);
    EXPECT_EQ(previous.rows.backup, 500);

    const struct {
        const char* what;
        const char* json;
        bool backup, restore;
    } cases[] = {
        {"no report", "", false, false},
        {"a report of a version without traces", R"({"tables": []})", false, false},
        {"the restore failed: its trace was not kept", R"({"progress": {"backup": [[10, 1, 2]]}})", true, false},
        {"a point that is not three counts", R"({"progress": {"backup": [[10, 1]], "restore": [[10, 1, "2"]]}})",
         false, false},
        {"a trace going back in time", R"({"progress": {"backup": [[10, 1, 2], [5, 2, 2]]}})", false, false},
        {"progress that is not an object", R"({"progress": [[10, 1, 2]]})", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PreviousRun read = PreviousRunFromReport(c.json);
        EXPECT_EQ(!read.backup.empty(), c.backup);
        EXPECT_EQ(!read.restore.empty(), c.restore);
    }
}

} // namespace
} // namespace morvane
