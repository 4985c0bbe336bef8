// The run report: its JSON read back field by field, hostile strings read back
// unchanged, the log line, and the atomic write of the file.

#include "cycle/RunReport.h"

#include "SampleRunReport.h"

#include "support/TemporaryFolder.h"
#include "core/Exception.h"
#include "platform/DurableFile.h"
#include "support/FileText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace morvane {
namespace {

using test::ManualClock;

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    return names;
}

TEST(RunReportTest, SuccessfulRunReadsBackFieldByField)
{
    ManualClock clock;
    ScopedClock scoped([&clock] { return clock.now; });

    TRunReport report = test::UnfinishedSampleReport(clock);
    report.SetBefore({1048576, 4096, 2048, 20000, true, true, true, 3});
    report.SetAfter({917504, 8192, 4096, 20000, true, false, false, 1});
    report.SetDowntime(3200);
    clock.Advance(250);
    report.Finish(0);

    const nlohmann::json json = nlohmann::json::parse(report.ToJson());
    EXPECT_EQ(json.size(), 15u);
    EXPECT_EQ(json["progress"], nlohmann::json::object()) << "no request traced";
    EXPECT_EQ(json["downtimeMs"].get<double>(), 3200);
    EXPECT_EQ(json["readDowntimeMs"].get<double>(), 3200) << "a cycle that took the database away: the same figure";
    report.SetReadDowntime(1100);
    EXPECT_EQ(nlohmann::json::parse(report.ToJson())["readDowntimeMs"].get<double>(), 1100);
    EXPECT_THAT(report.SummaryLine(), ::testing::HasSubstr("base indisponible en écriture 3.2 s, en lecture 1.1 s"));
    report.SetReadDowntime(3200);
    EXPECT_TRUE(json["failureCause"].is_null()) << "nothing failed";
    EXPECT_TRUE(json["tables"].is_array());
    EXPECT_EQ(json["interrupted"].get<bool>(), false);
    EXPECT_EQ(json["database"].get<std::string>(), "127.0.0.1:/srv/base/BD.FDB");
    EXPECT_EQ(json["started"].get<std::string>(), "2026-12-10T02:00:00.000");
    EXPECT_EQ(json["finished"].get<std::string>(), "2026-12-10T02:00:04.000");
    EXPECT_EQ(json["durationMs"].get<double>(), 4000);
    EXPECT_EQ(json["exitStatus"].get<double>(), 0);

    const nlohmann::json& steps = json["steps"];
    ASSERT_EQ(steps.size(), 3u);
    const struct {
        const char* name;
        const char* outcome;
        double ms;
    } expected[] = {{"backup", "ok", 1500}, {"restore", "ok", 2250}, {"batch après restore", "skipped", 0}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(steps[i]["name"].get<std::string>(), expected[i].name);
        EXPECT_EQ(steps[i]["outcome"].get<std::string>(), expected[i].outcome);
        EXPECT_EQ(steps[i]["durationMs"].get<double>(), expected[i].ms);
        EXPECT_EQ(steps[i]["detail"].get<std::string>(), "");
    }

    EXPECT_EQ(json["before"]["sizeBytes"].get<double>(), 1048576);
    EXPECT_EQ(json["before"]["pageSize"].get<double>(), 4096);
    EXPECT_EQ(json["before"]["pageBuffers"].get<double>(), 2048);
    EXPECT_EQ(json["before"]["sweepInterval"].get<double>(), 20000);
    EXPECT_TRUE(json["before"]["reserve"].get<bool>());
    EXPECT_EQ(json["before"]["writeMode"].get<std::string>(), "sync");
    EXPECT_EQ(json["after"]["sizeBytes"].get<double>(), 917504);
    EXPECT_EQ(json["after"]["pageSize"].get<double>(), 8192);
    EXPECT_EQ(json["after"]["pageBuffers"].get<double>(), 4096);
    EXPECT_EQ(json["after"]["writeMode"].get<std::string>(), "async");
    EXPECT_TRUE(json["before"]["readOnly"].get<bool>());
    EXPECT_FALSE(json["after"]["readOnly"].get<bool>());
    EXPECT_EQ(json["before"]["dialect"].get<int>(), 3);
    EXPECT_EQ(json["after"]["dialect"].get<int>(), 1);

    EXPECT_EQ(report.SummaryLine(),
              "Rapport du cycle : code de sortie 0, durée 4.0 s, base indisponible en écriture 3.2 s, en lecture 3.2 s ; étapes : backup ok, restore ok, "
              "batch après restore non fait ; taille de la base : 1048576 => 917504 octets");
}

