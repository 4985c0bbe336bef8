// The run report: pure text building, and one atomic file write.

#include "cycle/RunReport.h"

#include "cycle/RunReportHealth.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Text.h"
#include "global/Global_Utils.h"
#include "session/HeaderReport.h"
#include "platform/DurableFile.h"

#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

namespace morvane {

std::int64_t MillisecondsBetween(TDateTime from, TDateTime to)
{
    const double ms = std::round((to - from) * MillisecondsPerDay);
    // A clock set back during the run must not give a negative duration.
    return ms > 0 ? static_cast<std::int64_t>(ms) : 0;
}

namespace {

template <typename T>
nlohmann::ordered_json Optional(const std::optional<T>& value)
{
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json DatabaseJson(const RunReportDatabase& db)
{
    nlohmann::ordered_json out;
    out["sizeBytes"] = Optional(db.sizeBytes);
    out["pageSize"] = Optional(db.pageSize);
    out["pageBuffers"] = Optional(db.pageBuffers);
    out["sweepInterval"] = Optional(db.sweepInterval);
    out["reserve"] = Optional(db.reserve);
    out["writeMode"] = db.forcedWrites ? nlohmann::ordered_json(*db.forcedWrites ? "sync" : "async")
                                       : nlohmann::ordered_json(nullptr);
    out["readOnly"] = Optional(db.readOnly);
    out["dialect"] = Optional(db.dialect);
    return out;
}

const char* FrenchOutcome(StepOutcome outcome)
{
    switch (outcome) {
    case StepOutcome::Ok:
        return "ok";
    case StepOutcome::Failed:
        return "échec";
    case StepOutcome::Skipped:
        return "non fait";
    case StepOutcome::Refused:
        return "refusé";
    case StepOutcome::Running:
        break;
    }
    return "interrompu";
}

std::string SizeText(const std::optional<std::int64_t>& size)
{
    return size ? std::to_string(*size) : "?";
}

} // namespace

RunReportDatabase ReadHeaderSettings(const std::vector<std::string>& reportLines, std::optional<std::int64_t> sizeBytes)
{
    RunReportDatabase db;
    db.sizeBytes = sizeBytes;
    for (const std::string& line : reportLines) {
        for (HeaderKeyword keyword : HeaderKeywords) {
            std::optional<HeaderReportValue> value;
            try {
                value = ParseHeaderReport(line, keyword);
            } catch (const EConvertError&) {
                continue; // an unreadable number: that value stays unknown in the report
            }
            if (!value)
                continue;
            switch (value->keyword) {
            case HeaderKeyword::Database:
                break;
            case HeaderKeyword::PageSize: {
                int pageSize = 0;
                if (TryStrToInt(value->text, pageSize))
                    db.pageSize = pageSize;
                break;
            }
            case HeaderKeyword::PageBuffers:
                db.pageBuffers = value->number;
                break;
            case HeaderKeyword::SweepInterval:
                db.sweepInterval = value->number;
                break;
            case HeaderKeyword::Attributes:
                db.reserve = value->reserveIndex == 1;
                db.forcedWrites = value->writeModeIndex == 0;
                break;
            }
        }
    }
    return db;
}

RunReportDatabase PreferHeaderValues(const RunReportDatabase& header, const RunReportDatabase& attached)
{
    RunReportDatabase db;
    db.sizeBytes = header.sizeBytes ? header.sizeBytes : attached.sizeBytes;
    db.pageSize = header.pageSize ? header.pageSize : attached.pageSize;
    db.pageBuffers = header.pageBuffers;
    db.sweepInterval = header.sweepInterval ? header.sweepInterval : attached.sweepInterval;
    db.reserve = header.reserve ? header.reserve : attached.reserve;
    db.forcedWrites = header.forcedWrites ? header.forcedWrites : attached.forcedWrites;
    db.readOnly = attached.readOnly;
    db.dialect = attached.dialect;
    return db;
}

const char* StepOutcomeText(StepOutcome outcome) noexcept
{
    switch (outcome) {
    case StepOutcome::Ok:
        return "ok";
    case StepOutcome::Failed:
        return "failed";
    case StepOutcome::Skipped:
        return "skipped";
    case StepOutcome::Refused:
        return "refused";
    case StepOutcome::Running:
        break;
    }
    return "interrupted";
}

void TRunReport::MarkInterrupted()
{
    interrupted_ = true;
    AddStep("arrêt demandé", StepOutcome::Running, 0, "SIGTERM ou SIGINT reçu: arrêt au prochain point sûr");
}

void TRunReport::Finish(int exitStatus, TDateTime at)
{
    exitStatus_ = exitStatus;
    finishedAt_ = at;
}

std::size_t TRunReport::BeginStep(std::string name)
{
    steps_.push_back(RunReportStep{std::move(name), StepOutcome::Running, 0, {}});
    stepStarts_.resize(steps_.size(), 0);
    stepStarts_.back() = Now();
    return steps_.size() - 1;
}

void TRunReport::EndStep(std::size_t step, StepOutcome outcome, std::string detail)
{
    if (step >= steps_.size())
        return;
    RunReportStep& s = steps_[step];
    s.outcome = outcome;
    s.durationMs = MillisecondsBetween(stepStarts_[step], Now());
    s.detail = std::move(detail);
}

void TRunReport::AddStep(std::string name, StepOutcome outcome, std::int64_t durationMs, std::string detail)
{
    steps_.push_back(RunReportStep{std::move(name), outcome, durationMs < 0 ? 0 : durationMs, std::move(detail)});
    stepStarts_.resize(steps_.size(), 0);
}

nlohmann::ordered_json TRunReport::ToJsonValue() const
{
    nlohmann::ordered_json out;
    out["database"] = database_;
    out["started"] = IsoDateTime(startedAt_);
    out["finished"] = finishedAt_ ? nlohmann::ordered_json(IsoDateTime(*finishedAt_)) : nullptr;
    out["durationMs"] = finishedAt_ ? nlohmann::ordered_json(MillisecondsBetween(startedAt_, *finishedAt_)) : nullptr;
    out["exitStatus"] = Optional(exitStatus_);
    out["interrupted"] = interrupted_;
    out["downtimeMs"] = Optional(downtimeMs_);
    out["readDowntimeMs"] = Optional(ReadDowntimeMs());
    out["failureCause"] =
        failureCause_.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(failureCause_);
    out["steps"] = nlohmann::ordered_json::array();
    for (const RunReportStep& s : steps_)
        out["steps"].push_back({{"name", s.name},
                                {"outcome", StepOutcomeText(s.outcome)},
                                {"durationMs", s.durationMs},
                                {"detail", s.detail}});
    out["tables"] = nlohmann::ordered_json::array();
    for (const RunReportTable& t : tables_)
        out["tables"].push_back(
            {{"name", t.name}, {"backupRows", Optional(t.backupRows)}, {"restoredRows", Optional(t.restoredRows)}});
    out["before"] = DatabaseJson(before_);
    out["after"] = DatabaseJson(after_);
    out["health"] = HealthJson(healthBefore_, healthAfter_);
    return out;
}

std::string TRunReport::ToJson() const
{
    // Bytes that are not UTF-8 (a Windows-1252 name) become U+FFFD: the file stays readable.
    constexpr auto replace = nlohmann::ordered_json::error_handler_t::replace;
    std::string text = ToJsonValue().dump(2, ' ', false, replace);
    // The traces last, one line each ([ms, lines, rows] a point), so that the
    // report stays readable above them.
    text.resize(text.size() - 2); // the line feed and the closing brace
    text += ",\n  \"progress\": {";
    const char* separator = "\n";
    for (const auto& [step, trace] : traces_) {
        nlohmann::ordered_json points = nlohmann::ordered_json::array();
        for (const ProgressPoint& point : trace)
            points.push_back({point.ms, point.lines, point.rows});
        text += separator;
        text += "    " + nlohmann::ordered_json(step).dump(-1, ' ', false, replace) + ": " +
                points.dump(-1, ' ', false, replace);
        separator = ",\n";
    }
    text += traces_.empty() ? "}\n}\n" : "\n  }\n}\n";
    return text;
}

std::string TRunReport::HistoryLine() const
{
    return ToJsonValue().dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string TRunReport::SummaryLine() const
{
    std::string line = "Rapport du cycle : ";
    line += exitStatus_ ? "code de sortie " + std::to_string(*exitStatus_) : std::string("non terminé");
    if (finishedAt_) {
        line += FormatText(", durée %.1f s", static_cast<double>(MillisecondsBetween(startedAt_, *finishedAt_)) / 1000.0);
        const std::optional<std::int64_t> readDowntime = ReadDowntimeMs();
        line += downtimeMs_ && readDowntime
                    ? FormatText(", base indisponible en écriture %.1f s, en lecture %.1f s",
                                 static_cast<double>(*downtimeMs_) / 1000.0, static_cast<double>(*readDowntime) / 1000.0)
                    : std::string(", base pas remise en ligne");
    }
    line += " ; étapes :";
    if (steps_.empty())
        line += " aucune";
    for (std::size_t i = 0; i < steps_.size(); ++i)
        line += (i == 0 ? " " : ", ") + steps_[i].name + " " + FrenchOutcome(steps_[i].outcome);
    line += " ; taille de la base : " + SizeText(before_.sizeBytes) + " => " + SizeText(after_.sizeBytes) + " octets";
    line += HealthSummaryText(healthBefore_, healthAfter_);
    return line;
}

void TRunReport::WriteFile(const std::string& path) const
{
    // A report holds nothing secret: readable by the site as the log is.
    platform::WriteFileDurably(path, ToJson(), 0600);
}

std::string IsoDateTime(TDateTime value)
{
    const DateTimeParts p = DecodeDateTime(value);
    return FormatText("%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.year, p.month, p.day, p.hour, p.minute, p.second,
                      p.millisecond);
}

} // namespace morvane
