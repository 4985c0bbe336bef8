#include "cycle/CycleSteps.h"

#include "session/ProgramLog.h"

namespace morvane {

const char* CycleStepName(CycleStep step) noexcept
{
    switch (step) {
    case CycleStep::Preflight: return "vérification préalable";
    case CycleStep::DatabaseChecks: return "vérification de la base";
    case CycleStep::BatchBeforeBackup: return "batch avant backup";
    case CycleStep::Disconnection: return "déconnexion";
    case CycleStep::MoveBeforeBackup: return "rename avant backup";
    case CycleStep::SettingsWrite: return "écriture des réglages";
    case CycleStep::Backup: return "backup";
    case CycleStep::BatchAfterBackup: return "batch après backup";
    case CycleStep::Restore: return "restore";
    case CycleStep::Verification: return "vérification de la nouvelle base";
    case CycleStep::Swap: return "swap";
    case CycleStep::BatchAfterRestore: return "batch après restore";
    }
    return "";
}

void JournalQuietly(TCycleJournal* journal, JournalStep step, bool done) noexcept
{
    if (journal == nullptr)
        return;
    try {
        journal->Record(step, done);
    } catch (const std::exception& error) {
        ProgramLogQuietly(std::string("Journal du cycle: ") + error.what(), 1);
    }
}

} // namespace morvane
