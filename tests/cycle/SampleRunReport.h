#pragma once
// A clock the tests move by hand, and a successful run's report as the cycle fills it.

#include "core/DateTime.h"
#include "cycle/RunReport.h"

#include <cstdint>
#include <string>

namespace morvane::test {

struct ManualClock {
    TDateTime now = EncodeDateTime(2026, 12, 10, 2, 0, 0);
    void Advance(std::int64_t ms) { now += static_cast<double>(ms) / MillisecondsPerDay; }
};

// Backup 1.5 s and restore 2.25 s, the batch after the restore skipped, two tables,
// the database before and after; not finished yet.
inline TRunReport UnfinishedSampleReport(ManualClock& clock, const std::string& database = "127.0.0.1:/srv/base/BD.FDB")
{
    TRunReport report;
    report.SetDatabase(database);
    report.Start();
    const std::size_t backup = report.BeginStep("backup");
    clock.Advance(1500);
    report.EndStep(backup, StepOutcome::Ok);
    const std::size_t restore = report.BeginStep("restore");
    clock.Advance(2250);
    report.EndStep(restore, StepOutcome::Ok);
    report.AddStep("batch après restore", StepOutcome::Skipped);
    report.SetTables({{"CLIENTS", 500, 500}, {"VIDE", 0, 0}});
    report.SetBefore({1048576, 4096, 2048, 20000, true, true, false, 3});
    report.SetAfter({917504, 8192, 4096, 20000, true, false, false, 3});
    return report;
}

} // namespace morvane::test
