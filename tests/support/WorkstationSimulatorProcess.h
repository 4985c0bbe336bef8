#pragma once
// Starts the workstation simulator on a database and stops it with the object, so
// a test that fails half-way leaves no attachment behind.

#include <chrono>
#include <string>
#include <sys/types.h>

namespace morvane::test {

class WorkstationSimulatorProcess {
public:
    enum class Mode { Close, Terminate, Never };

    // Starts the simulator as SYSDBA and waits until it reports itself attached;
    // raises std::runtime_error with its output when it does not.
    WorkstationSimulatorProcess(const std::string& connectionString, Mode mode,
                                const std::string& station = "SIMULATEUR");
    // Stops a simulator still running (SIGTERM, then SIGKILL) and reaps it.
    ~WorkstationSimulatorProcess();
    WorkstationSimulatorProcess(const WorkstationSimulatorProcess&) = delete;
    WorkstationSimulatorProcess& operator=(const WorkstationSimulatorProcess&) = delete;

    // Waits up to timeout for the simulator to end; true when it has ended.
    bool WaitForExit(std::chrono::milliseconds timeout);
    bool Running();
    // Exit status once ended (-1 while running or when killed by a signal).
    int ExitCode() const noexcept { return exitCode_; }
    // Everything it printed so far.
    std::string Output();
    // True once it has answered that many requests and, when the last one sent it
    // away, has ended; or once it has ended in any case.
    bool Answered(int requests);

private:
    void Stop() noexcept;
    void Drain(std::chrono::milliseconds timeout);
    bool Reap(bool wait);

    Mode mode_;
    pid_t pid_ = -1;
    int output_ = -1;
    int exitCode_ = -1;
    std::string text_;
};

// The simulator program built with the tests.
const char* WorkstationSimulatorPath();

} // namespace morvane::test
