#pragma once
// How far the backup or the restore has gone and how long it may still take. The
// rows done so far are weighed against what the last run transferred; without a
// last run, the size of the file being written against the database file's size.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace morvane {

struct ProgressSample {
    std::int64_t recordsDone{0};
    std::int64_t recordsExpected{0}; // the last run's rows for this step; 0: not known
    std::int64_t bytesDone{0};       // the file this step writes
    std::int64_t bytesExpected{0};   // the database file; 0: not known
    double elapsedSeconds{0};
};

struct ProgressEstimate {
    double fraction{0};                 // 0 to 0.99 while the step runs: it ends when the server says so
    std::optional<double> secondsLeft; // unknown at the very start and without any measure
};

ProgressEstimate EstimateProgress(const ProgressSample& sample);

// A step's sample: its rows against the last run's, and the size of the file it
// writes against the database's only when the rows cannot tell (writtenBytes is
// not asked otherwise: it costs a look at the file).
ProgressSample SampleOfStep(std::int64_t recordsDone, std::int64_t recordsExpected, std::int64_t databaseBytes,
                            const std::function<std::int64_t()>& writtenBytes, double elapsedSeconds);

// "12 s", "4 min 05 s", "1 h 02 min".
std::string DurationText(double seconds);

// The line an unattended run writes on standard error:
// "Progression backup : 42 % ; écoulé 1 min 05 s ; reste environ 1 min 30 s".
std::string ProgressLine(const std::string& step, const ProgressEstimate& estimate, double elapsedSeconds);

// Calls through at most once per interval (the first call always passes).
class TProgressThrottle {
public:
    using Clock = std::chrono::steady_clock;
    explicit TProgressThrottle(Clock::duration interval) : interval_(interval) {}
    bool Due(Clock::time_point now)
    {
        if (last_ && now - *last_ < interval_)
            return false;
        last_ = now;
        return true;
    }
    void Reset() { last_.reset(); }

private:
    Clock::duration interval_;
    std::optional<Clock::time_point> last_;
};

} // namespace morvane
