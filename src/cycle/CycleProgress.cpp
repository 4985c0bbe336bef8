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

} // namespace

ProgressEstimate EstimateProgress(const ProgressSample& sample)
{
    ProgressEstimate estimate;
    double done = 0;
    if (sample.recordsExpected > 0)
        done = static_cast<double>(std::max<std::int64_t>(sample.recordsDone, 0)) /
               static_cast<double>(sample.recordsExpected);
    else if (sample.bytesExpected > 0)
        done = static_cast<double>(std::max<std::int64_t>(sample.bytesDone, 0)) /
               static_cast<double>(sample.bytesExpected);
    else
        return estimate;
    estimate.fraction = std::clamp(done, 0.0, MostBeforeEnd);
    if (estimate.fraction >= LeastForEstimate && sample.elapsedSeconds > 0)
        estimate.secondsLeft = sample.elapsedSeconds * (1 - estimate.fraction) / estimate.fraction;
    return estimate;
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

std::string ProgressLine(const std::string& step, const ProgressEstimate& estimate, double elapsedSeconds)
{
    std::string line = "Progression " + step + " : " +
                       FormatText("%d %%", static_cast<int>(estimate.fraction * 100)) + " ; écoulé " +
                       DurationText(elapsedSeconds) + " ; reste ";
    line += estimate.secondsLeft ? "environ " + DurationText(*estimate.secondsLeft) : std::string("inconnu");
    return line;
}

ProgressSample SampleOfStep(std::int64_t recordsDone, std::int64_t recordsExpected, std::int64_t databaseBytes,
                            const std::function<std::int64_t()>& writtenBytes, double elapsedSeconds)
{
    ProgressSample sample;
    sample.recordsDone = recordsDone;
    sample.recordsExpected = recordsExpected;
    sample.bytesExpected = databaseBytes;
    if (recordsExpected <= 0 && writtenBytes)
        sample.bytesDone = writtenBytes();
    sample.elapsedSeconds = elapsedSeconds;
    return sample;
}

} // namespace morvane
