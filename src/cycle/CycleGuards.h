#pragma once
// The two things a cycle must undo whatever way it ends: a database shut down by
// gfix, and a database file moved away from its path before the backup.

#include "cycle/CycleJournal.h"

#include <functional>
#include <string>

namespace morvane {

// A database the cycle shut down is brought back online when the cycle ends without
// putting a new database in its place: a failed night run must leave the site a
// database it can use, and say so only when the header shows it.
class ShutDownDatabase {
public:
    // online brings the database at its path back online and raises when it cannot;
    // attributes reads the header's attributes line of the database at its path.
    // onFailure runs when it could not be brought back; backAsItWas says whether the
    // attributes read afterwards show the state the database had before the cycle
    // (by default: online).
    ShutDownDatabase(std::string databaseName, std::string databasePath, TCycleJournal* journal,
                     std::function<void()> online, std::function<std::string()> attributes,
                     std::function<void()> onFailure = {},
                     std::function<bool(const std::string&)> backAsItWas = {})
        : databaseName_(std::move(databaseName)), databasePath_(std::move(databasePath)), journal_(journal),
          online_(std::move(online)), attributes_(std::move(attributes)), onFailure_(std::move(onFailure)),
          backAsItWas_(std::move(backAsItWas))
    {
    }
    ~ShutDownDatabase() { BringOnline(); }
    ShutDownDatabase(const ShutDownDatabase&) = delete;
    ShutDownDatabase& operator=(const ShutDownDatabase&) = delete;

    // The new database, online, took its place.
    void Replaced() noexcept { pending_ = false; }

    // True when the database is online at its path afterwards (or was replaced).
    bool BringOnline() noexcept;
    bool Failed() const noexcept { return failed_; }

private:
    std::string databaseName_;
    std::string databasePath_;
    TCycleJournal* journal_;
    std::function<void()> online_;
    std::function<std::string()> attributes_;
    std::function<void()> onFailure_;
    std::function<bool(const std::string&)> backAsItWas_;
    bool pending_{true};
    bool failed_{false};
    void Fail() noexcept;
};

// The database file moved to the rename path before the backup. Until the cycle
// says the rebuilt file has taken its place, leaving this scope (by an error or by a
// failed backup or restore) moves it back: the database is never left missing.
class MovedDatabaseFile {
public:
    // onBack runs once the file is back (the window's database name follows it). The
    // same guard keeps the copy an earlier cycle left at the rename path, set aside:
    // its journal step and its name in the log are then given.
    MovedDatabaseFile(std::string original, std::string moved, TCycleJournal* journal, std::function<void()> onBack,
                      JournalStep backStep = JournalStep::MovedBack, std::string what = "Base")
        : original_(std::move(original)), moved_(std::move(moved)), journal_(journal), onBack_(std::move(onBack)),
          backStep_(backStep), what_(std::move(what))
    {
    }
    ~MovedDatabaseFile() { MoveBack(); }
    MovedDatabaseFile(const MovedDatabaseFile&) = delete;
    MovedDatabaseFile& operator=(const MovedDatabaseFile&) = delete;

    // The old file stays at the rename path for good.
    void Keep() noexcept { pending_ = false; }

    // Returns false when the file could not be put back (it stays at the rename path).
    bool MoveBack() noexcept;

private:
    std::string original_;
    std::string moved_;
    TCycleJournal* journal_;
    std::function<void()> onBack_;
    JournalStep backStep_;
    std::string what_;
    bool pending_{true};
};

} // namespace morvane
