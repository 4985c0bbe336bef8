#pragma once
// Where the cycle is, and the exit status a failure there leaves: a scheduler can
// tell a refusal before anything ran from a failed rebuild.

namespace morvane {

enum class CycleStage {
    Start,          // nothing checked yet
    AlreadyRunning, // another run holds this database's lock
    SharedFileBusy, // another database's cycle kept a file this one needs
    Preflight,      // the checks before anything runs
    Preparation,    // the server's folder, the batch before the backup
    Disconnection,  // the workstations sent away, the shutdown
    Backup,         // the move before the backup, the settings write, the backup
    Restore,        // the restore and the verification
    Swap,           // the new file moved into the database's place
};

int ExitStatusOfStage(CycleStage stage) noexcept;

} // namespace morvane
