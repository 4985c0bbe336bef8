#pragma once
// The cycle's words when someone else is attached where it needs the database alone.

#include <string>
#include <vector>

namespace morvane {

// Forced disconnection unchecked and somebody still attached: nothing is cut.
std::string OthersAttachedRefusal(const std::string& dbFile, const std::vector<std::string>& others);

// Somebody found attached to the moved file (when: "après son déplacement", ...):
// the cycle stops before anything is swapped.
std::string OthersFoundRefusal(const std::string& when, const std::vector<std::string>& others);

// The attachments as one list.
std::string OthersText(const std::vector<std::string>& others);

} // namespace morvane
