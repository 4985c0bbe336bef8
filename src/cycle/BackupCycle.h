#pragma once
// The backup, update and restore cycle: batch files, the workstations sent away,
// the old file moved aside, backup, restore into a new file, its verification and
// the swap, with the swap journal and the run report. It works on the values read
// from the window when it started and talks to the window only through its view.

#include "cycle/CycleOutcome.h"
#include "cycle/CycleProgress.h"
#include "cycle/RecordCounts.h"
#include "cycle/RunHistory.h"
#include "cycle/CycleRequest.h"
#include "cycle/CycleSteps.h"
#include "cycle/CycleVerification.h"
#include "cycle/CycleView.h"
#include "core/Exception.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

// A stop was requested (SIGTERM, SIGINT): the cycle ends at its next safe point.
MORVANE_DECLARE_EXCEPTION(ECycleInterrupted, Exception);

class TCycleJournal;
class TDatabaseControl;
class TRunReport;

namespace fib {
class TpFIBDatabase;
class TpFIBStatisticalService;
class TpFIBConfigService;
class TpFIBBackupService;
class TpFIBRestoreService;
class TpFIBServerProperties;
} // namespace fib

// The window's components the cycle drives; the window owns them.
struct CycleComponents {
    fib::TpFIBDatabase& database;
    fib::TpFIBStatisticalService& statistics;
    fib::TpFIBConfigService& config;
    fib::TpFIBBackupService& backup;
    fib::TpFIBRestoreService& restore;
    fib::TpFIBServerProperties& serverProperties;
};

class TBackupCycle {
public:
    TBackupCycle(CycleRequest request, CycleComponents components, ICycleView& view, CycleHooks hooks = {});
    TBackupCycle(const TBackupCycle&) = delete;
    TBackupCycle& operator=(const TBackupCycle&) = delete;

    // The whole cycle, its run report written at the end whatever happens. An error
    // that stops it propagates (the window shows it); ExitStatus says its class.
    void Run();

    // One backup request into the backup file; its failure is logged, not raised.
    bool RunBackup(const std::string& backupFileName);
    // One restore request into the new file, its verification and the swap.
    RestoreOutcome RunRestore(const std::string& backupFileName, bool movedBeforeBackup);

    // 0 when the new database took its place, else the class of the failure.
    int ExitStatus() const noexcept { return exitStatus_; }

private:
    void RunSteps();
    void RunBatchFile(const std::string& batchFile);
    void ReportedBatchFile(const std::string& batchFile, CycleStep step);
    void ReportFailure(const std::string& text, const std::string& databasePath);
    void ReportRenameFailure(const std::string& databasePath);
    // The restored file against what was asked and the old database's rows: what
    // differed, empty when it may take the database's place.
    std::string VerifyNewDatabase(const std::string& server, const std::string& newDatabase, int pageSize,
                                  int pageBuffers);
    // The database at its path for the run report: its header's settings, the rest
    // through an attachment; what cannot be read stays empty.
    RunReportDatabase ReportDatabase(const std::string& databasePath) noexcept;
    void StepReached(std::string_view step) const;
    // The view told how far a backup or a restore has gone, a few times a second at most.
    void ShowStepProgress(const char* step, const TRecordTally& tally, std::int64_t expectedRows,
                          const std::string& writtenFile, std::chrono::steady_clock::time_point started,
                          TProgressThrottle& throttle);
    // The run report's tables: each with the rows the backup wrote and the restore read.
    std::vector<RunReportTable> TransferredTables() const;
    // Raises ECycleInterrupted when a stop was requested.
    void CheckStop() const;
    // After an error stopped the cycle: the site's services started again when the
    // cycle had stopped them.
    void FinishAfterFailure() noexcept;
    void EnterStage(CycleStage stage) noexcept { exitStatus_ = ExitStatusOfStage(stage); }

    CycleRequest request_;
    CycleComponents components_;
    ICycleView& view_;
    CycleHooks hooks_;
    int exitStatus_{0};
    // Set only while a cycle runs.
    TRunReport* report_{nullptr};
    TCycleJournal* journal_{nullptr};
    TDatabaseControl* control_{nullptr};
    std::string movedConnection_;
    // The header's attributes before the cycle: the shutdown state the site had set.
    std::string originalAttributes_;
    // The user indexes the old database keeps inactive.
    std::vector<std::string> oldInactiveIndexes_;
    bool batchBeforeRan_{false};
    bool batchAfterRestoreRan_{false};
    // What the failed backup or restore request said, for the operator.
    std::string requestFailure_;
    // The old database's header settings, read right before its backup.
    RunReportDatabase oldSettings_;
    // The run report's database before the cycle, once its checks have read it.
    bool beforeRead_{false};
    // The new database's settings as its verification read them; kept once it has
    // taken the database's place, where the run report finds it at the end.
    std::optional<RunReportDatabase> verifiedSettings_;
    bool notBackOnline_{false};
    // The tables and rows the backup wrote and the restore read back, from their
    // verbose output: what the verification compares.
    TRecordTally backupTally_{TransferKind::Backup};
    TRecordTally restoreTally_{TransferKind::Restore};
    // What the progress of the backup and the restore is weighed against.
    PreviousRunRows previousRows_;
    std::int64_t databaseBytes_{0};
    std::string verificationFailure_;
};

} // namespace morvane
