#include "cycle/CycleOutcome.h"

#include "cycle/CycleExitStatus.h"

namespace morvane {

int ExitStatusOfStage(CycleStage stage) noexcept
{
    switch (stage) {
    case CycleStage::AlreadyRunning: return ExitAlreadyRunning;
    case CycleStage::SharedFileBusy: return ExitSharedFileBusy;
    case CycleStage::Preflight: return ExitPreflightRefused;
    case CycleStage::Disconnection: return ExitDisconnectionRefused;
    case CycleStage::Backup: return ExitBackupFailed;
    case CycleStage::Restore: return ExitRestoreFailed;
    case CycleStage::Swap: return ExitSwapFailed;
    case CycleStage::Start:
    case CycleStage::Preparation: break;
    }
    return ExitStartUpError;
}

} // namespace morvane
