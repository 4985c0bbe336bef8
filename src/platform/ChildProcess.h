#pragma once
// A command run through /bin/sh -c with its standard output and standard error
// merged into one pipe and its standard input closed at once, so a command that
// reads its input sees the end of it instead of waiting.

#include <cstddef>
#include <span>
#include <string>
#include <sys/types.h>

namespace morvane::platform {

class ChildProcess {
public:
    // Starts the command in the working folder (the current one when empty). A
    // command that cannot be started is no error: reading then gives end of output.
    ChildProcess(const std::string& command, const std::string& workingFolder);
    // Reaps the shell; a shell still running is reaped in the background.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const noexcept { return pid_ > 0; }

    enum class ReadStatus { Data, EndOfOutput, Failed };
    struct ReadResult {
        ReadStatus status;
        std::size_t count;  // bytes read when status is Data
        int errorCode;      // errno when status is Failed
    };
    // Waits for the next bytes of output; EndOfOutput once the shell and everything
    // it started have closed the pipe.
    ReadResult Read(std::span<char> buffer);

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

} // namespace morvane::platform
