// The health figures before and after a rebuild in the run report, its summary line
// and the metrics file.

#include "cycle/RunHistory.h"
#include "cycle/RunReport.h"
#include "cycle/RunReportHealth.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <regex>
#include <sstream>

namespace morvane {
namespace {

DatabaseHealth Side(std::int64_t oldest, std::int64_t next, std::int64_t versions, std::int64_t fileBytes,
                    bool tablesRead = true)
{
    DatabaseHealth health;
    health.oldestTransaction = oldest;
    health.oldestActive = next - 1;
    health.oldestSnapshot = next - 1;
    health.nextTransaction = next;
    health.pageSize = 4096;
    health.fileBytes = fileBytes;
    health.tablesRead = tablesRead;
    if (tablesRead) {
        health.tables.push_back({"CLIENTS", 500, versions, versions > 0 ? 40 : 0, 30, 55});
        health.tables.push_back({"PETITE", 3, 0, 0, 1, 10});
    }
    return health;
}

TEST(RunReportHealthTest, ReportHoldsBothSidesAndTheGain)
{
    TRunReport report;
    report.SetDatabase("127.0.0.1:/srv/BD.FDB");
    report.SetHealthBefore(Side(10, 3010, 20000, 8 << 20));
    report.SetHealthAfter(Side(2990, 3012, 0, 2 << 20));
    report.Finish(0);

    const nlohmann::json json = nlohmann::json::parse(report.ToJson());
    const nlohmann::json& health = json.at("health");
    EXPECT_EQ(health["before"]["transactionGap"], 3000);
    EXPECT_EQ(health["before"]["backVersions"], 20000);
    EXPECT_EQ(health["before"]["longestChain"], 40);
    EXPECT_EQ(health["before"]["dataBytes"], 31 * 4096);
    EXPECT_EQ(health["before"]["largestTables"][0]["name"], "CLIENTS");
    EXPECT_EQ(health["before"]["largestTables"][0]["averageFillPercent"], 55);
    EXPECT_EQ(health["after"]["transactionGap"], 22);
    EXPECT_EQ(health["after"]["backVersions"], 0);
    EXPECT_EQ(health["gain"]["bytes"], 6 << 20);
    EXPECT_EQ(health["gain"]["backVersions"], 20000);
    EXPECT_EQ(health["gain"]["transactionGap"], 2978);
    // The history's line is the same object.
    EXPECT_EQ(nlohmann::json::parse(report.HistoryLine())["health"], health);
    EXPECT_THAT(report.SummaryLine(),
                testing::HasSubstr("santé : écart de transactions 3000 => 22, versions anciennes 20000 => 0, "
                                   "gain 6291456 octets"));
}

// A side not read, or read without its tables, leaves what needs it null, and the
// metrics without its samples: nothing is made up.
TEST(RunReportHealthTest, WhatWasNotReadStaysNull)
{
    const nlohmann::json headerOnly = nlohmann::json::parse(
        HealthJson(Side(10, 3010, 0, 1000, false), std::nullopt).dump());
    EXPECT_EQ(headerOnly["before"]["transactionGap"], 3000);
    EXPECT_FALSE(headerOnly["before"].contains("backVersions"));
    EXPECT_TRUE(headerOnly["after"].is_null());
    EXPECT_TRUE(headerOnly["gain"]["bytes"].is_null());
    EXPECT_TRUE(headerOnly["gain"]["backVersions"].is_null());

    const std::string metrics = HealthMetricsText("db", Side(10, 3010, 0, 1000, false), std::nullopt);
    EXPECT_THAT(metrics, testing::HasSubstr("morvane_database_transaction_gap{database=\"db\",when=\"before\"} 3000\n"));
    EXPECT_THAT(metrics, testing::Not(testing::HasSubstr("back_versions")));
    EXPECT_THAT(metrics, testing::Not(testing::HasSubstr("gain")));
    EXPECT_EQ(HealthMetricsText("db", std::nullopt, std::nullopt), "");
    TRunReport empty;
    EXPECT_THAT(empty.SummaryLine(), testing::Not(testing::HasSubstr("santé")));
}

TEST(RunReportHealthTest, MetricsFileCarriesTheGaugesAFleetAlertsOn)
{
    TRunReport report;
    report.SetDatabase("127.0.0.1:/srv/\"BD\".FDB");
    report.SetHealthBefore(Side(10, 3010, 20000, 8 << 20));
    report.SetHealthAfter(Side(2990, 3012, 0, 2 << 20));
    report.Finish(0);
    const std::string text = PrometheusMetrics(report);

    const std::regex sample(R"re(([a-z_]+)\{(database="(?:[^"\\]|\\.)*"(?:,when="(before|after)")?)\} (-?[0-9.e+]+))re");
    std::map<std::string, std::string> values;
    std::string family;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("# HELP ")) {
            family = line.substr(7, line.find(' ', 7) - 7);
            continue;
        }
        if (line.starts_with("# TYPE "))
            continue;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, sample)) << line;
        EXPECT_EQ(m[1], family) << line;
        values[std::string(m[1]) + (m[3].matched ? "/" + std::string(m[3]) : "")] = m[4];
    }
    EXPECT_EQ(values["morvane_database_transaction_gap/before"], "3000");
    EXPECT_EQ(values["morvane_database_transaction_gap/after"], "22");
    EXPECT_EQ(values["morvane_database_back_versions/before"], "20000");
    EXPECT_EQ(values["morvane_database_back_versions/after"], "0");
    EXPECT_EQ(values["morvane_database_longest_version_chain/before"], "40");
    EXPECT_EQ(values["morvane_database_data_ratio/after"], "0.0605469");
    EXPECT_EQ(values["morvane_last_run_gain_bytes"], "6291456");
    EXPECT_EQ(values["morvane_last_run_gain_back_versions"], "20000");
}

} // namespace
} // namespace morvane
