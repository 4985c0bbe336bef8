#pragma once
// The checks made before the cycle runs anything: a night run that cannot end well
// must stop before the site's services are stopped and the database is moved.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace morvane {

// What the cycle is about to do, as the window's fields say it.
struct PreflightInput {
    std::string databasePath; // the database file on this machine, links followed
    std::string backupFolder; // where the server writes the backup file
    std::string renamePath;   // where the old file goes
    // "Before Backup" or "After Restore" checked: a copy an earlier cycle left at the
    // rename path may be replaced (it is set aside until this cycle succeeds).
    bool mayReplacePrevious{true};
    // A job setting the window could refuse to take, with the numeric-value message:
    // the restore would not be the one asked for.
    std::string refusedSetting{};
    // The database as the DB File text names it (a link, an alias); empty: databasePath.
    std::string databaseName{};
};

// What a file system offers: its identity (files on one share both copies) and its
// free bytes. Nothing when the folder cannot be queried.
struct FileSystemSpace {
    std::uint64_t device{0};
    std::uint64_t freeBytes{0};
};
using FreeSpaceProbe = std::function<std::optional<FileSystemSpace>(const std::string& folder)>;

// What the file system of the folder offers, as the system reports it.
std::optional<FileSystemSpace> LocalFreeSpace(const std::string& folder);

// Nothing when the DB File text is in a form of connection the program can use; else
// why not, in French.
std::optional<std::string> ConnectionFormPreflightRefusal(const std::string& dbFile);

// Nothing when the program can work on the database a DB File text names: a form of
// connection it can use, and a file of this machine it leads to (named: the text's
// path; real: the file the server or the links said). Else why not, in French.
std::optional<std::string> DatabaseNameRefusal(const std::string& dbFile, const std::string& named,
                                               const std::string& real);

// Nothing when the cycle may run; else the French message that names the failed
// check and what was found. The free space asked for is the database file's size
// for the backup and again for the new file (twice when one file system holds both).
std::optional<std::string> PreflightRefusal(const PreflightInput& input, const FreeSpaceProbe& probe);

} // namespace morvane
