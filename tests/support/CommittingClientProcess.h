#pragma once
// A client application committing rows (tests/support/CommittingClient.cpp) run in
// the background, stopped with the object: SIGTERM, then SIGKILL after five seconds.
// Its credentials go in its environment, not on its command line.

#include "support/ToolRunner.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace morvane::test {

// One committing client, stopped with the object.
class ClientProcess {
public:
    ClientProcess(const std::string& connection, const std::string& user, const std::string& password, int id,
                  const std::string& commits, const std::string& refusals = {})
        : ClientProcess(user, password,
                        refusals.empty()
                            ? std::vector<std::string>{COMMITTING_CLIENT_PATH, connection, std::to_string(id), commits}
                            : std::vector<std::string>{COMMITTING_CLIENT_PATH, connection, std::to_string(id), commits,
                                                       refusals})
    {
    }
    // Any client program of tests/support: its path, then its arguments.
    ClientProcess(const std::string& user, const std::string& password, std::vector<std::string> args)
    {
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::vector<std::string> environment = EnvironmentWith({"ISC_USER=" + user, "ISC_PASSWORD=" + password});
        std::vector<char*> envp;
        for (std::string& setting : environment)
            envp.push_back(setting.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ClientProcess() { Stop(); }
    ClientProcess(const ClientProcess&) = delete;
    ClientProcess& operator=(const ClientProcess&) = delete;

    void Stop() noexcept
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    pid_t pid_{-1};
};

} // namespace morvane::test
