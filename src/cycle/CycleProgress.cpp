#include "cycle/CycleProgress.h"

#include "core/Format.h"

#include <algorithm>
#include <cmath>

namespace morvane {

namespace {

// Never 100 % before the server ends the request: the last rows are followed by
// the indexes (restore) and the closing of the file.
constexpr double MostBeforeEnd = 0.99;
// Below this the rate says nothing yet.
constexpr double LeastForEstimate = 0.01;
// Early in a step the pace against the last run rests on little: it is drawn
// towards the last run's own pace as if this share of its duration had gone alike.
constexpr double PaceAnchor = 0.05;
// A pace beyond these is a different database, not a slower or faster night.
constexpr double FastestPace = 0.2;
constexpr double SlowestPace = 5.0;
// Once past the end the last run foretold, every further second adds half a second
// to the time left: the step is late, and nothing tells by how much.
constexpr double OverrunShare = 0.5;

// The work a point stands for: a line and a row of the output count alike.
double Work(std::int64_t lines, double rows) { return static_cast<double>(lines) + rows; }

// The seconds into the traced request at which it had first done `work`, in a
// straight line between two of its points; its end when it never did.
double SecondsAtWork(const ProgressTrace& trace, double work)
{
    if (work <= 0)
        return 0;
    ProgressPoint before; // the request's start
    for (const ProgressPoint& point : trace) {
        const double reached = Work(point.lines, static_cast<double>(point.rows));
        if (reached >= work) {
            // Nothing before had done that much: `before` did less than `work`.
            const double from = Work(before.lines, static_cast<double>(before.rows));
            const double share = (work - from) / (reached - from);
            return (static_cast<double>(before.ms) + share * static_cast<double>(point.ms - before.ms)) / 1000.0;
        }
        before = point;
    }
    return static_cast<double>(trace.back().ms) / 1000.0;
}

ProgressEstimate EstimateFromTrace(const ProgressSample& sample, const ProgressTrace& trace)
{
    const ProgressPoint& end = trace.back();
    const double lastDuration = static_cast<double>(end.ms) / 1000.0;
    // A restore that transfers more rows than last time (the backup said how many)
    // reaches the last run's last rows only at its own: its rows are scaled to the
    // last run's, so that the index build after them is met where it was.
    double rows = static_cast<double>(std::max<std::int64_t>(sample.recordsDone, 0));
    if (sample.recordsExpected > 0 && end.rows > 0)
        rows = rows * static_cast<double>(end.rows) / static_cast<double>(sample.recordsExpected);
    const double done = Work(std::max<std::int64_t>(sample.lines, 0), rows);
    const double then = SecondsAtWork(trace, done);
    const double elapsed = std::max(sample.elapsedSeconds, 0.0);
    const double seen = std::clamp(sample.outputSeenSeconds, 0.0, elapsed);
    const double anchor = PaceAnchor * lastDuration;
    const double pace = std::clamp((seen + anchor) / (then + anchor), FastestPace, SlowestPace);
    const double foretoldEnd = seen + pace * (lastDuration - then);
    ProgressEstimate estimate;
    estimate.secondsLeft =
        foretoldEnd > elapsed ? foretoldEnd - elapsed : OverrunShare * (elapsed - foretoldEnd);
    const double whole = elapsed + *estimate.secondsLeft;
    estimate.fraction = whole > 0 ? std::clamp(elapsed / whole, 0.0, MostBeforeEnd) : 0.0;
    return estimate;
}

// Seconds to the hundredth under a minute, with the decimal comma whatever the
// process's locale; the usual text above.
std::string PreciseDurationText(double seconds)
{
    const long long hundredths = seconds > 0 ? std::llround(seconds * 100) : 0;
    if (hundredths >= 6000)
        return DurationText(seconds);
    return FormatText("%lld,%02lld s", hundredths / 100, hundredths % 100);
}

std::string PercentText(double fraction) { return FormatText("%d %%", static_cast<int>(fraction * 100)); }

} // namespace

ProgressEstimate EstimateProgress(const ProgressSample& sample, const ProgressTrace& previous)
{
    if (UsableTrace(previous))
        return EstimateFromTrace(sample, previous);
    ProgressEstimate estimate;
    const auto share = [](std::int64_t done, std::int64_t expected) {
        return static_cast<double>(std::max<std::int64_t>(done, 0)) / static_cast<double>(expected);
    };
    double done = 0;
    if (sample.recordsExpected > 0 || sample.linesExpected > 0)
        done = share(sample.recordsDone + (sample.linesExpected > 0 ? sample.lines : 0),
                     sample.recordsExpected + sample.linesExpected);
    else if (sample.bytesExpected > 0 || sample.tablesExpected > 0)
        done = std::max(sample.bytesExpected > 0 ? share(sample.bytesDone, sample.bytesExpected) : 0.0,
                        sample.tablesExpected > 0 ? share(sample.tablesDone, sample.tablesExpected) : 0.0);
    else
        return estimate;
    estimate.fraction = std::clamp(done, 0.0, MostBeforeEnd);
    if (estimate.fraction >= LeastForEstimate && sample.elapsedSeconds > 0)
        estimate.secondsLeft = sample.elapsedSeconds * (1 - estimate.fraction) / estimate.fraction;
    return estimate;
}

void TRequestProgress::Reply(double elapsedSeconds, std::int64_t lines, std::int64_t rows)
{
    if (lines != lines_ || rows != rows_) {
        lines_ = lines;
        rows_ = rows;
        seen_ = elapsedSeconds;
    }
    // A reply without output is kept too: it says the request was still there.
    trace_.Add({std::llround(elapsedSeconds * 1000), lines, rows});
}

void TRequestProgress::Finish(double elapsedSeconds, std::int64_t lines, std::int64_t rows)
{
    Reply(elapsedSeconds, lines, rows);
    trace_.Finish({std::llround(elapsedSeconds * 1000), lines, rows});
}

ProgressSample TRequestProgress::Sample(double elapsedSeconds) const
{
    ProgressSample sample;
    sample.recordsDone = rows_;
    sample.lines = lines_;
    sample.elapsedSeconds = elapsedSeconds;
    sample.outputSeenSeconds = seen_;
    return sample;
}

ProgressSample SampleOfStep(ProgressSample sample, bool traced, std::int64_t databaseBytes,
                            const std::function<std::int64_t()>& writtenBytes)
{
    sample.bytesExpected = databaseBytes;
    if (!traced && sample.recordsExpected <= 0 && sample.linesExpected <= 0 && writtenBytes)
        sample.bytesDone = writtenBytes();
    return sample;
}

std::string DurationText(double seconds)
{
    const long long total = seconds > 0 ? std::llround(seconds) : 0;
    if (total < 60)
        return FormatText("%lld s", total);
    if (total < 3600)
        return FormatText("%lld min %02lld s", total / 60, total % 60);
    return FormatText("%lld h %02lld min", total / 3600, total % 3600 / 60);
}

std::string TimeLeftText(double seconds) { return DurationText(std::max(seconds, 1.0)); }

std::string ProgressLine(const std::string& step, const ProgressEstimate& estimate, double elapsedSeconds)
{
    std::string line = "Progression " + step + " : " + PercentText(estimate.fraction) + " ; écoulé " +
                       DurationText(elapsedSeconds) + " ; reste ";
    line += estimate.secondsLeft ? "environ " + TimeLeftText(*estimate.secondsLeft) : std::string("inconnu");
    return line;
}

std::string ProgressLogLine(const std::string& step, const ProgressEstimate& estimate, double elapsedSeconds)
{
    std::string line = "Progression " + step + " : " + PercentText(estimate.fraction) + " ; écoulé " +
                       PreciseDurationText(elapsedSeconds) + " ; reste ";
    line += estimate.secondsLeft ? "environ " + PreciseDurationText(*estimate.secondsLeft) : std::string("inconnu");
    return line;
}

std::string ProgressEndLogLine(const std::string& step, double elapsedSeconds)
{
    return "Progression " + step + " : 100 % ; écoulé " + PreciseDurationText(elapsedSeconds) + " ; terminé";
}

} // namespace morvane
