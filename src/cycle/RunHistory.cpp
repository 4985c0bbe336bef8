#include "cycle/RunHistory.h"

#include "cycle/RunReportHealth.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "platform/DurableFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <deque>
#include <utility>
#include <vector>

namespace morvane {

namespace {

// A label value: backslash, double quote and line feed escaped.
std::string LabelValue(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string Number(double value)
{
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return FormatText("%.0f", value);
    return FormatText("%.3f", value);
}

// Seconds since the Unix epoch of a local date-time.
double UnixSeconds(TDateTime value)
{
    const DateTimeParts p = DecodeDateTime(value);
    std::tm tm{};
    tm.tm_year = p.year - 1900;
    tm.tm_mon = p.month - 1;
    tm.tm_mday = p.day;
    tm.tm_hour = p.hour;
    tm.tm_min = p.minute;
    tm.tm_sec = p.second;
    tm.tm_isdst = -1;
    return static_cast<double>(std::mktime(&tm)) + p.millisecond / 1000.0;
}

class MetricsText {
public:
    explicit MetricsText(std::string database) : database_(LabelValue(database)) {}

    void Family(const char* name, const char* help)
    {
        name_ = name;
        text_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
    }
    void Sample(double value, const std::vector<std::pair<std::string, std::string>>& labels = {})
    {
        text_ += name_ + "{database=\"" + database_ + "\"";
        for (const auto& [label, text] : labels)
            text_ += "," + label + "=\"" + LabelValue(text) + "\"";
        text_ += "} " + Number(value) + "\n";
    }
    const std::string& Text() const noexcept { return text_; }

private:
    std::string database_;
    std::string name_;
    std::string text_;
};

} // namespace

std::string AppendHistoryLine(std::string_view history, const std::string& line, std::size_t kept)
{
    std::deque<std::string_view> lines;
    while (!history.empty()) {
        const std::size_t end = history.find('\n');
        // A last line without its line feed was cut while written: it is not a run.
        if (end == std::string_view::npos)
            break;
        const std::string_view one = history.substr(0, end);
        if (one.find_first_not_of(" \r\t") != std::string_view::npos)
            lines.push_back(one);
        history.remove_prefix(end + 1);
    }
    while (!lines.empty() && lines.size() + 1 > kept)
        lines.pop_front();
    std::string out;
    for (std::string_view one : lines)
        out.append(one).append("\n");
    if (kept > 0)
        out += line + "\n";
    return out;
}

void AppendRunHistory(const std::string& path, const TRunReport& report)
{
    const std::string history = platform::ReadWholeFile(path).value_or("");
    platform::WriteFileDurably(path, AppendHistoryLine(history, report.HistoryLine()), 0600);
}

std::string PrometheusMetrics(const TRunReport& report)
{
    MetricsText metrics(report.Database());
    if (const auto status = report.ExitStatus()) {
        metrics.Family("morvane_last_run_exit_status", "Exit status of the last rebuild cycle (0: completed).");
        metrics.Sample(*status);
    }
    metrics.Family("morvane_last_run_start_time_seconds", "Start of the last rebuild cycle, seconds since the epoch.");
    metrics.Sample(UnixSeconds(report.StartedAt()));
    if (const auto finished = report.FinishedAt()) {
        metrics.Family("morvane_last_run_duration_seconds", "Duration of the last rebuild cycle.");
        const double seconds = std::round((*finished - report.StartedAt()) * MillisecondsPerDay) / 1000.0;
        metrics.Sample(seconds > 0 ? seconds : 0);
    }
    if (const auto downtime = report.DowntimeMs()) {
        metrics.Family("morvane_last_run_downtime_seconds",
                       "Time clients could not use the database during the last rebuild cycle.");
        metrics.Sample(static_cast<double>(*downtime) / 1000.0);
    }
    if (const auto downtime = report.ReadDowntimeMs()) {
        metrics.Family("morvane_last_run_read_downtime_seconds",
                       "Time clients could not read the database during the last rebuild cycle.");
        metrics.Sample(static_cast<double>(*downtime) / 1000.0);
    }
    const auto before = report.Before().sizeBytes;
    const auto after = report.After().sizeBytes;
    if (before || after) {
        metrics.Family("morvane_last_run_database_size_bytes",
                       "Size of the database file before and after the last rebuild cycle.");
        if (before)
            metrics.Sample(static_cast<double>(*before), {{"when", "before"}});
        if (after)
            metrics.Sample(static_cast<double>(*after), {{"when", "after"}});
    }
    // One sample per step name: a step the cycle ran twice counts once, summed.
    std::vector<std::pair<std::string, std::int64_t>> steps;
    for (const RunReportStep& step : report.Steps()) {
        auto found = std::find_if(steps.begin(), steps.end(), [&](const auto& s) { return s.first == step.name; });
        if (found == steps.end())
            steps.emplace_back(step.name, step.durationMs);
        else
            found->second += step.durationMs;
    }
    if (!steps.empty()) {
        metrics.Family("morvane_last_run_step_duration_seconds", "Duration of each step of the last rebuild cycle.");
        for (const auto& [name, ms] : steps)
            metrics.Sample(static_cast<double>(ms) / 1000.0, {{"step", name}});
    }
    return metrics.Text() + HealthMetricsText(LabelValue(report.Database()), report.HealthBefore(), report.HealthAfter());
}

std::string MetricsFileName(const std::string& databaseStateName) { return "morvane-" + databaseStateName + ".prom"; }

void WriteMetricsFile(const std::string& folder, const std::string& databaseStateName, const TRunReport& report,
                      const std::string& readerGroup)
{
    const std::string separator = !folder.empty() && folder.back() == '/' ? "" : "/";
    const std::string path = folder + separator + MetricsFileName(databaseStateName);
    if (readerGroup.empty()) {
        platform::WriteFileDurably(path, PrometheusMetrics(report), 0600);
        return;
    }
    const std::optional<gid_t> group = platform::GroupIdOf(readerGroup);
    if (!group)
        throw EOSError("Groupe inconnu de ce système (MetricsGroup): " + readerGroup, 0);
    platform::WriteFileDurablyForGroup(path, PrometheusMetrics(report), 0640, *group);
}

PreviousRunRows PreviousRunRowsFromReport(std::string_view reportJson) noexcept
{
    PreviousRunRows rows;
    try {
        const nlohmann::json report = nlohmann::json::parse(reportJson);
        const nlohmann::json& tables = report.at("tables");
        std::int64_t backup = 0;
        std::int64_t restore = 0;
        bool backupKnown = !tables.empty();
        bool restoreKnown = !tables.empty();
        for (const nlohmann::json& table : tables) {
            const nlohmann::json& written = table.at("backupRows");
            const nlohmann::json& read = table.at("restoredRows");
            if (written.is_number_integer() && written.get<std::int64_t>() >= 0)
                backup += written.get<std::int64_t>();
            else
                backupKnown = false;
            if (read.is_number_integer() && read.get<std::int64_t>() >= 0)
                restore += read.get<std::int64_t>();
            else
                restoreKnown = false;
        }
        rows.backup = backupKnown ? backup : 0;
        rows.restore = restoreKnown ? restore : 0;
    } catch (const std::exception&) {
        // No report, or one of another version: the estimate falls back on file sizes.
        return {};
    }
    return rows;
}

namespace {

// A trace as the report keeps it, [ms, lines, rows] a point; empty when it is
// missing or anything in it is not what this version writes.
ProgressTrace TraceFromJson(const nlohmann::json& progress, const char* step)
{
    ProgressTrace trace;
    const auto found = progress.find(step);
    if (found == progress.end() || !found->is_array())
        return {};
    for (const nlohmann::json& point : *found) {
        if (!point.is_array() || point.size() != 3)
            return {};
        for (const nlohmann::json& value : point)
            if (!value.is_number_integer())
                return {};
        trace.push_back({point[0].get<std::int64_t>(), point[1].get<std::int64_t>(), point[2].get<std::int64_t>()});
    }
    return UsableTrace(trace) ? trace : ProgressTrace{};
}

} // namespace

PreviousRun PreviousRunFromReport(std::string_view reportJson) noexcept
{
    PreviousRun previous;
    previous.rows = PreviousRunRowsFromReport(reportJson);
    try {
        const nlohmann::json report = nlohmann::json::parse(reportJson);
        const auto progress = report.find("progress");
        if (progress != report.end() && progress->is_object()) {
            previous.backup = TraceFromJson(*progress, "backup");
            previous.restore = TraceFromJson(*progress, "restore");
        }
    } catch (const std::exception&) {
        // No report, or one of another version: no trace to go by.
    }
    return previous;
}

} // namespace morvane
