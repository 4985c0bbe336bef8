#pragma once
// How far the backup or the restore has gone and how long it may still take.
//
// The best guide is the same step of the last run on this database: its trace (see
// ProgressTrace.h) says when it had reached each point of its output, the time
// after its last rows included (the restore builds the indexes then). The step now
// is placed on that trace by its output so far, and its pace against the last
// run's gives the end. Without a trace, the database's shape as far as it is known:
// a restore's lines and rows against those of the backup it reads, a backup's rows
// against the last run's; with neither, the tables whose data is done against the
// tables the backup declared, or the size of the file being written against the
// database's, whichever has gone further.

#include "cycle/ProgressTrace.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace morvane {

struct ProgressSample {
    std::int64_t recordsDone{0};
    // The rows this step should transfer: for a restore, what this run's backup
    // wrote; otherwise the last run's rows for this step. 0: not known.
    std::int64_t recordsExpected{0};
    std::int64_t bytesDone{0};     // the file this step writes
    std::int64_t bytesExpected{0}; // the database file; 0: not known
    double elapsedSeconds{0};
    std::int64_t lines{0};           // the output's lines so far
    double outputSeenSeconds{0};     // elapsed when the lines or the rows last moved on
    std::int64_t linesExpected{0};   // a restore: the lines of the backup it reads; 0: not known
    std::int64_t tablesDone{0};      // a backup: tables whose data is written
    std::int64_t tablesExpected{0};  // a backup: the tables it declared; 0: not known yet
};

struct ProgressEstimate {
    double fraction{0};                 // 0 to 0.99 while the step runs: it ends when the server says so
    std::optional<double> secondsLeft; // unknown at the very start and without any measure
};

// From the last run's trace of this step when it is usable, else from the rows,
// else from the file sizes.
ProgressEstimate EstimateProgress(const ProgressSample& sample, const ProgressTrace& previous = {});

// One request followed reply by reply: when its output last moved on, and its trace.
class TRequestProgress {
public:
    // A reply of the server has been read: the lines and rows so far, and the
    // seconds since the request started.
    void Reply(double elapsedSeconds, std::int64_t lines, std::int64_t rows);
    // The request has ended (successfully: only then is its trace a guide).
    void Finish(double elapsedSeconds, std::int64_t lines, std::int64_t rows);
    // What is known now for the estimate, without the expectations and the sizes.
    ProgressSample Sample(double elapsedSeconds) const;
    const ProgressTrace& Trace() const noexcept { return trace_.Trace(); }

private:
    TProgressTraceRecorder trace_;
    std::int64_t lines_{0};
    std::int64_t rows_{0};
    double seen_{0};
};

// Completes a step's sample: the size of the file it writes is asked only when
// neither a trace nor the lines and rows expected can tell (it costs a look at the
// file).
ProgressSample SampleOfStep(ProgressSample sample, bool traced, std::int64_t databaseBytes,
                            const std::function<std::int64_t()>& writtenBytes);

// "12 s", "4 min 05 s", "1 h 02 min".
std::string DurationText(double seconds);
// The time left of a step still running: never "0 s", the step is not over.
std::string TimeLeftText(double seconds);

// The line an unattended run writes on standard error:
// "Progression backup : 42 % ; écoulé 1 min 05 s ; reste environ 1 min 30 s".
std::string ProgressLine(const std::string& step, const ProgressEstimate& estimate, double elapsedSeconds);
// The same for the log, to the hundredth of a second under a minute, so that an
// estimate can be set against the step's real end afterwards:
// "Progression backup : 42 % ; écoulé 1,25 s ; reste environ 1,73 s".
std::string ProgressLogLine(const std::string& step, const ProgressEstimate& estimate, double elapsedSeconds);
// The log's line at the step's end: "Progression backup : 100 % ; écoulé 2,98 s ; terminé".
std::string ProgressEndLogLine(const std::string& step, double elapsedSeconds);

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
