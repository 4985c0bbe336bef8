// The progress estimate of the backup and the restore, and the line an unattended
// run writes with it.

#include "cycle/CycleProgress.h"

#include <gtest/gtest.h>

#include <optional>

namespace morvane {
namespace {

TEST(CycleProgress, EstimateFromRowsElseFromFileSizes)
{
    const struct {
        const char* what;
        ProgressSample sample;
        double fraction;
        std::optional<double> left;
    } cases[] = {
        {"rows against the last run", {250, 1000, 0, 0, 10}, 0.25, 30},
        {"rows win over file sizes", {500, 1000, 900, 1000, 20}, 0.5, 20},
        {"sizes without a last run", {0, 0, 300, 1200, 6}, 0.25, 18},
        {"more rows than last time: never 100 % before the end", {1500, 1000, 0, 0, 99}, 0.99, 1},
        {"nothing to weigh against", {500, 0, 100, 0, 10}, 0, std::nullopt},
        {"too early to tell", {1, 1000, 0, 0, 5}, 0.001, std::nullopt},
        {"no time yet", {500, 1000, 0, 0, 0}, 0.5, std::nullopt},
        {"a negative count is no progress", {-5, 1000, 0, 0, 3}, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ProgressEstimate estimate = EstimateProgress(c.sample);
        EXPECT_DOUBLE_EQ(estimate.fraction, c.fraction);
        ASSERT_EQ(estimate.secondsLeft.has_value(), c.left.has_value());
        if (c.left)
            EXPECT_NEAR(*estimate.secondsLeft, *c.left, 1e-9);
    }
}

TEST(CycleProgress, TheFileIsMeasuredOnlyWhenTheRowsCannotTell)
{
    int looks = 0;
    const auto fileSize = [&looks]() -> std::int64_t {
        ++looks;
        return 300;
    };
    const ProgressSample byRows = SampleOfStep(500, 1000, 4000, fileSize, 2.0);
    EXPECT_EQ(looks, 0);
    EXPECT_EQ(byRows.recordsDone, 500);
    EXPECT_EQ(byRows.recordsExpected, 1000);
    EXPECT_EQ(byRows.bytesDone, 0);
    EXPECT_DOUBLE_EQ(EstimateProgress(byRows).fraction, 0.5);

    // No earlier run to weigh the rows against: the file written against the database's.
    const ProgressSample bySize = SampleOfStep(500, 0, 4000, fileSize, 2.0);
    EXPECT_EQ(looks, 1);
    EXPECT_EQ(bySize.bytesDone, 300);
    EXPECT_EQ(bySize.bytesExpected, 4000);
    EXPECT_GT(EstimateProgress(bySize).fraction, 0.0);
}

TEST(CycleProgress, LineForStandardError)
{
    EXPECT_EQ(DurationText(0), "0 s");
    EXPECT_EQ(DurationText(59.4), "59 s");
    EXPECT_EQ(DurationText(65), "1 min 05 s");
    EXPECT_EQ(DurationText(3725), "1 h 02 min");
    EXPECT_EQ(DurationText(-3), "0 s");
    EXPECT_EQ(ProgressLine("backup", {0.42, 90.0}, 65), "Progression backup : 42 % ; écoulé 1 min 05 s ; reste environ 1 min 30 s");
    EXPECT_EQ(ProgressLine("restore", {0, std::nullopt}, 2), "Progression restore : 0 % ; écoulé 2 s ; reste inconnu");
}

TEST(CycleProgress, ThrottleLetsOneCallThroughPerInterval)
{
    using namespace std::chrono;
    TProgressThrottle throttle(seconds(5));
    const TProgressThrottle::Clock::time_point t0{};
    EXPECT_TRUE(throttle.Due(t0));
    EXPECT_FALSE(throttle.Due(t0 + milliseconds(4999)));
    EXPECT_TRUE(throttle.Due(t0 + seconds(5)));
    EXPECT_FALSE(throttle.Due(t0 + seconds(6)));
    throttle.Reset();
    EXPECT_TRUE(throttle.Due(t0 + seconds(6)));
}

} // namespace
} // namespace morvane
