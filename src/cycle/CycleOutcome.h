#pragma once
// The decisions that turn how a cycle went into what it leaves behind: the exit
// status of each class of failure, and the step of the run report a failure that
// stopped the cycle is charged to.

#include "cycle/RunReport.h"

#include <string>

namespace morvane {

// Where the cycle is: an error that escapes it there leaves that stage's status.
enum class CycleStage {
    Start,         // nothing checked yet
    Preflight,     // the checks before anything runs
    Preparation,   // the server's folder, the batch before the backup
    Disconnection, // the workstations sent away, gfix
    Backup,        // the move before the backup, the settings write, the counts, the backup
    Restore,       // the restore, the verification, the swap
};

int ExitStatusOfStage(CycleStage stage) noexcept;

// How the restore half of a cycle ended.
enum class RestoreOutcome { Swapped, RestoreFailed, VerificationFailed, RenameFailed };

// The status of a cycle that ran to its end.
int ExitStatusOfCycle(bool backedUp, RestoreOutcome outcome) noexcept;

// An error stopped the cycle: the step it stopped in (the last one that failed
// without saying why) takes the error's text; when the last step already refused
// or failed with its own reason nothing is added; otherwise an "erreur" step says it.
void ChargeFailure(TRunReport& report, const std::string& failure);

} // namespace morvane
