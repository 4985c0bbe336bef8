#pragma once
// What the cycle does for its database before the window exists: take the
// database's lock (a second run refuses at once and touches nothing), then put
// right what an interrupted cycle left (the swap journal).

#include "session/ProfileDatabase.h"

#include <functional>
#include <optional>
#include <string>

namespace morvane {

// The exit status and message that end the start, when the start must end.
struct StartUpRefusal {
    int exitStatus;
    std::string message;
};
std::optional<StartUpRefusal> PrepareDatabaseAtStartUp(const ProfileDatabase& profile,
                                                       const std::function<void(const std::string&)>& log);

} // namespace morvane
