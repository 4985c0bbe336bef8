#pragma once
// The cycle as a list of steps and the runner that goes through it. Each step says
// what it does, what undoes it, the stage whose exit status a failure in it leaves,
// the run report's line it belongs to and its journal entry. The runner opens the
// report line, writes the journal's begin line before a step that moves a file or
// changes the database's state (a failed write stops the cycle before the step),
// runs it, writes its done line, and stacks its undo. On a failure or a stop request
// it charges the step it was in, marks the steps left skipped, and runs only those
// that must run after a failure; Unwind then undoes what was done, last first.

#include "core/Exception.h"
#include "cycle/CycleJournal.h"
#include "cycle/CycleOutcome.h"
#include "cycle/CycleSteps.h"
#include "cycle/RunReport.h"

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// A stop was requested (SIGTERM, SIGINT): the cycle ends at its next safe point.
MORVANE_DECLARE_EXCEPTION(ECycleInterrupted, Exception);

// A step that refuses the cycle (nothing it would harm has been done), with the
// stage whose status the run ends with.
class ECycleRefused : public Exception {
public:
    ECycleRefused(std::string message, CycleStage stage) : Exception(std::move(message)), stage_(stage) {}
    CycleStage Stage() const noexcept { return stage_; }
    std::string ClassName() const override { return "ECycleRefused"; }

private:
    CycleStage stage_;
};

// A step that failed in a way the cycle reports itself once the database is back
// (a failed backup, restore, verification or swap): the detail goes to the run
// report, the operator reads the cycle's own message.
MORVANE_DECLARE_EXCEPTION(ECycleStepFailed, Exception);

// How a step ended when it did not raise.
struct StepEnd {
    StepOutcome outcome{StepOutcome::Ok};
    std::string detail;
};

struct CycleStepDefinition {
    // The step's name for the journal (when it has an entry), the test observer and
    // the progress.
    std::string_view key;
    CycleStep reportLine;
    CycleStage stage;
    std::optional<JournalStep> journal{};
    // A journal entry that is only a done line (it records a fact, not a move).
    bool journalDoneOnly{false};
    // Runs also once the cycle has failed (when `when` allows).
    bool afterFailure{false};
    // Once it has run, the new database is in place: nothing is undone any more.
    bool commitPoint{false};
    // What the steps a failure of this one leaves undone give as the reason.
    std::string_view leavesUndone{};
    // Runs only when true (no function: always); skipped otherwise.
    std::function<bool()> when{};
    std::function<StepEnd()> run{};
    // True when it put things back as they were.
    std::function<bool()> undo{};
};

// Why the cycle stopped, as the runner knows it.
struct CycleFailure {
    std::string message;
    CycleStage stage{CycleStage::Start};
    bool interrupted{false};
    // Reported by the cycle itself (ECycleStepFailed): the error is not raised.
    bool reportedByCycle{false};
    std::string_view step;
    std::exception_ptr error;
};

class TStepRunner {
public:
    TStepRunner(TRunReport* report, std::function<TCycleJournal&()> journal,
                std::function<void(std::string_view)> observer, std::function<bool()> stopRequested);
    TStepRunner(const TStepRunner&) = delete;
    TStepRunner& operator=(const TStepRunner&) = delete;

    void Run(const std::vector<CycleStepDefinition>& steps);
    // Undoes what the steps did, last first; true when everything went back (or the
    // commit point had been passed and there was nothing to undo).
    bool Unwind() noexcept;

    const std::optional<CycleFailure>& Failure() const noexcept { return failure_; }
    bool Committed() const noexcept { return committed_; }

private:
    void RunStep(const CycleStepDefinition& step);
    void Skip(const CycleStepDefinition& step, std::string detail);
    void OpenLine(CycleStep line);
    void CloseLine(StepOutcome outcome, std::string detail);
    void FlushSkipped();
    void Fail(const CycleStepDefinition& step, CycleFailure failure, StepOutcome outcome);

    TRunReport* report_;
    std::function<TCycleJournal&()> journal_;
    std::function<void(std::string_view)> observer_;
    std::function<bool()> stopRequested_;

    struct OpenReportLine {
        CycleStep line;
        std::size_t index;
        std::string detail;
        // A step of the line that found nothing to do leaves it skipped until another
        // step of it runs.
        StepOutcome outcome{StepOutcome::Ok};
        bool ran{false};
    };
    std::optional<OpenReportLine> open_;
    // A report line none of whose steps ran yet, and why they did not.
    std::optional<std::pair<CycleStep, std::string>> skipped_;
    std::optional<CycleStep> lastLine_;
    std::optional<CycleFailure> failure_;
    std::string skipReason_;
    struct Undo {
        std::string_view key;
        std::function<bool()> undo{};
    };
    std::vector<Undo> undos_;
    bool committed_{false};
};

} // namespace morvane
