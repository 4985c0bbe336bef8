#include "cycle/CycleOutcome.h"

#include "cycle/CycleExitStatus.h"

namespace morvane {

int ExitStatusOfStage(CycleStage stage) noexcept
{
    switch (stage) {
    case CycleStage::Preflight: return ExitPreflightRefused;
    case CycleStage::Disconnection: return ExitDisconnectionRefused;
    case CycleStage::Backup: return ExitBackupFailed;
    case CycleStage::Restore: return ExitRestoreFailed;
    case CycleStage::Start:
    case CycleStage::Preparation: break;
    }
    return ExitStartUpError;
}

int ExitStatusOfCycle(bool backedUp, RestoreOutcome outcome) noexcept
{
    if (outcome == RestoreOutcome::Swapped)
        return ExitCompleted;
    if (!backedUp)
        return ExitBackupFailed;
    return outcome == RestoreOutcome::RenameFailed ? ExitSwapFailed : ExitRestoreFailed;
}

void ChargeFailure(TRunReport& report, const std::string& failure)
{
    const std::vector<RunReportStep>& steps = report.Steps();
    std::size_t failed = steps.size();
    for (std::size_t i = 0; i < steps.size(); ++i)
        if (steps[i].outcome == StepOutcome::Failed && steps[i].detail.empty())
            failed = i;
    const bool said =
        !steps.empty() && steps.back().outcome != StepOutcome::Ok && !steps.back().detail.empty();
    if (failed < steps.size())
        report.EndStep(failed, StepOutcome::Failed, failure);
    else if (!said)
        report.AddStep("erreur", StepOutcome::Failed, 0, failure);
}

} // namespace morvane