TEST(RunReportTest, FailedAndInterruptedRunsKeepWhatIsNotKnownAsNull)
{
    ManualClock clock;
    ScopedClock scoped([&clock] { return clock.now; });

    TRunReport report;
    report.SetDatabase("/srv/base/BD.FDB");
    report.Start();
    report.AddStep("backup", StepOutcome::Ok, 800);
    const std::size_t restore = report.BeginStep("restore");
    clock.Advance(300);
    report.EndStep(restore, StepOutcome::Failed, "Erreur Restore: disque plein");
    report.BeginStep("batch après restore"); // never ended: the cycle stopped inside it
    report.SetBefore({1048576, 4096, 2048, 20000, false, true, false, 3});

    // Before Finish the run has no end and no status: a reader must not take it for a success.
    {
        const nlohmann::json json = nlohmann::json::parse(report.ToJson());
        EXPECT_TRUE(json["finished"].is_null());
        EXPECT_TRUE(json["durationMs"].is_null());
        EXPECT_TRUE(json["exitStatus"].is_null());
        EXPECT_EQ(report.SummaryLine().rfind("Rapport du cycle : non terminé ; ", 0), 0u) << report.SummaryLine();
    }

    // Cut, and not back at its path when the run ended: no downtime can be given.
    report.SetDowntime(std::nullopt);
    report.SetFailureCause("Cause : l'index unique UX_ARTICLES_CODE de la table ARTICLES refuse la valeur 0 en double");
    report.Finish(2);
    const nlohmann::json json = nlohmann::json::parse(report.ToJson());
    EXPECT_EQ(json["exitStatus"].get<double>(), 2);
    EXPECT_EQ(json["failureCause"].get<std::string>(),
              "Cause : l'index unique UX_ARTICLES_CODE de la table ARTICLES refuse la valeur 0 en double");
    EXPECT_TRUE(json["downtimeMs"].is_null());
    EXPECT_EQ(json["durationMs"].get<double>(), 300);
    const nlohmann::json& steps = json["steps"];
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0]["outcome"].get<std::string>(), "ok");
    EXPECT_EQ(steps[0]["durationMs"].get<double>(), 800);
    EXPECT_EQ(steps[1]["outcome"].get<std::string>(), "failed");
    EXPECT_EQ(steps[1]["durationMs"].get<double>(), 300);
    EXPECT_EQ(steps[1]["detail"].get<std::string>(), "Erreur Restore: disque plein");
    EXPECT_EQ(steps[2]["outcome"].get<std::string>(), "interrupted");
    EXPECT_FALSE(json["before"]["reserve"].get<bool>());
    for (const char* key : {"sizeBytes", "pageSize", "pageBuffers", "sweepInterval", "reserve", "writeMode", "readOnly",
                            "dialect"}) {
        SCOPED_TRACE(key);
        EXPECT_TRUE(json["after"][key].is_null());
    }
    EXPECT_EQ(report.SummaryLine(),
              "Rapport du cycle : code de sortie 2, durée 0.3 s, base pas remise en ligne ; étapes : backup ok, "
              "restore échec, "
              "batch après restore interrompu ; taille de la base : 1048576 => ? octets");
}

TEST(RunReportTest, StepTimesSurviveAClockSetBackAndAWrongIndex)
{
    ManualClock clock;
    ScopedClock scoped([&clock] { return clock.now; });
    TRunReport report;
    report.Start();
    const std::size_t step = report.BeginStep("backup");
    clock.Advance(-60000);
    report.EndStep(step, StepOutcome::Ok);
    report.EndStep(step + 5, StepOutcome::Failed); // names no step: ignored
    report.AddStep("restore", StepOutcome::Ok, -3);
    report.Finish(0);

    ASSERT_EQ(report.Steps().size(), 2u);
    EXPECT_EQ(report.Steps()[0].durationMs, 0);
    EXPECT_EQ(report.Steps()[0].outcome, StepOutcome::Ok);
    EXPECT_EQ(report.Steps()[1].durationMs, 0);
    EXPECT_EQ(nlohmann::json::parse(report.ToJson())["durationMs"].get<double>(), 0);
}

