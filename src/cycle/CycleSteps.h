#pragma once
// The bookkeeping around each step of the cycle: its line in the run report and,
// for a step that moves a database file, its lines in the swap journal.

#include "cycle/CycleJournal.h"
#include "cycle/RunReport.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace morvane {

// The steps of the run report, in the order a cycle runs them.
enum class CycleStep {
    Preflight,
    ServerFolder,
    DatabaseChecks,
    BatchBeforeBackup,
    Disconnection,
    MoveBeforeBackup,
    SettingsWrite,
    Backup,
    BatchAfterBackup,
    Restore,
    Verification,
    Swap,
    BatchAfterRestore,
};

// The step's name as the run report writes it.
const char* CycleStepName(CycleStep step) noexcept;

// One step of the run report, begun here; a step that an error leaves before it
// ends is reported as failed.
class ReportStep {
public:
    ReportStep(TRunReport* report, CycleStep step) : report_(report)
    {
        if (report_ != nullptr)
            index_ = report_->BeginStep(CycleStepName(step));
    }
    ~ReportStep()
    {
        if (!ended_ && report_ != nullptr)
            report_->EndStep(index_, StepOutcome::Failed);
    }
    ReportStep(const ReportStep&) = delete;
    ReportStep& operator=(const ReportStep&) = delete;

    void End(StepOutcome outcome, std::string detail = {})
    {
        if (!ended_ && report_ != nullptr)
            report_->EndStep(index_, outcome, std::move(detail));
        ended_ = true;
    }

private:
    TRunReport* report_;
    std::size_t index_{0};
    bool ended_{false};
};

// A step that did not run, with why.
void SkippedStep(TRunReport* report, CycleStep step, std::string detail = {});

// A journal line from a path that must not raise (a destructor, a cleanup): the
// move it reports has happened or not either way.
void JournalQuietly(TCycleJournal* journal, JournalStep step, bool done) noexcept;

// The journal line of a move, then the step reached for whoever watches the cycle.
void JournalDone(TCycleJournal* journal, JournalStep step,
                 const std::function<void(std::string_view)>& stepReached);

} // namespace morvane
