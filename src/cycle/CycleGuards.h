#pragma once
// The two things a cycle must undo whatever way it ends: a database shut down by
// gfix, and a database file moved away from its path before the backup.

#include "cycle/CycleJournal.h"

#include <functional>
#include <string>

namespace morvane {

// A database that gfix shut down is brought back online when the cycle ends
// without putting a new database in its place: a failed night run must leave the
// site a database it can use.
class ShutDownDatabase {
public:
    ShutDownDatabase(std::string binFolder, std::string databaseName, std::function<void(const std::string&)> output)
        : binFolder_(std::move(binFolder)), databaseName_(std::move(databaseName)), output_(std::move(output))
    {
    }
    ~ShutDownDatabase() { BringOnline(); }
    ShutDownDatabase(const ShutDownDatabase&) = delete;
    ShutDownDatabase& operator=(const ShutDownDatabase&) = delete;

    // The new database, online, took its place; the old one stays shut down.
    void Replaced() noexcept { pending_ = false; }

    void BringOnline() noexcept;

private:
    std::string binFolder_;
    std::string databaseName_;
    std::function<void(const std::string&)> output_;
    bool pending_{true};
};

// The database file moved to the rename path before the backup. Until the cycle
// says the rebuilt file has taken its place, leaving this scope (by an error or by a
// failed backup or restore) moves it back: the database is never left missing.
class MovedDatabaseFile {
public:
    // onBack runs once the file is back (the window's database name follows it).
    MovedDatabaseFile(std::string original, std::string moved, TCycleJournal* journal, std::function<void()> onBack)
        : original_(std::move(original)), moved_(std::move(moved)), journal_(journal), onBack_(std::move(onBack))
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
    bool pending_{true};
};

} // namespace morvane
