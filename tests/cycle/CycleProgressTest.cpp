// The progress estimate of the backup and the restore, the trace it learns from,
// and the lines an unattended run writes with it.

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
        if (c.left) {
            EXPECT_NEAR(*estimate.secondsLeft, *c.left, 1e-9);
        }
    }
}

// The first run on a database: what its shape tells so far. A restore reads back the
// lines and rows its backup wrote; a backup of many small tables is further on by
// its tables than by the size of its file, one of a few large tables by its file.
TEST(CycleProgress, WithoutATraceTheShapeKnownSoFar)
{
    const auto sample = [](std::int64_t lines, std::int64_t rows, std::int64_t linesExpected,
                           std::int64_t rowsExpected, std::int64_t bytes, std::int64_t bytesExpected,
                           std::int64_t tables, std::int64_t tablesExpected) {
        ProgressSample s;
        s.elapsedSeconds = 3;
        s.lines = lines;
        s.recordsDone = rows;
        s.linesExpected = linesExpected;
        s.recordsExpected = rowsExpected;
        s.bytesDone = bytes;
        s.bytesExpected = bytesExpected;
        s.tablesDone = tables;
        s.tablesExpected = tablesExpected;
        return s;
    };
    const struct {
        const char* what;
        ProgressSample sample;
        double fraction;
    } cases[] = {
        {"a restore: lines and rows against the backup's", sample(1000, 4000, 2000, 18000, 0, 0, 0, 0), 0.25},
        {"a restore of metadata alone", sample(1500, 0, 2000, 0, 0, 0, 0, 0), 0.75},
        {"a backup of many tables: its tables", sample(0, 0, 0, 0, 5, 100, 500, 2000), 0.25},
        {"a backup of two large tables: its file", sample(0, 0, 0, 0, 30, 100, 0, 2), 0.3},
        {"a backup still in its metadata: its file", sample(0, 0, 0, 0, 1, 100, 0, 0), 0.01},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ProgressEstimate estimate = EstimateProgress(c.sample);
        EXPECT_NEAR(estimate.fraction, c.fraction, 1e-12);
        ASSERT_TRUE(estimate.secondsLeft.has_value());
        EXPECT_NEAR(*estimate.secondsLeft, 3 * (1 - c.fraction) / c.fraction, 1e-9);
    }
}

TEST(CycleProgress, TheFileIsMeasuredOnlyWhenNeitherATraceNorTheRowsCanTell)
{
    int looks = 0;
    const auto fileSize = [&looks]() -> std::int64_t {
        ++looks;
        return 300;
    };
    ProgressSample known;
    known.recordsDone = 500;
    known.elapsedSeconds = 2.0;

    ProgressSample rows = known;
    rows.recordsExpected = 1000;
    const ProgressSample byRows = SampleOfStep(rows, false, 4000, fileSize);
    EXPECT_EQ(looks, 0);
    EXPECT_EQ(byRows.recordsDone, 500);
    EXPECT_EQ(byRows.recordsExpected, 1000);
    EXPECT_EQ(byRows.bytesDone, 0);
    EXPECT_DOUBLE_EQ(EstimateProgress(byRows).fraction, 0.5);

    const ProgressSample byTrace = SampleOfStep(known, true, 4000, fileSize);
    EXPECT_EQ(looks, 0) << "a trace of the last run needs no look at the file";
    EXPECT_EQ(byTrace.bytesDone, 0);

    // No earlier run to weigh the rows against: the file written against the database's.
    const ProgressSample bySize = SampleOfStep(known, false, 4000, fileSize);
    EXPECT_EQ(looks, 1);
    EXPECT_EQ(bySize.bytesDone, 300);
    EXPECT_EQ(bySize.bytesExpected, 4000);
    EXPECT_GT(EstimateProgress(bySize).fraction, 0.0);
}

// The last run's restore, 10 s: its metadata for a second, its rows until 4 s, then
// the index build (two indexes, a line each as it starts) with no rows at all.
const ProgressTrace LastRestore = {
    {1000, 50, 0},       {2000, 60, 400000},  {3000, 70, 800000},  {4000, 80, 1000000},
    {5000, 81, 1000000}, {6000, 81, 1000000}, {7000, 81, 1000000}, {8000, 82, 1000000},
    {9000, 82, 1000000}, {10000, 90, 1000000},
};

TEST(CycleProgress, TheLastRunsTraceForetellsTheWholeStepIndexBuildIncluded)
{
    const struct {
        const char* what;
        double elapsed;
        std::int64_t lines, rows;
        double seen;           // when that output came
        std::int64_t expected; // rows this run's backup wrote; 0: not known
        double left, fraction;
    } cases[] = {
        {"nothing yet: the last run's duration", 0, 0, 0, 0, 0, 10, 0},
        {"in the rows, at the last run's pace", 2.5, 60, 400000, 2.0, 0, 7.5, 0.25},
        {"between two replies the time left goes down with the clock", 3.5, 70, 800000, 3.0, 0, 6.5, 0.35},
        {"after the last rows, the whole index build is still ahead", 6.5, 81, 1000000, 5.0, 0, 3.5, 0.65},
        // Half the pace, drawn a little towards the last run's while little is known.
        {"at half the pace", 5, 60, 400000, 4.0, 0, 13.4, 5 / 18.4},
        {"more rows than last time, as the backup said: the index build is met where it was", 6.5, 81, 1100000,
         5.0, 1100000, 3.5, 0.65},
        {"late past the foretold end: the time left grows with the delay, it is never none", 12, 82, 1000000, 8.0,
         0, 1, 12.0 / 13},
        {"at the foretold end", 10, 82, 1000000, 8.0, 0, 0, 0.99},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ProgressSample sample;
        sample.elapsedSeconds = c.elapsed;
        sample.lines = c.lines;
        sample.recordsDone = c.rows;
        sample.outputSeenSeconds = c.seen;
        sample.recordsExpected = c.expected;
        const ProgressEstimate estimate = EstimateProgress(sample, LastRestore);
        ASSERT_TRUE(estimate.secondsLeft.has_value());
        EXPECT_NEAR(*estimate.secondsLeft, c.left, 1e-9);
        EXPECT_NEAR(estimate.fraction, c.fraction, 1e-9);
    }

    // The same moment of the index build without the trace: the rows are all there,
    // and only the bound keeps the estimate off 100 %.
    ProgressSample rowsOnly;
    rowsOnly.elapsedSeconds = 6.5;
    rowsOnly.recordsDone = 1000000;
    rowsOnly.recordsExpected = 1000000;
    EXPECT_LT(*EstimateProgress(rowsOnly).secondsLeft, 0.1);
}

