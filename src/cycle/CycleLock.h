#pragma once
// One cycle at a time per database: a lock in the database's own runtime folder
// (named from the file's real path), so two program folders or two profiles naming
// the same file collide and two different databases do not. Held until the program
// ends; only its holder writes its text, and nobody else can write in its folder.

#include <string>

namespace morvane {

// The lock file of a database; raises EOSError when its folder cannot be trusted.
std::string CycleLockPath(const std::string& databasePath);

// Takes the database's lock for the rest of the run, or confirms this program
// already holds it. False when another program holds it; holder then says who.
// Raises EOSError when the lock cannot be taken for another reason.
bool HoldCycleLock(const std::string& databasePath, std::string& holder);

// The refusal of a second run, in the program's words.
std::string CycleLockRefusal(const std::string& databasePath, const std::string& holder);

} // namespace morvane
