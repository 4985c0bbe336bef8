#pragma once
// What one backup cycle did, kept for the administrator who reads it the next
// morning: a summary line for the log and a JSON file in the database's state folder.

#include "core/DateTime.h"
#include "cycle/ProgressTrace.h"
#include "session/DatabaseHealth.h"

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

// The file the last cycle's report on a database goes to, in its state folder.
inline constexpr const char* RunReportFileName = "last-run.json";

enum class StepOutcome {
    Running, // begun and never ended: the cycle stopped inside it ("interrupted")
    Ok,
    Failed,
    Skipped,
    Refused, // a check stopped the cycle before the step could do anything
};

// The outcome as the JSON file writes it: "interrupted", "ok", "failed", "skipped", "refused".
const char* StepOutcomeText(StepOutcome outcome) noexcept;

struct RunReportStep {
    std::string name;
    StepOutcome outcome{StepOutcome::Running};
    std::int64_t durationMs{0};
    std::string detail; // why it failed or was skipped; empty when there is nothing to say
};

// The database as one side of the cycle saw it. A value not known (the header could
// not be read, the file was missing) stays empty and is written as null.
struct RunReportDatabase {
    std::optional<std::int64_t> sizeBytes;
    std::optional<int> pageSize;
    std::optional<int> pageBuffers;
    std::optional<int> sweepInterval;
    std::optional<bool> reserve;      // space reserved on each page for record versions
    std::optional<bool> forcedWrites; // true: synchronous writes; false: asynchronous
    std::optional<bool> readOnly;
    std::optional<int> dialect;       // the SQL dialect of the database
};

// A user table and its rows as the backup wrote them and the restore read them
// back; a count not known (the step did not run or failed) stays empty.
struct RunReportTable {
    std::string name;
    std::optional<std::int64_t> backupRows;
    std::optional<std::int64_t> restoredRows;
};

// The settings of a header statistics report (the lines the window lists), with the
// file's size. A value the report does not hold, or holds unreadably, stays unknown:
// a report must never stop the cycle it describes.
RunReportDatabase ReadHeaderSettings(const std::vector<std::string>& reportLines,
                                     std::optional<std::int64_t> sizeBytes = std::nullopt);

// The header's values where it gives them, those read through an attachment
// elsewhere (read-only and dialect are the attachment's only). The page buffers are
// the header's only: an attachment reports its own cache, whatever the header holds.
RunReportDatabase PreferHeaderValues(const RunReportDatabase& header, const RunReportDatabase& attached);

class TRunReport {
public:
    TRunReport() = default;

    // The database the cycle works on, as the window names it.
    void SetDatabase(std::string database) { database_ = std::move(database); }
    const std::string& Database() const noexcept { return database_; }

    void Start(TDateTime at = Now()) { startedAt_ = at; }
    // The exit status the program ends with; the end time is taken here.
    void Finish(int exitStatus, TDateTime at = Now());
    TDateTime StartedAt() const noexcept { return startedAt_; }
    std::optional<TDateTime> FinishedAt() const noexcept { return finishedAt_; }
    std::optional<int> ExitStatus() const noexcept { return exitStatus_; }

    // Begins a step on the program's clock (core/DateTime.h, so tests set the time);
    // returns the index EndStep takes.
    std::size_t BeginStep(std::string name);
    // Ends a step begun with BeginStep; its duration is the time since then. An index
    // that names no step is ignored: reporting must never stop a cycle.
    void EndStep(std::size_t step, StepOutcome outcome, std::string detail = {});
    // A step whose duration is already known (or a step that never ran: Skipped, 0).
    void AddStep(std::string name, StepOutcome outcome, std::int64_t durationMs = 0, std::string detail = {});
    const std::vector<RunReportStep>& Steps() const noexcept { return steps_; }
    // A stop request ended the cycle: a step says so and the report is marked.
    void MarkInterrupted();
    bool Interrupted() const noexcept { return interrupted_; }