TEST(CycleProgress, ATraceThatCannotGuideIsSetAside)
{
    const struct {
        const char* what;
        ProgressTrace trace;
        bool usable;
    } cases[] = {
        {"none", {}, false},
        {"its end alone", {{3000, 40, 100}}, true},
        {"a whole request", LastRestore, true},
        {"ended at its start", {{0, 0, 0}}, false},
        {"time going back", {{2000, 10, 0}, {1000, 20, 0}}, false},
        {"rows going back", {{1000, 10, 50}, {2000, 20, 40}}, false},
        {"a negative count", {{1000, -1, 0}, {2000, 20, 0}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(UsableTrace(c.trace), c.usable);
    }
    // Set aside, the estimate falls back on the rows.
    ProgressSample sample;
    sample.elapsedSeconds = 10;
    sample.recordsDone = 250;
    sample.recordsExpected = 1000;
    EXPECT_DOUBLE_EQ(*EstimateProgress(sample, {{2000, 10, 0}, {1000, 20, 0}}).secondsLeft, 30);
}

TEST(CycleProgress, ARequestsTraceStaysWithinItsBoundFromStartToEnd)
{
    TRequestProgress request;
    // A reply every 10 ms for 30 s, the output moving on every other reply.
    std::int64_t lines = 0;
    for (int reply = 1; reply <= 3000; ++reply) {
        lines += reply % 2;
        request.Reply(reply / 100.0, lines, lines * 100);
    }
    request.Finish(30.005, lines + 1, lines * 100);
    const ProgressTrace& trace = request.Trace();
    EXPECT_LE(trace.size(), ProgressTraceSize + 1);
    EXPECT_GE(trace.size(), ProgressTraceSize / 2);
    EXPECT_EQ(trace.front(), (ProgressPoint{10, 1, 100}));
    EXPECT_EQ(trace.back(), (ProgressPoint{30005, 1501, 150000}));
    EXPECT_TRUE(UsableTrace(trace));
    // Spread over the whole request: no gap much wider than an even share.
    for (std::size_t i = 1; i < trace.size(); ++i)
        EXPECT_LE(trace[i].ms - trace[i - 1].ms, 4 * 30000 / static_cast<std::int64_t>(ProgressTraceSize)) << i;
}

TEST(CycleProgress, TheOutputIsSeenWhenItMovesOnNotAtEachReply)
{
    TRequestProgress request;
    request.Reply(0.5, 10, 0);
    request.Reply(1.0, 12, 5000);
    request.Reply(2.0, 12, 5000); // the server answered with nothing new
    const ProgressSample sample = request.Sample(2.5);
    EXPECT_EQ(sample.lines, 12);
    EXPECT_EQ(sample.recordsDone, 5000);
    EXPECT_DOUBLE_EQ(sample.outputSeenSeconds, 1.0);
    EXPECT_DOUBLE_EQ(sample.elapsedSeconds, 2.5);
    // The empty reply stays in the trace: the request was still at that point then.
    EXPECT_EQ(request.Trace().back(), (ProgressPoint{2000, 12, 5000}));
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
    // A step still running has time left, however little.
    EXPECT_EQ(TimeLeftText(0), "1 s");
    EXPECT_EQ(TimeLeftText(0.3), "1 s");
    EXPECT_EQ(TimeLeftText(7.6), "8 s");
    EXPECT_EQ(ProgressLine("restore", {0.99, 0.2}, 30), "Progression restore : 99 % ; écoulé 30 s ; reste environ 1 s");
}

TEST(CycleProgress, LogLinesGiveTheHundredthsUnderAMinute)
{
    EXPECT_EQ(ProgressLogLine("backup", {0.42, 1.734}, 1.25),
              "Progression backup : 42 % ; écoulé 1,25 s ; reste environ 1,73 s");
    EXPECT_EQ(ProgressLogLine("restore", {0.5, 0.004}, 59.994),
              "Progression restore : 50 % ; écoulé 59,99 s ; reste environ 0,00 s");
    EXPECT_EQ(ProgressLogLine("restore", {0.5, 65}, 59.996),
              "Progression restore : 50 % ; écoulé 1 min 00 s ; reste environ 1 min 05 s");
    EXPECT_EQ(ProgressLogLine("backup", {0, std::nullopt}, 0), "Progression backup : 0 % ; écoulé 0,00 s ; reste inconnu");
    EXPECT_EQ(ProgressEndLogLine("backup", 2.976), "Progression backup : 100 % ; écoulé 2,98 s ; terminé");
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