TEST(RunReportTest, HostileStringsAreReadBackUnchanged)
{
    const std::string texts[] = {
        "",
        "C:\\CalvenorBD\\BD.FDB",
        "a\"b",
        "l1\nl2\r\tx",
        std::string("\0\x01\x1f\x7f\b\f", 6),
        "Le restore a échoué: base réparée — ✓ 🙂",
        "\"}, \"exitStatus\": 0, \"x\": \"",
        "sep\xE2\x80\xA8par\xE2\x80\xA9",
        "</script>",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        TRunReport report;
        report.SetDatabase(text);
        report.AddStep(text, StepOutcome::Failed, 1, text);
        report.SetTables({{text, 1, 1}});
        report.Finish(1, 0);
        for (const std::string& document : {report.ToJson(), report.HistoryLine()}) {
            const nlohmann::json json = nlohmann::json::parse(document);
            EXPECT_EQ(json["database"].get<std::string>(), text);
            EXPECT_EQ(json["steps"][0]["name"].get<std::string>(), text);
            EXPECT_EQ(json["steps"][0]["detail"].get<std::string>(), text);
            EXPECT_EQ(json["tables"][0]["name"].get<std::string>(), text);
        }
        // The history holds one run a line.
        EXPECT_EQ(report.HistoryLine().find('\n'), std::string::npos);
    }

    // Bytes that are not UTF-8 (a Windows-1252 name, a cut sequence, an overlong
    // slash, a surrogate, a code point past U+10FFFF) become U+FFFD: the file stays readable.
    const std::string replacement = "\xEF\xBF\xBD";
    const struct {
        std::string text;
        std::string readBack;
    } invalid[] = {
        {"caf\xE9", "caf" + replacement},
        {"x\xC3", "x" + replacement},
        {"\xC0\xAF", replacement + replacement},
        {"\xED\xA0\x80", replacement + replacement + replacement},
        {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},
        {"\x01\xFF", "\x01" + replacement},
    };
    for (const auto& c : invalid) {
        SCOPED_TRACE(c.readBack);
        TRunReport report;
        report.SetDatabase(c.text);
        report.AddStep("backup", StepOutcome::Failed, 1, c.text);
        report.Finish(1, 0);
        const nlohmann::json json = nlohmann::json::parse(report.ToJson());
        EXPECT_EQ(json["database"].get<std::string>(), c.readBack);
        EXPECT_EQ(json["steps"][0]["detail"].get<std::string>(), c.readBack);
    }
}

TEST(RunReportTest, TablesListTheRowsOfBothSides)
{
    TRunReport report;
    report.SetTables({{"CLIENTS", 500, 500}, {"VIDE", 0, 0}, {"PERDUE", 20, std::nullopt}, {"NOUVELLE", std::nullopt, 1}});
    report.Finish(6, 0);
    const nlohmann::json tables = nlohmann::json::parse(report.ToJson())["tables"];
    ASSERT_EQ(tables.size(), 4u);
    EXPECT_EQ(tables[0], nlohmann::json::parse(R"({"name": "CLIENTS", "backupRows": 500, "restoredRows": 500})"));
    EXPECT_EQ(tables[1], nlohmann::json::parse(R"({"name": "VIDE", "backupRows": 0, "restoredRows": 0})"));
    EXPECT_EQ(tables[2], nlohmann::json::parse(R"({"name": "PERDUE", "backupRows": 20, "restoredRows": null})"));
    EXPECT_EQ(tables[3], nlohmann::json::parse(R"({"name": "NOUVELLE", "backupRows": null, "restoredRows": 1})"));
}

