#pragma once
// The backup, update and restore cycle: batch files, the workstations sent away,
// the old file moved aside, backup, restore into a new file, its verification and
// the swap, with the swap journal and the run report. It works on the values read
// from the window when it started, asks the server through its port and talks to
// the window only through its view. The cycle is the list in BackupCycle.cpp; each
// step is a function of this class, grouped by what it acts on in the files
// CyclePreparation.cpp, CycleMove.cpp, CycleTransfer.cpp and CycleSwap.cpp.

#include "cycle/ClientCycleServer.h"
#include "cycle/CycleContext.h"
#include "cycle/CycleProgress.h"
#include "cycle/CycleRequest.h"
#include "cycle/CycleServer.h"
#include "cycle/CycleView.h"
#include "cycle/DatabaseState.h"
#include "cycle/RunHistory.h"
#include "cycle/StepRunner.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace morvane {

class TBackupCycle {
public:
    // Over the window's components.
    TBackupCycle(CycleRequest request, CycleComponents components, ICycleView& view, CycleHooks hooks = {});
    // Over any server port (the unit tests' fake).
    TBackupCycle(CycleRequest request, ICycleServer& server, ICycleView& view, CycleHooks hooks = {});
    TBackupCycle(const TBackupCycle&) = delete;
    TBackupCycle& operator=(const TBackupCycle&) = delete;
    ~TBackupCycle();

    // The whole cycle, its run report written at the end whatever happens. An error
    // that stops it propagates (the window shows it); ExitStatus says its class.
    void Run();

    // The backup step alone, of the database the window's component names; its
    // failure is logged, not raised.
    bool RunBackup(const std::string& backupFileName);
    // The restore, what can be verified of it without a backup in the same run, and
    // the swap. Its failures are reported, not raised; true when the new file took
    // the database's place.
    bool RunRestore(const std::string& backupFileName);

    // 0 when the new database took its place, else the class of the failure.
    int ExitStatus() const noexcept { return exitStatus_; }

private:
    // The cycle from its checks to the swap, and the batch file that runs however it
    // ends once the site's services were stopped.
    std::vector<CycleStepDefinition> CycleSteps();
    std::vector<CycleStepDefinition> ClosingSteps();
    // ReadableCycle.cpp: the cycle that keeps the database at its path and readable
    // until the swap.
    std::vector<CycleStepDefinition> ReadableCycleSteps();
    StepEnd SwitchToReadOnly();
    bool PutReadWriteBack();
    StepEnd ReadKeptSettings();
    StepEnd CheckStillReadOnly();
    StepEnd CutForSwap();
    bool PutStateBack();
    StepEnd OpenOldCopyAsItWas();
    // Asks for wanted at connection until its header shows it, within a bound;
    // force: attachments are cut by a shutdown (else it fails while there are some).
    // times: when the first request went (the cut's start) and the last was answered.
    struct StateRequestTimes {
        std::optional<TDateTime> first;
        std::optional<TDateTime> lastAnswered;
    };
    StateOutcome DriveState(const std::string& connection, const DatabaseState& wanted, bool force,
                            StateRequestTimes* times = nullptr);
    // Waits until no other cycle uses this cycle's backup file or rename path.
    void TakeSharedFiles();
    // The full shutdown that cuts whoever is still attached, after the grace.
    void CutAfterGrace();
    // Whether the backup file is still the one this cycle's backup wrote.
    bool BackupFileIsOwn() const;
    // Runs steps on the context, undoes and says what a failure leaves, then runs the
    // closing steps.
    void RunList(const std::vector<CycleStepDefinition>& steps, const std::vector<CycleStepDefinition>& closing,
                 TRunReport* report);

    // CycleDatabaseFile.cpp: the file the DB File text leads to, before the paths
    // are computed from it.
    DatabaseFile RequestedDatabaseFile();
    // CyclePreparation.cpp
    StepEnd Preflight();
    StepEnd CheckDatabase();
    StepEnd BatchBeforeBackup();
    StepEnd SendWorkstationsAway();
    StepEnd ShutDown();
    bool BringBackOnlineAsItWas();
    StepEnd BatchAfterBackup();
    StepEnd BatchAfterRestore();
    // CycleMove.cpp
    StepEnd SetPreviousCopyAside();
    bool PutPreviousCopyBack();
    StepEnd MoveBeforeBackup();
    bool MoveDatabaseBack();
    StepEnd OpenMovedFile();
    StepEnd CheckBeforeBackup();
    // CycleTransfer.cpp
    StepEnd WriteSettings();
    StepEnd Backup();
    StepEnd CloseAfterBackup();
    StepEnd Restore();
    bool RemoveNewFile();
    // Once the old database is back online at its path: what its catalogue says of
    // what the failed restore named, one sentence per cause.
    std::string ExplainRestoreFailure() noexcept;
    // CycleSwap.cpp
    StepEnd VerifyNewDatabase();
    StepEnd CheckOldFileClosed();
    StepEnd CopyOwnerAndMode();
    StepEnd CopyShutdownState();
    StepEnd SyncNewFile();
    StepEnd MoveOldFileAway();
    bool MoveOldFileBack();
    StepEnd Swap();
    StepEnd ShowNewHeader();
    StepEnd OpenOldCopy();
    StepEnd RemovePreviousCopy();

    // After a failure and its undo: what the operator is told.
    void ReportFailure(const CycleFailure& failure, bool inPlace);
    void ShowFailure(const std::string& text);
    void FinishReport(TRunReport& report, const std::string& failure) noexcept;
    void RunBatchFile(const std::string& batchFile);
    // A named point inside a step (a request started) for whoever watches the cycle.
    void StepReached(std::string_view point) const;
    // One backup or restore while it runs: what its progress is weighed against, and
    // what the view and the log were last told.
    struct TransferProgress {
        std::string step;
        std::string writtenFile;
        const ProgressTrace* previous{nullptr};
        std::int64_t expectedRows{0};
        std::int64_t expectedLines{0};
        bool declaresTables{false}; // a backup: its tables are listed before their data
        std::chrono::steady_clock::time_point started{std::chrono::steady_clock::now()};
        TProgressThrottle throttle{std::chrono::milliseconds(250)};
        TRequestProgress request{};
        int loggedPercent{-1};
    };
    // A reply of the server has been read: the view told how far the request has
    // gone, a few times a second at most, and the log at each new percent.
    void ShowStepProgress(TransferProgress& transfer, const TRecordTally& tally);
    // The request has ended: its whole time logged; its trace when it ended well.
    ProgressTrace EndStepProgress(TransferProgress& transfer, const TRecordTally& tally, bool succeeded);
    // The run report's tables: each with the rows the backup wrote and the restore read.
    std::vector<RunReportTable> TransferredTables() const;

    CycleRequest request_;
    std::unique_ptr<ICycleServer> ownServer_;
    ICycleServer& server_;
    ICycleView& view_;
    CycleHooks hooks_;
    int exitStatus_{0};
    // Set only while a cycle runs.
    std::unique_ptr<CycleContext> context_;
    TRunReport* report_{nullptr};
    // What the progress of the backup and the restore is weighed against.
    PreviousRun previous_;
    std::int64_t databaseBytes_{0};
};

} // namespace morvane
