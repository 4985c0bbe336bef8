#pragma once
// What outlives one run besides its report: the history of the last runs, one JSON
// object a line beside the program, the metrics file the node exporter's textfile
// collector reads, and what of the last run the next one's progress estimate
// leans on.

#include "cycle/RunReport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

// In the database's state folder, beside its last report.
inline constexpr const char* RunHistoryFileName = "runs.jsonl";
inline constexpr std::size_t RunHistoryKept = 365;

// The metrics file of one database in the collector's folder: "morvane-" and the
// database's state name, so the databases of one server each have theirs.
std::string MetricsFileName(const std::string& databaseStateName);

// The history's lines with one more at the end, only the last `kept` staying.
// Blank lines and the end of a line cut by a crash are dropped.
std::string AppendHistoryLine(std::string_view history, const std::string& line, std::size_t kept = RunHistoryKept);

// Appends the report's line to the history file at path (written whole, durably).
// Raises EOSError when it cannot be written.
void AppendRunHistory(const std::string& path, const TRunReport& report);

// The report in Prometheus text format: exit status, start time, duration, the
// database's size before and after, and each step's duration, labelled with the
// database. A value not known has no sample.
std::string PrometheusMetrics(const TRunReport& report);

// Writes PrometheusMetrics into folder/MetricsFileName(databaseStateName),
// atomically: the run's user's alone (0600), or readable by a collector's group
// (0640) when one is named. Raises EOSError, also for a group the system does not know.
void WriteMetricsFile(const std::string& folder, const std::string& databaseStateName, const TRunReport& report,
                      const std::string& readerGroup = {});

// The rows the last run's backup wrote and its restore read back, summed over its
// tables; 0 for a side that is not known (no report, an unreadable one, a step
// that did not finish).
struct PreviousRunRows {
    std::int64_t backup{0};
    std::int64_t restore{0};
};
PreviousRunRows PreviousRunRowsFromReport(std::string_view reportJson) noexcept;

// What the last run's report gives the estimate of this run's time left: its rows,
// and the trace of its backup and of its restore (empty when not kept or not usable).
struct PreviousRun {
    PreviousRunRows rows;
    ProgressTrace backup;
    ProgressTrace restore;
};
PreviousRun PreviousRunFromReport(std::string_view reportJson) noexcept;

} // namespace morvane
