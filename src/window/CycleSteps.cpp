#include "window/CycleSteps.h"

#include "window/CycleTestHooks.h"
#include "window/WindowLog.h"

namespace morvane {

void SkippedStep(TRunReport* report, const char* name, std::string detail)
{
    if (report != nullptr)
        report->AddStep(name, StepOutcome::Skipped, 0, std::move(detail));
}

void JournalQuietly(TCycleJournal* journal, JournalStep step, bool done) noexcept
{
    if (journal == nullptr)
        return;
    try {
        journal->Record(step, done);
    } catch (const std::exception& error) {
        WindowLogQuietly(std::string("Journal du cycle: ") + error.what(), 1);
    }
}

void JournalDone(TCycleJournal* journal, JournalStep step)
{
    if (journal != nullptr)
        journal->Record(step, true);
    PauseAtStepForTests(JournalStepName(step));
}

} // namespace morvane
