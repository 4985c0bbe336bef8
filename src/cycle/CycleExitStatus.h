#pragma once
// The exit status an unattended run ends with, one per class of failure, so a
// scheduler can tell a refusal before anything ran from a failed rebuild.

namespace morvane {

enum CycleExitStatus : int {
    ExitCompleted = 0,         // the rebuilt database is in its place
    ExitStartUpError = 1,      // start-up or any error outside the classes below
    ExitSwapFailed = 2,        // a rename after the verified restore failed
    ExitPreflightRefused = 3,  // a check before the cycle refused it: nothing ran
    ExitDisconnectionRefused = 4,
    ExitBackupFailed = 5,      // the move before the backup, the settings write or the backup
    ExitRestoreFailed = 6,     // the restore, or the verification of the new file
    ExitNotBackOnline = 7,     // a failed cycle could not bring the database back online at its path
    ExitAlreadyRunning = 8,    // another run holds this database's lock: nothing was touched
    ExitInterrupted = 9,       // stopped on request (SIGTERM, SIGINT); the database is back online at its path
    ExitSharedFileBusy = 10,   // a file this cycle needs stayed another database's cycle's: nothing was touched
    ExitRebuildAdvisable = 11, // --health: a threshold is passed, a rebuild would help
    ExitHealthyNightSkipped = 12, // AUTO with HealthCheckAuto=1: no threshold passed, nothing was touched
};

} // namespace morvane
