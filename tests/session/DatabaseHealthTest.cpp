// The health figures read from recorded statistics reports, the recommendation by
// its thresholds, and the figures' lines as the window and --health show them.

#include "session/DatabaseHealth.h"
#include "session/HealthAdvice.h"
#include "session/HealthSettings.h"
#include "session/HeaderReport.h"

#include "core/Exception.h"
#include "core/Text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace morvane {
namespace {

// The statistics service's reply with data pages and record versions on a database
// left with a transaction gap by a killed client (Firebird 3.0.11; each line ends
// with the blank the service puts in place of its line feed).
constexpr const char* RecordedReport = R"( 
Database "/tmp/h28/g.fdb" 
Gstat execution time Fri Dec 11 11:30:44 2026 
 
Database header page information: 
	Flags			0 
	Generation		150 
	Page size		8192 
	ODS version		12.0 
	Oldest transaction	73 
	Oldest active		142 
	Oldest snapshot		141 
	Next transaction	142 
	Next attachment ID	26 
	Page buffers		0 
	Attributes		 
 
    Variable header data: 
	Sweep interval:		0 
	*END* 
 
Database file sequence: 
File /tmp/h28/g.fdb is the only file 
 
Analyzing database pages ... 
Stock (2026) (129) 
    Primary pointer page: 194, Index root page: 195 
    Total formats: 1, used formats: 1 
    Average record length: 12.00, total records: 1 
    Average version length: 0.00, total versions: 0, max versions: 0 
    Average fragment length: 0.00, total fragments: 0, max fragments: 0 
    Pointer pages: 1, data page slots: 2 
    Data pages: 2, average fill: 0% 
    Primary pages: 1, secondary pages: 1, swept pages: 0 
    Blobs: 1, total length: 1, blob pages: 0 
        Level 0: 1, Level 1: 0, Level 2: 0 
    Fill distribution: 
	 0 - 19% = 2 
	80 - 99% = 0 
 
T (128) 
    Primary pointer page: 181, Index root page: 182 
    Average record length: 9.55, total records: 1000 
    Average version length: 9.00, total versions: 838, max versions: 3 
    Average fragment length: 3.00, total fragments: 227, max fragments: 1 
    Pointer pages: 1, data page slots: 16 
    Data pages: 16, average fill: 43% 
    Fill distribution: 
	 0 - 19% = 8 
	80 - 99% = 6 
 
Gstat completion time Fri Dec 11 11:30:44 2026 
)";

TEST(DatabaseHealthTest, RecordedReportGivesTheCountersAndEveryTable)
{
    const std::vector<std::string> lines = SplitLines(RecordedReport);
    DatabaseHealth health = ParseStatisticsReport(lines);
    EXPECT_EQ(health.oldestTransaction, 73);
    EXPECT_EQ(health.oldestActive, 142);
    EXPECT_EQ(health.oldestSnapshot, 141);
    EXPECT_EQ(health.nextTransaction, 142);
    EXPECT_EQ(health.pageSize, 8192);
    EXPECT_EQ(health.databaseFile, "/tmp/h28/g.fdb");
    EXPECT_EQ(health.InterestingGap(), 69);
    EXPECT_EQ(health.ActiveGap(), 0);
    EXPECT_EQ(health.SnapshotGap(), 1);
    EXPECT_EQ(health.TransactionGap(), 69);
    ASSERT_TRUE(health.tablesRead);
    ASSERT_EQ(health.tables.size(), 2u);
    // A name with brackets and blanks of its own keeps them.
    EXPECT_EQ(health.tables[0].name, "Stock (2026)");
    EXPECT_EQ(health.tables[0].records, 1);
    EXPECT_EQ(health.tables[0].dataPages, 2);
    const TableHealth& t = health.tables[1];
    EXPECT_EQ(t.name, "T");
    EXPECT_EQ(t.records, 1000);
    EXPECT_EQ(t.backVersions, 838);
    EXPECT_EQ(t.longestChain, 3);
    EXPECT_EQ(t.dataPages, 16);
    EXPECT_EQ(t.averageFillPercent, 43);
    EXPECT_EQ(health.Records(), 1001);
    EXPECT_EQ(health.BackVersions(), 838);
    EXPECT_EQ(health.DataPages(), 18);
    EXPECT_EQ(health.DataBytes(), 18 * 8192);
    EXPECT_FALSE(health.DataPercent()) << "no file size yet";
    health.fileBytes = 18 * 8192 * 4;
    EXPECT_DOUBLE_EQ(*health.DataPercent(), 25.0);
    EXPECT_EQ(LargestTables(health, 1).at(0).name, "T");
}

