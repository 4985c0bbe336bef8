#pragma once
// One cycle at a time per database: a lock keyed on the database file's real path,
// so two program folders or two profiles naming the same file collide and two
// different databases do not. Held until the program ends.

#include <string>

namespace morvane {

// The lock file of a database (in the system's lock folder).
std::string CycleLockPath(const std::string& databasePath);

// Takes the database's lock for the rest of the run, or confirms this program
// already holds it. False when another program holds it; holder then says who.
bool HoldCycleLock(const std::string& databasePath, std::string& holder);

// The refusal of a second run, in the program's words.
std::string CycleLockRefusal(const std::string& databasePath, const std::string& holder);

} // namespace morvane
