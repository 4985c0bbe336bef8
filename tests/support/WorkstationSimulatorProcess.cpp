#include "support/WorkstationSimulatorProcess.h"

#include "support/FirebirdServer.h"
#include "support/ToolRunner.h"
#include "platform/SpawnActions.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace morvane::test {

namespace {

using Clock = std::chrono::steady_clock;

const char* ModeArgument(WorkstationSimulatorProcess::Mode mode)
{
    switch (mode) {
    case WorkstationSimulatorProcess::Mode::Close: return "close";
    case WorkstationSimulatorProcess::Mode::Terminate: return "terminate";
    case WorkstationSimulatorProcess::Mode::Never: return "never";
    }
    return "never";
}

// Whether a request sends a workstation of that mode away (as the simulator decides).
bool LeavesOn(WorkstationSimulatorProcess::Mode mode, const std::string& command)
{
    switch (mode) {
    case WorkstationSimulatorProcess::Mode::Close: return command == "Close" || command == "Terminate";
    case WorkstationSimulatorProcess::Mode::Terminate: return command == "Terminate";
    case WorkstationSimulatorProcess::Mode::Never: return false;
    }
    return false;
}

} // namespace

const char* WorkstationSimulatorPath() { return WORKSTATION_SIMULATOR_PATH; }

WorkstationSimulatorProcess::WorkstationSimulatorProcess(const std::string& connectionString, Mode mode,
                                                         const std::string& station)
    : mode_(mode)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("workstation simulator: no pipe");
    output_ = fds[0];

    platform::SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.Get(), 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.Get(), fds[1], 1);
    posix_spawn_file_actions_adddup2(actions.Get(), fds[1], 2);
    std::vector<std::string> arguments{WorkstationSimulatorPath(), connectionString, ModeArgument(mode), station};
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = EnvironmentWith(SysdbaEnvironment());
    std::vector<char*> envp;
    for (auto& setting : environment)
        envp.push_back(setting.data());
    envp.push_back(nullptr);
    const int spawned = ::posix_spawn(&pid_, argv[0], actions.Get(), nullptr, argv.data(), envp.data());
    ::close(fds[1]);
    if (spawned != 0) {
        pid_ = -1;
        ::close(output_);
        output_ = -1;
        throw std::runtime_error("workstation simulator: cannot start " + arguments[0]);
    }

    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (text_.find("attached\n") == std::string::npos) {
        if (Clock::now() >= deadline || !Running()) {
            Drain(std::chrono::milliseconds(200));
            Stop();
            throw std::runtime_error("workstation simulator did not attach: " + text_);
        }
        Drain(std::chrono::milliseconds(100));
    }
}

WorkstationSimulatorProcess::~WorkstationSimulatorProcess() { Stop(); }

void WorkstationSimulatorProcess::Stop() noexcept
{
    if (pid_ > 0 && !Reap(false)) {
        ::kill(pid_, SIGTERM);
        if (!WaitForExit(std::chrono::seconds(5))) {
            ::kill(pid_, SIGKILL);
            Reap(true);
        }
    }
    if (output_ >= 0)
        ::close(output_);
    output_ = -1;
}

void WorkstationSimulatorProcess::Drain(std::chrono::milliseconds timeout)
{
    if (output_ < 0)
        return;
    pollfd entry{output_, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(timeout.count())) <= 0)
        return;
    char buffer[4096];
    const ssize_t count = ::read(output_, buffer, sizeof buffer);
    if (count > 0)
        text_.append(buffer, static_cast<std::size_t>(count));
    else if (count == 0) {
        ::close(output_);
        output_ = -1;
    }
}

bool WorkstationSimulatorProcess::Reap(bool wait)
{
    if (pid_ <= 0)
        return true;
    int status = 0;
    pid_t result;
    do
        result = ::waitpid(pid_, &status, wait ? 0 : WNOHANG);
    while (result < 0 && errno == EINTR);
    if (result == 0)
        return false;
    if (result == pid_ && WIFEXITED(status))
        exitCode_ = WEXITSTATUS(status);
    pid_ = -1;
    return true;
}

bool WorkstationSimulatorProcess::Running() { return !Reap(false); }

bool WorkstationSimulatorProcess::WaitForExit(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (Running()) {
        if (Clock::now() >= deadline)
            return false;
        Drain(std::chrono::milliseconds(50));
        if (output_ < 0)
            ::usleep(20000);
    }
    return true;
}

std::string WorkstationSimulatorProcess::Output()
{
    Drain(std::chrono::milliseconds(0));
    return text_;
}

bool WorkstationSimulatorProcess::Answered(int requests)
{
    if (!Running())
        return true;
    // "answered <number> <command>" per answer; a line still being written is left for later.
    const std::string output = Output();
    std::istringstream lines(output.substr(0, output.rfind('\n') + 1));
    int answers = 0;
    std::string lastCommand;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("answered ", 0) == 0) {
            ++answers;
            std::istringstream words(line.substr(9));
            std::string number;
            words >> number >> lastCommand;
        }
    // One it leaves on is answered once the workstation has detached and ended.
    return answers >= requests && !(answers > 0 && LeavesOn(mode_, lastCommand));
}

} // namespace morvane::test
