#include "cycle/StepRunner.h"

#include "session/ProgramLog.h"

namespace morvane {

namespace {

constexpr const char* InterruptedText =
    "Cycle interrompu par une demande d'arrêt: la base est remise en place et en ligne";
// What the steps a failure leaves undone say when the step that failed gives no
// reason of its own.
constexpr const char* StoppedReason = "cycle arrêté";
constexpr const char* StopRequestedReason = "arrêt demandé";

} // namespace

TStepRunner::TStepRunner(TRunReport* report, std::function<TCycleJournal&()> journal,
                         std::function<void(std::string_view)> observer, std::function<bool()> stopRequested)
    : report_(report), journal_(std::move(journal)), observer_(std::move(observer)),
      stopRequested_(std::move(stopRequested))
{
}

void TStepRunner::Run(const std::vector<CycleStepDefinition>& steps)
{
    for (const CycleStepDefinition& step : steps) {
        // A stop is taken between two steps, never once the new database is in place.
        if (!failure_ && !committed_ && stopRequested_ && stopRequested_()) {
            if (open_)
                CloseLine(open_->outcome, open_->detail);
            CycleFailure stop;
            stop.message = InterruptedText;
            stop.stage = step.stage;
            stop.interrupted = true;
            stop.step = step.key;
            stop.error = std::make_exception_ptr(ECycleInterrupted(InterruptedText));
            failure_ = std::move(stop);
            skipReason_ = StopRequestedReason;
        }
        if (failure_ && !step.afterFailure) {
            Skip(step, skipReason_);
            continue;
        }
        if (step.when && !step.when()) {
            Skip(step, {});
            continue;
        }
        RunStep(step);
    }
    if (open_)
        CloseLine(open_->outcome, open_->detail);
    FlushSkipped();
}

void TStepRunner::RunStep(const CycleStepDefinition& step)
{
    OpenLine(step.reportLine);
    if (observer_)
        observer_(step.key);
    // Once its begin line is on disk a step may have done its work, even when it
    // fails: its undo is stacked then too (each undo first looks whether there is
    // anything to put back).
    bool begun = false;
    bool stacked = false;
    const auto stackUndo = [&] {
        if (step.undo && !stacked)
            undos_.push_back({step.key, step.undo});
        stacked = true;
    };
    try {
        TCycleJournal* journal = step.journal && journal_ ? &journal_() : nullptr;
        // On disk before the step starts: a run killed in it finds what it began.
        if (journal != nullptr && !step.journalDoneOnly)
            journal->Record(*step.journal, false);
        begun = true;
        StepEnd end = step.run();
        stackUndo();
        if (journal != nullptr) {
            journal->Record(*step.journal, true);
            if (observer_)
                observer_(std::string(step.key) + ":done");
        }
        if (step.commitPoint) {
            committed_ = true;
            undos_.clear();
        }
        if (end.outcome == StepOutcome::Skipped && open_) {
            // The line stays open: a later step of it may still do its part.
            if (!open_->ran) {
                open_->outcome = StepOutcome::Skipped;
                open_->detail = std::move(end.detail);
            }
        } else if (end.outcome != StepOutcome::Ok) {
            CloseLine(end.outcome, std::move(end.detail));
        } else if (open_) {
            if (!open_->ran)
                open_->detail.clear();
            open_->ran = true;
            open_->outcome = StepOutcome::Ok;
            if (!end.detail.empty())
                open_->detail = std::move(end.detail);
        }
        return;
    } catch (const ECycleInterrupted& stopped) {
        // A step that waits ends its wait on a stop request, as a stop between steps.
        CycleFailure failure;
        failure.message = stopped.Message();
        failure.stage = step.stage;
        failure.interrupted = true;
        failure.error = std::current_exception();
        const bool first = !failure_;
        Fail(step, std::move(failure), StepOutcome::Failed);
        if (first)
            skipReason_ = StopRequestedReason;
    } catch (const ECycleRefused& refusal) {
        CycleFailure failure;
        failure.message = refusal.Message();
        failure.stage = refusal.Stage();
        failure.error = std::current_exception();
        Fail(step, std::move(failure), StepOutcome::Refused);
    } catch (const ECycleStepFailed& failed) {
        CycleFailure failure;
        failure.message = failed.Message();
        failure.stage = step.stage;
        failure.reportedByCycle = true;
        Fail(step, std::move(failure), StepOutcome::Failed);
    } catch (const std::exception& error) {
        CycleFailure failure;
        failure.message = error.what();
        failure.stage = step.stage;
        failure.error = std::current_exception();
        Fail(step, std::move(failure), StepOutcome::Failed);
    }
    if (begun && step.journal && !step.journalDoneOnly)
        stackUndo();
}

void TStepRunner::Fail(const CycleStepDefinition& step, CycleFailure failure, StepOutcome outcome)
{
    CloseLine(outcome, failure.message);
    if (failure_) {
        // A step that runs after a failure: the error that stopped the cycle is the
        // one the operator is shown.
        ProgramLogQuietly(std::string(CycleStepName(step.reportLine)) + ": " + failure.message, 1);
        return;
    }
    failure.step = step.key;
    failure_ = std::move(failure);
    skipReason_ = step.leavesUndone.empty() ? std::string(StoppedReason) : std::string(step.leavesUndone);
}

bool TStepRunner::Unwind() noexcept
{
    bool backAsItWas = true;
    while (!undos_.empty()) {
        const Undo undo = std::move(undos_.back());
        undos_.pop_back();
        try {
            if (!undo.undo())
                backAsItWas = false;
        } catch (const std::exception& error) {
            ProgramLogQuietly(std::string(undo.key) + ": " + error.what(), 1);
            backAsItWas = false;
        }
    }
    return backAsItWas;
}

void TStepRunner::Skip(const CycleStepDefinition& step, std::string detail)
{
    // A line already begun or ended: the step was part of it.
    if (lastLine_ == step.reportLine)
        return;
    if (skipped_ && skipped_->first == step.reportLine) {
        if (skipped_->second.empty())
            skipped_->second = std::move(detail);
        return;
    }
    if (open_)
        CloseLine(open_->outcome, open_->detail);
    FlushSkipped();
    skipped_.emplace(step.reportLine, std::move(detail));
}

void TStepRunner::OpenLine(CycleStep line)
{
    if (open_ && open_->line == line)
        return;
    if (open_)
        CloseLine(open_->outcome, open_->detail);
    if (skipped_ && skipped_->first == line)
        skipped_.reset();
    FlushSkipped();
    lastLine_ = line;
    open_ = OpenReportLine{line, report_ != nullptr ? report_->BeginStep(CycleStepName(line)) : 0, {}};
}

void TStepRunner::CloseLine(StepOutcome outcome, std::string detail)
{
    if (!open_)
        return;
    if (report_ != nullptr)
        report_->EndStep(open_->index, outcome, std::move(detail));
    open_.reset();
}

void TStepRunner::FlushSkipped()
{
    if (!skipped_)
        return;
    if (report_ != nullptr)
        report_->AddStep(CycleStepName(skipped_->first), StepOutcome::Skipped, 0, std::move(skipped_->second));
    skipped_.reset();
}

} // namespace morvane
