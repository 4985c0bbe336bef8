#pragma once
// One cycle's request, every path it works with (computed once, here) and what its
// steps learn on the way. A context lives for one run: the next run starts from a
// new one.

#include "cycle/CycleDatabaseFile.h"
#include "cycle/CycleFileLocks.h"
#include "cycle/CycleJournal.h"
#include "cycle/CycleLock.h"
#include "cycle/CycleRequest.h"
#include "cycle/RecordCounts.h"
#include "cycle/RunReport.h"
#include "platform/BackgroundRemoval.h"
#include "platform/DurableFile.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

// Every connection of the cycle names a file of the DB File text's server in the
// text's own form (JoinDatabaseLocation).
struct CyclePaths {
    std::string server;      // the DB File text's server part
    std::string named;       // the database as the DB File text names it: a path, a link or an alias
    std::string database;    // the database file itself, where clients find it through any of its names
    std::string rename;      // where the old file goes
    std::string previous;    // where a copy an earlier cycle left at the rename path waits
    std::string newDatabase; // the file the restore writes
    std::string backup;      // the backup file
    std::string backupName;  // its name alone, as the status panel shows it
    std::string databaseConnection;
    std::string movedConnection; // the old file at the rename path
    std::string newConnection;
};

// backupFileName: the cycle's own, unless a backup or a restore runs alone; file: what
// the DB File text leads to.
CyclePaths CyclePathsOf(const CycleRequest& request, const std::string& backupFileName, const DatabaseFile& file);
// The database in a message: its name and, when that is not the file, the file.
std::string DatabaseNameText(const CyclePaths& paths);

struct CycleContext {
    CycleContext(CycleRequest cycleRequest, const std::string& backupFileName, const DatabaseFile& file);

    // The journal of this cycle, on disk from its first use.
    TCycleJournal& Journal();
    bool HasJournal() const noexcept { return journal_ != nullptr; }
    // The journal when a step has opened it: what an undo writes its lines into.
    TCycleJournal* OpenJournal() noexcept { return journal_.get(); }

    const CycleRequest request;
    const CyclePaths paths;

    // Read before the cycle: the header's attributes (the shutdown state the site had
    // set) and the run report's database before.
    std::string originalAttributes;
    // Why the workstations cannot be asked to close, when they cannot.
    std::optional<std::string> noWorkstationRequest;
    bool beforeRead{false};
    // What the rebuilt database keeps of the old one, read right before its backup.
    RunReportDatabase oldSettings;
    std::vector<std::string> oldInactiveIndexes;
    bool keptRead{false};
    // What the backup reads: the old file where the cycle moved it, or the database
    // the window's component names when a backup runs alone.
    std::string backupSource;

    // When the cut began (the grace included) and when the database was online at
    // its path again: the downtime.
    std::optional<TDateTime> cutStartedAt;
    std::optional<TDateTime> backAtPathAt;
    // A cycle that keeps the database readable cuts its readers only for a while:
    // the cuts that ended, and when the swap's began (the swap ends it).
    std::int64_t readCutsMs{0};
    std::optional<TDateTime> swapCutStartedAt;

    // How far the cycle went.
    bool servicesStopped{false};   // the batch before the backup's point is passed
    bool shutDown{false};          // the cycle shut the database down
    bool movedBeforeBackup{false}; // the old file is at the rename path
    bool previousSetAside{false};
    bool backupRan{false};
    bool keepNewFile{false};       // a new file that differs stays for inspection
    bool notBackOnline{false};

    // The tables and rows the backup wrote and the restore read back, from their
    // verbose output: what the verification compares.
    TRecordTally backupTally{TransferKind::Backup};
    TRecordTally restoreTally{TransferKind::Restore};
    // How each request went when it ended well: the next run's guide to its time left.
    ProgressTrace backupTrace;
    ProgressTrace restoreTrace;
    // What the failed backup or restore request said, for the operator.
    std::string requestFailure;
    // Why the restore failed, in plain words from the old database's catalogue.
    std::string restoreFailureCause;
    std::string verificationFailure;
    // The file the restore wrote, as it was found right after the restore: only that
    // file gets the old one's owner and takes the database's place.
    std::optional<platform::FileIdentity> newFileIdentity;
    // The new database's settings as its verification read them.
    std::optional<RunReportDatabase> verifiedSettings;
    // The files this cycle shares with no other cycle while it runs.
    std::optional<TSharedFileLocks> sharedFiles;
    // The backup file as this cycle's backup left it: the restore reads only that.
    std::optional<platform::FileStamp> backupStamp;
    // The middle batch file ran between them: it may have moved the file away and
    // back, so only its size and time are compared then.
    bool middleBatchRan{false};
    // The backup file, removed by the time the cycle ends (after a swap on a thread
    // of its own, while the window shows the new header).
    std::optional<platform::BackgroundRemoval> backupRemoval;

    // The database's lock, taken by the cycle's first step and let go with the
    // context, once the closing steps have run and the journal is closed.
    std::optional<CycleLockHold> lock;

private:
    std::unique_ptr<TCycleJournal> journal_;
};

} // namespace morvane
