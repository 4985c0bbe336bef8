#pragma once
// The test server's own process, for the fault tests: killed in the middle of a
// request (its guardian starts it again) and given a file-size limit, so that
// its writes fail. Killing it needs root, as the test server runs as the
// firebird user.

#include <sys/types.h>

#include <string>
#include <vector>

namespace morvane::test {

// The pid of the running server process ("firebird"), 0 when there is none.
pid_t FirebirdServerPid();

// Kills the server with SIGKILL and waits until the guardian has started
// another one that answers a service request; the empty string then, else what
// went wrong.
std::string KillServerAndWaitForRestart();

// Whether the server ignores SIGXFSZ: only then does a file-size limit make its
// writes fail instead of killing it (scripts/start-firebird.sh starts it so).
bool ServerIgnoresFileSizeSignal();

// The command that sets the server process's file-size limit (bytes, or
// "unlimited"). It runs as the server's own user: this machine may deny root
// the right to change another user's limits, a process's own user never is.
std::vector<std::string> ServerFileSizeLimitCommand(pid_t server, const std::string& limit);

// Lifts any file-size limit from the server process at the end of its scope.
class ServerFileSizeLimitLifter {
public:
    ServerFileSizeLimitLifter() = default;
    ~ServerFileSizeLimitLifter() { Lift(); }
    ServerFileSizeLimitLifter(const ServerFileSizeLimitLifter&) = delete;
    ServerFileSizeLimitLifter& operator=(const ServerFileSizeLimitLifter&) = delete;
    static void Lift() noexcept;
};

} // namespace morvane::test
