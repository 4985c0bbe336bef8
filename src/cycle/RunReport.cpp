// The run report: pure text building, and one atomic file write.

#include "cycle/RunReport.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Text.h"
#include "global/Global_Utils.h"
#include "cycle/HeaderReport.h"
#include "platform/DurableFile.h"

#include <cmath>
#include <cstring>

namespace morvane {

namespace {

std::int64_t MillisecondsBetween(TDateTime from, TDateTime to)
{
    const double ms = std::round((to - from) * MillisecondsPerDay);
    // A clock set back during the run must not give a negative duration.
    return ms > 0 ? static_cast<std::int64_t>(ms) : 0;
}

// Length of the valid UTF-8 sequence at text[i], or 0 when the bytes there are not one
// (overlong forms, surrogates and code points above U+10FFFF included).
std::size_t Utf8SequenceLength(const std::string& text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return length;
}

void AppendOptional(std::string& out, const std::optional<std::int64_t>& value)
{
    out += value ? std::to_string(*value) : "null";
}

void AppendOptional(std::string& out, const std::optional<int>& value)
{
    out += value ? std::to_string(*value) : "null";
}

void AppendDatabase(std::string& out, const RunReportDatabase& db)
{
    out += "{\"sizeBytes\": ";
    AppendOptional(out, db.sizeBytes);
    out += ", \"pageSize\": ";
    AppendOptional(out, db.pageSize);
    out += ", \"pageBuffers\": ";
    AppendOptional(out, db.pageBuffers);
    out += ", \"sweepInterval\": ";
    AppendOptional(out, db.sweepInterval);
    out += ", \"reserve\": ";
    out += db.reserve ? (*db.reserve ? "true" : "false") : "null";
    out += ", \"writeMode\": ";
    out += db.forcedWrites ? (*db.forcedWrites ? "\"sync\"" : "\"async\"") : "null";
    out += "}";
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

std::string RunReportPath() { return ProgramFolder() + RunReportFileName; }

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

std::string TRunReport::ToJson() const
{
    std::string out = "{\n";
    out += "  \"database\": " + JsonQuote(database_) + ",\n";
    out += "  \"started\": " + JsonQuote(IsoDateTime(startedAt_)) + ",\n";
    out += "  \"finished\": " + (finishedAt_ ? JsonQuote(IsoDateTime(*finishedAt_)) : std::string("null")) + ",\n";
    out += "  \"durationMs\": " +
           (finishedAt_ ? std::to_string(MillisecondsBetween(startedAt_, *finishedAt_)) : std::string("null")) +
           ",\n";
    out += "  \"exitStatus\": " + (exitStatus_ ? std::to_string(*exitStatus_) : std::string("null")) + ",\n";
    out += std::string("  \"interrupted\": ") + (interrupted_ ? "true" : "false") + ",\n";
    out += "  \"steps\": [";
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        const RunReportStep& s = steps_[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    {\"name\": " + JsonQuote(s.name) + ", \"outcome\": \"" + StepOutcomeText(s.outcome) +
               "\", \"durationMs\": " + std::to_string(s.durationMs) + ", \"detail\": " + JsonQuote(s.detail) + "}";
    }
    out += steps_.empty() ? "],\n" : "\n  ],\n";
    out += "  \"before\": ";
    AppendDatabase(out, before_);
    out += ",\n  \"after\": ";
    AppendDatabase(out, after_);
    out += "\n}\n";
    return out;
}

std::string TRunReport::SummaryLine() const
{
    std::string line = "Rapport du cycle : ";
    line += exitStatus_ ? "code de sortie " + std::to_string(*exitStatus_) : std::string("non terminé");
    if (finishedAt_)
        line += FormatText(", durée %.1f s", static_cast<double>(MillisecondsBetween(startedAt_, *finishedAt_)) / 1000.0);
    line += " ; étapes :";
    if (steps_.empty())
        line += " aucune";
    for (std::size_t i = 0; i < steps_.size(); ++i)
        line += (i == 0 ? " " : ", ") + steps_[i].name + " " + FrenchOutcome(steps_[i].outcome);
    line += " ; taille de la base : " + SizeText(before_.sizeBytes) + " => " + SizeText(after_.sizeBytes) + " octets";
    return line;
}

void TRunReport::WriteFile(const std::string& path) const
{
    // A report holds nothing secret: readable by the site as the log is.
    platform::WriteFileDurably(path, ToJson(), 0644);
}

std::string JsonQuote(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F)
                    out += FormatText("\\u%04x", static_cast<unsigned>(c));
                else
                    out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        // Line and paragraph separators are valid JSON but break JavaScript readers.
        if (length == 3 && c == 0xE2 && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    out += '"';
    return out;
}

std::string IsoDateTime(TDateTime value)
{
    const DateTimeParts p = DecodeDateTime(value);
    return FormatText("%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.year, p.month, p.day, p.hour, p.minute, p.second,
                      p.millisecond);
}

} // namespace morvane
