#include "cycle/RunReportHealth.h"

#include "core/Format.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <utility>
#include <vector>

namespace morvane {

namespace {

using Json = nlohmann::ordered_json;

template <typename T>
Json Optional(const std::optional<T>& value)
{
    return value ? Json(*value) : Json(nullptr);
}

Json SideJson(const DatabaseHealth& health)
{
    Json out;
    out["oldestTransaction"] = Optional(health.oldestTransaction);
    out["oldestActive"] = Optional(health.oldestActive);
    out["oldestSnapshot"] = Optional(health.oldestSnapshot);
    out["nextTransaction"] = Optional(health.nextTransaction);
    out["transactionGap"] = Optional(health.TransactionGap());
    out["fileBytes"] = Optional(health.fileBytes);
    out["tablesRead"] = health.tablesRead;
    if (!health.tablesRead)
        return out;
    out["dataBytes"] = Optional(health.DataBytes());
    const std::optional<double> percent = health.DataPercent();
    out["dataPercent"] = percent ? Json(std::round(*percent * 10) / 10) : Json(nullptr);
    out["records"] = health.Records();
    out["backVersions"] = health.BackVersions();
    out["longestChain"] = health.LongestChain();
    out["dataPages"] = health.DataPages();
    out["tableCount"] = health.tables.size();
    out["largestTables"] = Json::array();
    for (const TableHealth& table : LargestTables(health, HealthReportTables))
        out["largestTables"].push_back({{"name", table.name},
                                        {"records", table.records},
                                        {"backVersions", table.backVersions},
                                        {"longestChain", table.longestChain},
                                        {"dataPages", table.dataPages},
                                        {"averageFillPercent", table.averageFillPercent}});
    return out;
}

std::optional<std::int64_t> Less(const std::optional<std::int64_t>& before, const std::optional<std::int64_t>& after)
{
    if (!before || !after)
        return std::nullopt;
    return *before - *after;
}

std::optional<std::int64_t> Versions(const std::optional<DatabaseHealth>& health)
{
    return health && health->tablesRead ? std::optional<std::int64_t>(health->BackVersions()) : std::nullopt;
}

std::string Text(const std::optional<std::int64_t>& value) { return value ? std::to_string(*value) : "?"; }

// Counts whole, as the other metrics write them; a ratio to six significant digits.
std::string Number(double value)
{
    return value == std::floor(value) ? FormatText("%.0f", value) : FormatText("%.6g", value);
}

} // namespace

HealthGain GainOf(const std::optional<DatabaseHealth>& before, const std::optional<DatabaseHealth>& after)
{
    HealthGain gain;
    if (!before || !after)
        return gain;
    gain.bytes = Less(before->fileBytes, after->fileBytes);
    gain.backVersions = Less(Versions(before), Versions(after));
    gain.transactionGap = Less(before->TransactionGap(), after->TransactionGap());
    return gain;
}

Json HealthJson(const std::optional<DatabaseHealth>& before, const std::optional<DatabaseHealth>& after)
{
    Json out;
    out["before"] = before ? SideJson(*before) : Json(nullptr);
    out["after"] = after ? SideJson(*after) : Json(nullptr);
    const HealthGain gain = GainOf(before, after);
    out["gain"] = {{"bytes", Optional(gain.bytes)},
                   {"backVersions", Optional(gain.backVersions)},
                   {"transactionGap", Optional(gain.transactionGap)}};
    return out;
}

std::string HealthSummaryText(const std::optional<DatabaseHealth>& before, const std::optional<DatabaseHealth>& after)
{
    if (!before && !after)
        return {};
    auto gap = [](const std::optional<DatabaseHealth>& h) { return h ? h->TransactionGap() : std::nullopt; };
    std::string text = " ; santé : écart de transactions " + Text(gap(before)) + " => " + Text(gap(after));
    if (Versions(before) || Versions(after))
        text += ", versions anciennes " + Text(Versions(before)) + " => " + Text(Versions(after));
    if (const std::optional<std::int64_t> bytes = GainOf(before, after).bytes)
        text += ", gain " + std::to_string(*bytes) + " octets";
    return text;
}

std::string HealthMetricsText(const std::string& databaseLabel, const std::optional<DatabaseHealth>& before,
                              const std::optional<DatabaseHealth>& after)
{
    std::string text;
    const std::vector<std::pair<const char*, const std::optional<DatabaseHealth>*>> sides = {{"before", &before},
                                                                                             {"after", &after}};
    auto family = [&](const char* name, const char* help, auto value) {
        std::string samples;
        for (const auto& [when, side] : sides)
            if (*side)
                if (const std::optional<double> v = value(**side))
                    samples += std::string(name) + "{database=\"" + databaseLabel + "\",when=\"" + when + "\"} " +
                               Number(*v) + "\n";
        if (!samples.empty())
            text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n" + samples;
    };
    family("morvane_database_transaction_gap",
           "Next transaction minus the oldest interesting, active or snapshot one, the largest; before the cut "
           "and after the rebuilt database was back.",
           [](const DatabaseHealth& h) -> std::optional<double> {
               const auto gap = h.TransactionGap();
               return gap ? std::optional<double>(static_cast<double>(*gap)) : std::nullopt;
           });
    family("morvane_database_back_versions", "Back versions of records in the user tables.",
           [](const DatabaseHealth& h) -> std::optional<double> {
               return h.tablesRead ? std::optional<double>(static_cast<double>(h.BackVersions())) : std::nullopt;
           });
    family("morvane_database_longest_version_chain", "Most versions one record carries.",
           [](const DatabaseHealth& h) -> std::optional<double> {
               return h.tablesRead ? std::optional<double>(static_cast<double>(h.LongestChain())) : std::nullopt;
           });
    family("morvane_database_data_ratio", "Share of the database file that the user tables' data pages make (0 to 1).",
           [](const DatabaseHealth& h) -> std::optional<double> {
               const auto percent = h.DataPercent();
               return percent ? std::optional<double>(*percent / 100.0) : std::nullopt;
           });
    const HealthGain gain = GainOf(before, after);
    if (gain.bytes)
        text += "# HELP morvane_last_run_gain_bytes Bytes of database file the last rebuild gave back.\n"
                "# TYPE morvane_last_run_gain_bytes gauge\nmorvane_last_run_gain_bytes{database=\"" +
                databaseLabel + "\"} " + Number(static_cast<double>(*gain.bytes)) + "\n";
    if (gain.backVersions)
        text += "# HELP morvane_last_run_gain_back_versions Back versions the last rebuild removed.\n"
                "# TYPE morvane_last_run_gain_back_versions gauge\nmorvane_last_run_gain_back_versions{database=\"" +
                databaseLabel + "\"} " + Number(static_cast<double>(*gain.backVersions)) + "\n";
    return text;
}

} // namespace morvane
