#pragma once
// The lines of the run report, one per part of the cycle an administrator reads
// about, in the order a cycle runs them; the steps of the cycle's list each belong
// to one of them.

#include "cycle/CycleJournal.h"

namespace morvane {

enum class CycleStep {
    Preflight,
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

// The line's name as the run report writes it.
const char* CycleStepName(CycleStep step) noexcept;

// A journal line from a path that must not raise (an undo): the move it reports
// has happened or not either way.
void JournalQuietly(TCycleJournal* journal, JournalStep step, bool done) noexcept;

} // namespace morvane
