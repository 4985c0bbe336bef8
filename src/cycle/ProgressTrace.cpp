#include "cycle/ProgressTrace.h"

#include <algorithm>

namespace morvane {

void TProgressTraceRecorder::Add(const ProgressPoint& point)
{
    if (!points_.empty() && point.ms - points_.back().ms < gapMs_)
        return;
    points_.push_back(point);
    if (points_.size() > ProgressTraceSize)
        Thin();
}

void TProgressTraceRecorder::Finish(const ProgressPoint& end)
{
    // The end is what the next run's estimate aims at: it replaces a last point
    // taken at the same moment, and stays even when it breaks the bound by one.
    if (!points_.empty() && points_.back().ms >= end.ms)
        points_.pop_back();
    points_.push_back(end);
}

void TProgressTraceRecorder::Thin()
{
    const std::int64_t span = points_.back().ms - points_.front().ms;
    gapMs_ = std::max<std::int64_t>({gapMs_ * 2, span / static_cast<std::int64_t>(ProgressTraceSize / 2), 1});
    ProgressTrace kept{points_.front()};
    for (std::size_t i = 1; i < points_.size(); ++i)
        if (points_[i].ms - kept.back().ms >= gapMs_)
            kept.push_back(points_[i]);
    points_ = std::move(kept);
}

bool UsableTrace(const ProgressTrace& trace) noexcept
{
    if (trace.empty())
        return false;
    // From the request's start: nothing done at 0 ms.
    ProgressPoint previous;
    for (const ProgressPoint& point : trace) {
        if (point.ms < previous.ms || point.lines < previous.lines || point.rows < previous.rows)
            return false;
        previous = point;
    }
    return trace.back().ms > 0;
}

} // namespace morvane
