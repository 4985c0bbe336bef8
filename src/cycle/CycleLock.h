#pragma once
// One cycle at a time per database: a lock in the database's own runtime folder
// (named from the file's real path), so two program folders or two profiles naming
// the same file collide and two different databases do not. Held while a cycle
// runs, and while start-up puts right what an interrupted one left; a window that
// only shows the database never holds it. Only its holder writes its text, and
// nobody else can write in its folder.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

namespace platform {
class FileLock;
}

// The lock file of a database; raises EOSError when its folder cannot be trusted.
std::string CycleLockPath(const std::string& databasePath);

// The database's lock while it is held: released when the object goes, and by the
// system when the process ends, however it ends.
class CycleLockHold {
public:
    explicit CycleLockHold(std::unique_ptr<platform::FileLock> lock) noexcept;
    ~CycleLockHold();
    CycleLockHold(CycleLockHold&&) noexcept;
    CycleLockHold& operator=(CycleLockHold&&) noexcept;
    CycleLockHold(const CycleLockHold&) = delete;
    CycleLockHold& operator=(const CycleLockHold&) = delete;

private:
    std::unique_ptr<platform::FileLock> lock_;
};

// The lock taken, or who holds it.
struct CycleLockAttempt {
    std::optional<CycleLockHold> hold;
    std::string holder; // when refused: the holder's text ("pid N, base PATH")
};

// Tries once, without waiting. Refused while anybody holds it, another holder of
// this program included. Raises EOSError when the lock cannot be taken for another
// reason (a folder that cannot be trusted, a lock file that cannot be opened).
CycleLockAttempt TryHoldCycleLock(const std::string& databasePath);

// Earlier versions locked a database with a file named from its path in a folder
// everyone may write (/run/lock, else /tmp), and left it there. Once the lock is
// held, the database's file there goes when it is this user's and nobody holds it.
std::string EarlierVersionLockName(const std::string& databasePath);
void RemoveEarlierVersionLock(const std::string& databasePath, const std::vector<std::string>& folders);

// Whether a cycle holds the database's lock, asked without taking it or creating
// anything (a window asks every second, and a night run starting at that moment
// must not be refused): the holder's text, or nothing when it is free.
std::optional<std::string> CycleLockHolder(const std::string& databasePath);

// The refusal of a second run, in the program's words.
std::string CycleLockRefusal(const std::string& databasePath, const std::string& holder);
// What a window says while another process's cycle works on its database.
std::string CycleLockWait(const std::string& databasePath, const std::string& holder);

} // namespace morvane
