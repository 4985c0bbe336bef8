#pragma once
// The state a database is in as its header shows it (its shutdown level and its
// access mode), the next request that brings it nearer a wanted state, and the loop
// that asks for it until the header shows the wanted state. Under clients that keep
// re-attaching the server's answers cannot be trusted (a shutdown answers failure
// when it took effect, an access change is refused now and then): only the header
// says where the database is, and every request is tried again within a bound.

#include "fib/IB_ServicesBuffers.h"

#include <functional>
#include <string>

namespace morvane {

struct DatabaseState {
    fib::TShutdownMode mode{fib::TShutdownMode::Normal};
    bool readOnly{false};
    bool operator==(const DatabaseState&) const = default;
};

// The state a header's "Attributes" value shows ("force write, multi-user
// maintenance, read only").
DatabaseState StateOfAttributes(const std::string& attributes);
// As the log says it: "online, read only", "multi-user maintenance, read-write".
std::string StateText(const DatabaseState& state);

// One request to the server.
struct StateChange {
    enum class Kind { None, Shutdown, Online, Access };
    Kind kind{Kind::None};
    fib::TShutdownMode mode{fib::TShutdownMode::Normal}; // Shutdown, Online: the level asked for
    bool readOnly{false};                                // Access: the mode asked for
    bool operator==(const StateChange&) const = default;
};

// The access mode changes only under a multi-user or single-user maintenance
// shutdown (it needs the database to itself and is refused in a full shutdown);
// a request holding both changes is not to be trusted, so there is one at a time.
StateChange NextStateChange(const DatabaseState& now, const DatabaseState& wanted);

// What the loop asks the server through.
struct StateRequests {
    std::function<std::string()> attributes;
    std::function<void(fib::TShutdownMode)> shutdown; // with the cycle's wait for attachments
    std::function<void(fib::TShutdownMode)> online;
    std::function<void(bool readOnly)> access;
    // Between a request that failed and the next look at the header.
    std::function<void()> pause;
    // Looks at the header (and requests) at most this often.
    int rounds{12};
};

struct StateOutcome {
    bool reached{false};
    DatabaseState last;      // as the header showed it last
    std::string attributes;  // its text, or why it could not be read
    std::string lastError;   // what the last refused request said
    int requests{0};
};

// Asks for one change at a time and reads the header after each, until it shows
// wanted or the rounds are spent. Never raises.
StateOutcome DriveDatabaseState(const StateRequests& requests, const DatabaseState& wanted) noexcept;

} // namespace morvane
