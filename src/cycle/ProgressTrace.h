#pragma once
// The course of one backup or restore request, kept in the run report so that the
// next run on the database knows how long each part of the step took: the metadata,
// the rows, and what comes after the last rows (the restore builds the indexes then).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morvane {

// Where a request was at one moment: milliseconds since it started, the output's
// lines and the rows transferred so far.
struct ProgressPoint {
    std::int64_t ms{0};
    std::int64_t lines{0};
    std::int64_t rows{0};
    bool operator==(const ProgressPoint&) const = default;
};

// A whole request, its points in time order; the last one is its end.
using ProgressTrace = std::vector<ProgressPoint>;

// At most this many points are kept of one request, spread over its whole time.
inline constexpr std::size_t ProgressTraceSize = 64;

// Records a trace as the request's replies arrive, in a bounded number of points:
// when they fill up, the gap between two kept points doubles and the points closer
// than that go. The first point and the end always stay.
class TProgressTraceRecorder {
public:
    void Add(const ProgressPoint& point);
    // The request ended at this point.
    void Finish(const ProgressPoint& end);
    const ProgressTrace& Trace() const noexcept { return points_; }

private:
    void Thin();

    ProgressTrace points_;
    std::int64_t gapMs_{0};
};

// A trace that can guide an estimate: points in time order, counts that never go
// back, an end after the start. A report edited by hand or written by another
// version is no guide.
bool UsableTrace(const ProgressTrace& trace) noexcept;

} // namespace morvane
