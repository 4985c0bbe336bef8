#pragma once
// The built program started unattended in the background, without a display:
// the test can wait for it, see how it ended, or kill it. Killed and reaped
// with the object at the latest.

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace morvane::test {

class BackgroundProgram {
public:
    BackgroundProgram(const std::string& program, std::vector<std::string> environment,
                      std::vector<std::string> arguments = {"AUTO"})
    {
        for (char** variable = environ; *variable != nullptr; ++variable) {
            const std::string setting(*variable);
            if (setting.rfind("DISPLAY=", 0) != 0 && setting.rfind("WAYLAND_DISPLAY=", 0) != 0)
                environment.push_back(setting);
        }
        std::vector<char*> envp;
        for (std::string& setting : environment)
            envp.push_back(setting.data());
        envp.push_back(nullptr);
        std::string path = program;
        std::vector<char*> argv{path.data()};
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int error = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            pid_ = -1;
    }
    ~BackgroundProgram() { Kill(); }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    bool Started() const noexcept { return pid_ > 0 || status_.has_value(); }
    bool Running() { return pid_ > 0 && !Reap(WNOHANG); }

    // Its exit status, or 128 + the signal that ended it; nothing when it still
    // runs after the timeout.
    std::optional<int> Wait(std::chrono::seconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return status_;
    }

    // A stop request, as systemd or kill sends it.
    void Signal(int signal) noexcept
    {
        if (pid_ > 0)
            ::kill(pid_, signal);
    }

    void Kill() noexcept
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        Reap(0);
    }

private:
    bool Reap(int options) noexcept
    {
        int status = 0;
        if (::waitpid(pid_, &status, options) != pid_)
            return false;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = -1;
        return true;
    }

    pid_t pid_ = -1;
    std::optional<int> status_;
};

} // namespace morvane::test
