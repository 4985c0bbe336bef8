#pragma once
// The file a DB File text leads to: the one the cycle moves aside, rebuilds beside
// itself and puts back, and the one its lock, journal and state are named after.
// The server says which file an alias (or any other form) names; a symbolic link is
// followed to the file it points to. What the server answered for an alias is kept
// in the state root: after a crash that left the file away from its path, the server
// can no longer tell, and the start-up still finds the cycle's journal.

#include "session/ProfileDatabase.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

// Where the real file's name came from.
enum class DatabaseFileSource {
    Server,     // the server's answer, links followed
    Links,      // the path of the DB File text, links followed on this machine
    Remembered, // an alias's last answer: the server could not tell this time
    AsNamed,    // nothing better was known: the text's path as it stands
};

struct DatabaseFile {
    std::string named; // the database as the DB File text names it: a path, a link or an alias
    std::string real;  // the file itself
    DatabaseFileSource source{DatabaseFileSource::AsNamed};
};

// Asks the server which file a connection reaches; raises when it cannot tell.
using DatabaseFileQuestion = std::function<std::string(const std::string& connection)>;

// The file dbFile leads to: the server's answer when it names a file of this machine,
// else the text's own path when it is one (links followed), else the last answer
// remembered for this text. An answer for a name that is not a path (an alias) is
// remembered. Never raises: what is not known stays the text's path, which the
// checks before the cycle then refuse.
DatabaseFile ResolveDatabaseFile(const std::string& dbFile, const DatabaseFileQuestion& askServer);

// The last answer remembered for a DB File text, when one is kept and can be trusted.
std::optional<std::string> RememberedDatabaseFile(const std::string& dbFile);

// The database file of the profile, resolved before the window exists: the server is
// asked through its statistics service (a header report, which a database in any
// shutdown state still gives).
DatabaseFile DatabaseFileAtStartUp(const ProfileDatabase& profile);

// The file a header statistics report names on its "Database" line; empty when none.
std::string HeaderDatabaseFile(const std::vector<std::string>& headerLines);

} // namespace morvane