TEST(DatabaseHealthTest, HeaderAloneLeavesTheTablesUnread)
{
    const std::string report = RecordedReport;
    const std::vector<std::string> lines = SplitLines(report.substr(0, report.find("Analyzing")));
    const DatabaseHealth health = ParseStatisticsReport(lines);
    EXPECT_EQ(health.TransactionGap(), 69);
    EXPECT_FALSE(health.tablesRead);
    EXPECT_TRUE(health.tables.empty());
    EXPECT_FALSE(health.DataBytes());
}

// What a damaged or unexpected report gives: never an exception, an unreadable
// value unknown or 0, nothing read past its line.
TEST(DatabaseHealthTest, UnexpectedLinesLeaveValuesUnknown)
{
    struct Case {
        const char* report;
        std::optional<std::int64_t> next;
        std::size_t tables;
        std::int64_t records;
    };
    const Case cases[] = {
        {"", std::nullopt, 0, 0},
        {"\tNext transaction\t", std::nullopt, 0, 0},
        {"\tNext transaction\t-5", std::nullopt, 0, 0},
        {"\tNext transaction\t99999999999999999999999", std::nullopt, 0, 0},
        {"\tNext transactions\t12", std::nullopt, 0, 0},
        {"\tNext transaction\t12abc", 12, 0, 0},
        // A table heading before the analysis is not a table.
        {"T (128)\n    Average record length: 1.00, total records: 5", std::nullopt, 0, 0},
        {"Analyzing database pages ...\nT (128)\n    total records: x", std::nullopt, 1, 0},
        {"Analyzing database pages ...\nT (12a)\n    total records: 7", std::nullopt, 0, 0},
        {"Analyzing database pages ...\n (1)\n    total records: 7", std::nullopt, 0, 0},
        // Indented lines outside a table belong to none.
        {"Analyzing database pages ...\nGstat completion time\n    total records: 7", std::nullopt, 0, 0},
        {"Analyzing database pages ...\nT (1)\n    total records: 9223372036854775807\nU (2)\n"
         "    total records: 9223372036854775807",
         std::nullopt, 2, INT64_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.report);
        const DatabaseHealth health = ParseStatisticsReport(SplitLines(c.report));
        EXPECT_EQ(health.nextTransaction, c.next);
        EXPECT_EQ(health.tables.size(), c.tables);
        EXPECT_EQ(health.Records(), c.records);
    }
}

DatabaseHealth Figures(std::int64_t gap, std::int64_t versions, std::int64_t chain, std::int64_t dataPages,
                       std::int64_t fileBytes, bool tablesRead = true)
{
    DatabaseHealth health;
    health.oldestTransaction = 100;
    health.oldestActive = 100 + gap / 2;
    health.oldestSnapshot = 100 + gap / 2;
    health.nextTransaction = 100 + gap;
    health.pageSize = 8192;
    health.fileBytes = fileBytes;
    health.tablesRead = tablesRead;
    if (tablesRead)
        health.tables.push_back(TableHealth{"T", 10, versions, chain, dataPages, 80});
    return health;
}

TEST(DatabaseHealthTest, EachThresholdPassedIsAReasonNamingItsSetting)
{
    constexpr std::int64_t MiB = 1024 * 1024;
    const HealthThresholds thresholds; // the defaults: 20000, 100000, 50, 30 %
    struct Case {
        DatabaseHealth health;
        std::vector<std::string> settings; // the settings the reasons name, in order
    };
    const std::vector<Case> cases = {
        {Figures(20000, 100000, 50, 4000, 100 * MiB), {}},
        {Figures(20001, 0, 1, 4000, 100 * MiB), {"HealthMaxTransactionGap"}},
        {Figures(10, 100001, 51, 4000, 100 * MiB), {"HealthMaxBackVersions", "HealthMaxVersionChain"}},
        // 1000 pages of 8 KiB in 100 MiB: 7.8 % of the file.
        {Figures(10, 0, 1, 1000, 100 * MiB), {"HealthMinDataPercent"}},
        // A small file is mostly the system's own pages: its share says nothing.
        {Figures(10, 0, 1, 10, 10 * MiB), {}},
        // Tables not read: only the gap counts.
        {Figures(30000, 0, 0, 0, 100 * MiB, false), {"HealthMaxTransactionGap"}},
        {Figures(10, 0, 0, 0, 100 * MiB, false), {}},
        // Counters not known: no reason.
        {DatabaseHealth{}, {}},
    };
    for (const Case& c : cases) {
        const HealthAdvice advice = AdviseRebuild(c.health, thresholds);
        SCOPED_TRACE(testing::PrintToString(advice.reasons));
        EXPECT_EQ(advice.rebuild, !c.settings.empty());
        ASSERT_EQ(advice.reasons.size(), c.settings.size());
        for (std::size_t i = 0; i < c.settings.size(); ++i)
            EXPECT_THAT(advice.reasons[i], testing::HasSubstr(c.settings[i]));
        const std::vector<std::string> lines = AdviceLines(advice);
        EXPECT_THAT(lines.at(0), testing::HasSubstr(advice.rebuild ? "reconstruction conseillée"
                                                                   : "aucune reconstruction nécessaire"));
    }
}