TEST(RunReportTest, HeaderSettingsComeFromTheReportLines)
{
    // A header report as the Firebird 3.0 server sends it, tabs kept.
    const std::vector<std::string> report = {
        "Database \"/srv/Data/Site/BD.FDB\"", "Database header page information:", "\tPage size\t\t8192",
        "\tPage buffers\t\t4000", "\tAttributes\t\tforce write, no reserve", "\tSweep interval:\t\t5000",
    };
    const RunReportDatabase db = ReadHeaderSettings(report, 123456);
    EXPECT_EQ(db.sizeBytes, 123456);
    EXPECT_EQ(db.pageSize, 8192);
    EXPECT_EQ(db.pageBuffers, 4000);
    EXPECT_EQ(db.sweepInterval, 5000);
    EXPECT_EQ(db.reserve, false);
    EXPECT_EQ(db.forcedWrites, true);

    const RunReportDatabase other = ReadHeaderSettings({"\tAttributes\t\t", "\tPage buffers\t\tbeaucoup",
                                                        "\tPage size\t\t?"});
    EXPECT_EQ(other.reserve, true);
    EXPECT_EQ(other.forcedWrites, false);
    // Unreadable numbers and missing lines stay unknown instead of stopping the cycle.
    EXPECT_FALSE(other.pageBuffers);
    EXPECT_FALSE(other.pageSize);
    EXPECT_FALSE(other.sweepInterval);
    EXPECT_FALSE(other.sizeBytes);
}

// The header's values win; an attachment fills in what the header did not give,
// but never the page buffers, where it reports its own cache.
TEST(RunReportTest, HeaderValuesComeFirstAndOnlyTheHeaderGivesPageBuffers)
{
    RunReportDatabase attached;
    attached.sizeBytes = 1000;
    attached.pageSize = 4096;
    attached.pageBuffers = 2048;
    attached.sweepInterval = 20000;
    attached.reserve = true;
    attached.forcedWrites = true;

    const RunReportDatabase header = ReadHeaderSettings(
        {"\tPage size\t\t8192", "\tPage buffers\t\t0", "\tAttributes\t\tno reserve", "\tSweep interval:\t\t0"});
    const RunReportDatabase merged = PreferHeaderValues(header, attached);
    EXPECT_EQ(merged.sizeBytes, 1000);
    EXPECT_EQ(merged.pageSize, 8192);
    EXPECT_EQ(merged.pageBuffers, 0);
    EXPECT_EQ(merged.sweepInterval, 0);
    EXPECT_EQ(merged.reserve, false);
    EXPECT_EQ(merged.forcedWrites, false);

    // No header at all (the file is missing, the server refuses): null page buffers.
    const RunReportDatabase unread = PreferHeaderValues({}, attached);
    EXPECT_EQ(unread.pageBuffers, std::nullopt);
    EXPECT_EQ(unread.pageSize, 4096);
    EXPECT_EQ(unread.sweepInterval, 20000);
    EXPECT_EQ(unread.reserve, true);
    EXPECT_EQ(unread.forcedWrites, true);
    TRunReport report;
    report.SetAfter(PreferHeaderValues({}, {}));
    EXPECT_NE(report.ToJson().find("\"pageBuffers\": null"), std::string::npos) << report.ToJson();
}

TEST(RunReportTest, WriteFileReplacesTheReportAtomicallyAndLeavesNoTemporaryFile)
{
    test::TemporaryFolder folder;
    const std::string path = folder.File(RunReportFileName);

    TRunReport first;
    first.Finish(1, 0);
    first.WriteFile(path);
    EXPECT_EQ(test::ReadFileText(path), first.ToJson());

    TRunReport second;
    second.SetDatabase("/srv/base/BD.FDB");
    second.Finish(0, 0);
    second.WriteFile(path);
    EXPECT_EQ(test::ReadFileText(path), second.ToJson());
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{RunReportFileName});
    // Only the run's user reads what a run kept.
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);


    // The rename cannot replace a folder: the error names it, and no temporary file stays.
    const std::string blocked = folder.File("blocked");
    ASSERT_EQ(::mkdir(blocked.c_str(), 0755), 0);
    EXPECT_THROW(platform::WriteFileDurably(blocked, "{}"), EOSError);
    EXPECT_EQ(FolderEntries(folder.Path()).size(), 2u);

    // A folder that does not exist: nothing can be written.
    try {
        second.WriteFile(folder.File("missing/" + std::string(RunReportFileName)));
        ADD_FAILURE() << "no error";
    } catch (const EOSError& error) {
        EXPECT_NE(error.Message().find("missing"), std::string::npos) << error.Message();
    }
    EXPECT_EQ(test::ReadFileText(path), second.ToJson());
}

} // namespace
} // namespace morvane
