#pragma once
// Where a cycle keeps what belongs to one database: its journal in a state folder,
// its lock in a runtime folder, each folder the database's own (named from the
// database file's real path) below a root only the run's user can write. Nothing a
// run acts on lives where another user could put a file or a link.

#include <cstdint>
#include <string>

namespace morvane {

// The folder's name for a database: its file name and a key of its real path (a link
// to the file followed), so an administrator can tell the folders apart and two
// spellings of one file share one.
std::string DatabaseStateName(const std::string& databasePath);
// FNV-1a of a path: the same key for the same path in every build of the program.
std::uint64_t PathKey(const std::string& text);

// The database's state and runtime folders, created and checked (0700, the run's
// user's own, not a link) at each call; raise EOSError when they cannot be trusted.
std::string CycleStateFolder(const std::string& databasePath);
std::string CycleRuntimeFolder(const std::string& databasePath);

// Where the file a DB File text that names no path (an alias) led to last time is
// kept: a file of the state root's "names" folder, named from the text. The folder
// is created and checked as above.
std::string RememberedDatabaseFilePath(const std::string& dbFileText);

} // namespace morvane
