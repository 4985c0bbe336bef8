#pragma once
// The swap journal: a small text file beside the database that records every step
// of the cycle that moves a database file or changes its state, so that a run killed
// half-way can be put right at the next start. Each line is on disk (file and folder synced) before
// the move it announces starts and again once it has ended.
//
//   MORVANE JOURNAL 1
//   database=<database path>
//   rename=<rename path>
//   new=<new file path>
//   begin moved-before-backup | done moved-before-backup
//   done restore-verified
//   begin old-file-moved | done old-file-moved
//   begin new-file-moved | done new-file-moved
//   begin moved-back | done moved-back
//   begin shut-down | done shut-down | done back-online
//   begin previous-set-aside | done previous-set-aside | done previous-put-back
//   begin read-only-set | done read-only-set | done read-write-back

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

enum class JournalStep {
    MovedBeforeBackup,
    RestoreVerified,
    OldFileMoved,
    NewFileMoved,
    MovedBack,
    ShutDown,         // the cycle shut the database down (begun before the request)
    BackOnline,       // and brought it back online
    PreviousSetAside, // the copy an earlier cycle left at the rename path, set aside
    PreviousPutBack,  // and put back after a failure
    ReadOnlySet,      // the database switched to read-only at its path, readers kept (begun before the cut)
    ReadWriteBack,    // and back to read-write after a failure
};

std::string_view JournalStepName(JournalStep step);

struct JournalState {
    std::string databasePath;
    std::string renamePath;
    std::string newPath;
    struct Entry {
        JournalStep step;
        bool done;
    };
    std::vector<Entry> entries;

    // True when a line for the step was written (begun, or done when done is asked).
    bool Has(JournalStep step, bool done) const;
};

// The file's text up to now: the header and one line per entry.
std::string JournalText(const JournalState& state);
// Reads a journal back; raises Exception for a text that is not one (a line too
// many or an unknown step is refused, not guessed at).
JournalState ParseJournal(std::string_view text);

// What start-up does with a journal left behind.
struct JournalRecovery {
    enum class Action { Nothing, MoveNewIn, MoveOldBack, Unresolved };
    Action action{Action::Nothing};
    std::string from;
    std::string to;
};
// The database path holds a file: nothing to do. Else the new file goes in when it
// was verified and is still there, the old one goes back when it was moved and is
// still at the rename path; otherwise nothing can be done safely.
JournalRecovery DecideRecovery(const JournalState& state, const std::function<bool(const std::string&)>& exists);

// True when the cycle shut the database down and no line says it came back online
// or was replaced by the rebuilt one: start-up must bring it online.
bool RecoveryBringsOnline(const JournalState& state);
// True when the cycle switched the database to read-only and no line says it went
// back to read-write or was replaced by the rebuilt one.
bool RecoveryPutsReadWriteBack(const JournalState& state);

// Where the copy an earlier cycle left at the rename path waits until this cycle
// succeeds.
std::string PreviousCopyPath(const std::string& renamePath);

// The copy set aside goes back to the rename path when the cycle did not swap and
// the rename path is free again (MoveOldBack from the set-aside path); else Nothing.
JournalRecovery DecidePreviousCopy(const JournalState& state, const std::function<bool(const std::string&)>& exists);

// The journal of one cycle, on disk from construction. Removed by Finish or, when
// the database file is at its path, by the destructor; a journal left on disk means
// the database is not at its path.
class TCycleJournal {
public:
    TCycleJournal(std::string journalPath, std::string databasePath, std::string renamePath, std::string newPath);
    ~TCycleJournal();
    TCycleJournal(const TCycleJournal&) = delete;
    TCycleJournal& operator=(const TCycleJournal&) = delete;

    // Appends the line and syncs it; a "done" line first syncs the folders the move
    // touched. Raises EOSError when the journal cannot be written.
    void Record(JournalStep step, bool done);
    // Removes the journal when the database file is at its path; false otherwise.
    bool Finish() noexcept;

private:
    void Write();

    std::string path_;
    JournalState state_;
    bool open_{true};
};

// A journal belongs to its database: it lies in the database's own state folder,
// where only the run's user can write (raises EOSError when that folder cannot be
// trusted).
std::string CycleJournalPath(const std::string& databasePath);
// Where earlier versions kept journals: beside the database, and beside the program.
std::vector<std::string> LegacyCycleJournalPaths(const std::string& databasePath);

// A journal file as it was read: through a descriptor that follows no link.
struct JournalFile {
    std::string text;
    bool isLink{false};
    bool regular{false};
    bool ownedByRunUser{false};
    bool writableByOthers{false};
};
// The only paths a journal found outside the state folder may name: the database's,
// its rename path and its new file's, as the job settings make them.
struct ExpectedJournalPaths {
    std::string databasePath;
    std::string renamePath;
    std::string newPath;
};
// Why such a journal is not acted on (a link, another user's, open to others'
// writes, not a journal, naming other paths); nothing when it may be.
std::optional<std::string> UntrustedJournalReason(const JournalFile& file, const ExpectedJournalPaths& expected);

// Start-up: resolves a journal left by an interrupted cycle. Every line of what was
// found and done goes to log (level 1 for the caller). Nothing when no journal was
// there or it was resolved and removed; else the message of a journal that could not
// be resolved or may not be acted on (it stays on disk). bringOnline brings the
// database at a path back online (raises when it cannot). foreignFolder: the journal
// lies where another user could write, and may name only those paths.
// putReadWriteBack brings the database at a path online and read-write, from any
// shutdown level (raises when it cannot); without it, bringOnline does.
std::optional<std::string> ResolveLeftJournal(const std::string& journalPath,
                                              const std::function<void(const std::string&)>& log,
                                              const std::function<void(const std::string&)>& bringOnline,
                                              const ExpectedJournalPaths* foreignFolder = nullptr,
                                              const std::function<void(const std::string&)>& putReadWriteBack = {});


} // namespace morvane