// The window reads its settings from every line of its report area: the figures'
// lines must set nothing, whatever they hold (a table named like a header field).
TEST(DatabaseHealthTest, NoReportLineIsReadAsAHeaderSetting)
{
    for (const bool tablesRead : {true, false}) {
        DatabaseHealth health = Figures(5, 3, 2, 40, 1000000, tablesRead);
        if (tablesRead) {
            health.tables.push_back(TableHealth{"Page size", 1, 0, 0, 1, 10});
            health.tables.push_back(TableHealth{"Database \"x\"", 1, 0, 0, 1, 10});
        }
        for (const std::string& line : HealthReportLines(health))
            for (const HeaderKeyword keyword : HeaderKeywords)
                EXPECT_FALSE(ParseHeaderReport(line, keyword)) << line;
        for (const std::string& line : AdviceLines(AdviseRebuild(Figures(50000, 0, 0, 1, 1), {})))
            for (const HeaderKeyword keyword : HeaderKeywords)
                EXPECT_FALSE(ParseHeaderReport(line, keyword)) << line;
    }
}

// Values at the fifth tab stop (column 32), as the header report aligns its own.
TEST(DatabaseHealthTest, ValuesLineUpAtTheHeaderReportsColumn)
{
    const std::vector<std::string> lines = HealthReportLines(Figures(5, 3, 2, 40, 1000000));
    ASSERT_GT(lines.size(), 5u);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        std::size_t column = 0;
        std::size_t at = 0;
        for (; at < line.size(); ++at) {
            const unsigned char c = static_cast<unsigned char>(line[at]);
            if (c == '\t')
                column = (column / 8 + 1) * 8;
            else if ((c & 0xC0) != 0x80)
                ++column;
            if (c == '\t' && at + 1 < line.size() && line[at + 1] != '\t' && at > 0)
                break;
        }
        EXPECT_EQ(column, 32u) << line;
    }
    EXPECT_EQ(lines[0], "Santé de la base :");
}

TEST(DatabaseHealthTest, SettingsTakeTheirRangesAndNameTheKeyWhenRefused)
{
    TJobSettings settings;
    HealthSettings health = HealthSettingsOf(settings);
    EXPECT_EQ(health.thresholds.maxTransactionGap, 20000);
    EXPECT_TRUE(health.tables);
    EXPECT_FALSE(health.checkAuto);

    settings.healthMaxTransactionGap = " 1000 ";
    settings.healthMinDataPercent = "0";
    settings.healthTables = "0";
    settings.healthCheckAuto = "1";
    health = HealthSettingsOf(settings);
    EXPECT_EQ(health.thresholds.maxTransactionGap, 1000);
    EXPECT_EQ(health.thresholds.minDataPercent, 0);
    EXPECT_FALSE(health.tables);
    EXPECT_TRUE(health.checkAuto);

    struct Case {
        std::optional<std::string> TJobSettings::*member;
        const char* text;
        const char* message;
    };
    const Case refused[] = {
        {&TJobSettings::healthMaxTransactionGap, "0", "HealthMaxTransactionGap: '0' n'est pas une valeur acceptée"},
        {&TJobSettings::healthMaxTransactionGap, "1e3", "n'est pas une valeur numérique valide"},
        {&TJobSettings::healthMaxBackVersions, "-1", "HealthMaxBackVersions"},
        {&TJobSettings::healthMaxVersionChain, "", "HealthMaxVersionChain: '' n'est pas une valeur numérique"},
        {&TJobSettings::healthMinDataPercent, "101", "(de 0 à 100)"},
        {&TJobSettings::healthTables, "2", "HealthTables"},
        {&TJobSettings::healthCheckAuto, "oui", "HealthCheckAuto"},
    };
    for (const Case& c : refused) {
        TJobSettings bad;
        bad.*c.member = c.text;
        try {
            HealthSettingsOf(bad);
            ADD_FAILURE() << c.text << " was taken";
        } catch (const EConvertError& error) {
            EXPECT_THAT(error.what(), testing::HasSubstr(c.message));
        }
    }
}

} // namespace
} // namespace morvane