    void SetBefore(const RunReportDatabase& before) { before_ = before; }
    void SetAfter(const RunReportDatabase& after) { after_ = after; }
    const RunReportDatabase& Before() const noexcept { return before_; }
    const RunReportDatabase& After() const noexcept { return after_; }

    // How long clients could not use the database: from the start of the cut (the
    // grace given to running transactions included) to the database online at its
    // path again. 0 when nothing was cut; nothing when it was not back at the end.
    void SetDowntime(std::optional<std::int64_t> milliseconds) { downtimeMs_ = milliseconds; }
    std::optional<std::int64_t> DowntimeMs() const noexcept { return downtimeMs_; }
    // How long readers could not read it: the same as the downtime unless the cycle
    // kept the database readable, when only its cuts count.
    void SetReadDowntime(std::optional<std::int64_t> milliseconds) { readDowntimeMs_ = milliseconds; }
    std::optional<std::int64_t> ReadDowntimeMs() const noexcept { return readDowntimeMs_ ? *readDowntimeMs_ : downtimeMs_; }

    // The health figures read while the database was online, before the cut and once
    // the rebuilt database was back (RunReportHealth.h); unknown when not read.
    void SetHealthBefore(std::optional<DatabaseHealth> health) { healthBefore_ = std::move(health); }
    void SetHealthAfter(std::optional<DatabaseHealth> health) { healthAfter_ = std::move(health); }
    const std::optional<DatabaseHealth>& HealthBefore() const noexcept { return healthBefore_; }
    const std::optional<DatabaseHealth>& HealthAfter() const noexcept { return healthAfter_; }

    void SetTables(std::vector<RunReportTable> tables) { tables_ = std::move(tables); }
    const std::vector<RunReportTable>& Tables() const noexcept { return tables_; }

    // How a request that ended well went ("backup", "restore"), for the next run's
    // estimate of its time left. In the report only: the history has no use for it.
    void SetTrace(const std::string& step, ProgressTrace trace) { traces_[step] = std::move(trace); }
    const std::map<std::string, ProgressTrace>& Traces() const noexcept { return traces_; }
    // Why the cycle failed, in plain words, when the cycle could tell more than the
    // server's lines (a restore's index, its table and the fix); empty otherwise.
    void SetFailureCause(std::string cause) { failureCause_ = std::move(cause); }
    const std::string& FailureCause() const noexcept { return failureCause_; }

    // The report as a JSON object (UTF-8, times as local ISO 8601), indented.
    std::string ToJson() const;
    // The same object on one line, as the run history holds it.
    std::string HistoryLine() const;
    // One line for the log, in the program's language.
    std::string SummaryLine() const;

    // Writes ToJson() to path so that a reader sees either the previous report or the
    // whole new one: a temporary file beside it, flushed to disk, then renamed.
    // Raises EOSError when the file cannot be written.
    void WriteFile(const std::string& path) const;

private:
    std::string database_;
    TDateTime startedAt_{0};
    std::optional<TDateTime> finishedAt_;
    std::optional<int> exitStatus_;
    std::vector<RunReportStep> steps_;
    bool interrupted_{false};
    std::optional<std::int64_t> downtimeMs_{0};
    std::optional<std::optional<std::int64_t>> readDowntimeMs_;
    std::vector<TDateTime> stepStarts_;
    RunReportDatabase before_;
    RunReportDatabase after_;
    std::vector<RunReportTable> tables_;
    std::optional<DatabaseHealth> healthBefore_;
    std::optional<DatabaseHealth> healthAfter_;
    std::map<std::string, ProgressTrace> traces_;
    std::string failureCause_;

    nlohmann::ordered_json ToJsonValue() const;
};

// Milliseconds from one moment to a later one; 0 when the clock went back.
std::int64_t MillisecondsBetween(TDateTime from, TDateTime to);

// A date-time as local ISO 8601 to the millisecond: "2026-12-10T04:08:49.123".
std::string IsoDateTime(TDateTime value);

} // namespace morvane
