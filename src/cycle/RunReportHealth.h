#pragma once
// The health figures in the run report, the run history and the metrics file:
// before the cut and after the rebuilt database was back, and what the rebuild
// gained (bytes of file, back versions, transaction gap).

#include "session/DatabaseHealth.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace morvane {

// How many tables the report names, the largest by data pages.
inline constexpr std::size_t HealthReportTables = 10;

// {"before": …, "after": …, "gain": …}; a side not read is null, and so is a gain
// that needs both.
nlohmann::ordered_json HealthJson(const std::optional<DatabaseHealth>& before,
                                  const std::optional<DatabaseHealth>& after);

// What the rebuild gained: before − after, when both sides know the value.
struct HealthGain {
    std::optional<std::int64_t> bytes;
    std::optional<std::int64_t> backVersions;
    std::optional<std::int64_t> transactionGap;
};
HealthGain GainOf(const std::optional<DatabaseHealth>& before, const std::optional<DatabaseHealth>& after);

// " ; santé : écart de transactions B => A, versions anciennes B => A, gain N octets"
// for the log's summary line; empty when nothing was read.
std::string HealthSummaryText(const std::optional<DatabaseHealth>& before,
                              const std::optional<DatabaseHealth>& after);

// The health gauges in Prometheus text format, labelled with the database (its
// value already escaped for a label) and "when" before or after.
std::string HealthMetricsText(const std::string& databaseLabel, const std::optional<DatabaseHealth>& before,
                              const std::optional<DatabaseHealth>& after);

} // namespace morvane
