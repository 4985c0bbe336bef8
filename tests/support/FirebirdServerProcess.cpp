#include "support/FirebirdServerProcess.h"

#include "support/FirebirdServer.h"
#include "support/ToolRunner.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

namespace morvane::test {

namespace {

std::string ProcessName(const std::filesystem::path& folder)
{
    std::string name;
    std::getline(std::ifstream(folder / "comm"), name);
    return name;
}

bool ServerAnswersRequests()
{
    return ServerAnswers() &&
        RunTool({"fbsvcmgr", std::string(ServerHost) + ":service_mgr", "info_server_version"}, SysdbaEnvironment())
            .ExitCode == 0;
}

} // namespace

pid_t FirebirdServerPid()
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (ProcessName(entry.path()) == "firebird")
            return static_cast<pid_t>(std::strtol(name.c_str(), nullptr, 10));
    }
    return 0;
}

std::string KillServerAndWaitForRestart()
{
    using namespace std::chrono_literals;
    const pid_t killed = FirebirdServerPid();
    if (killed == 0)
        return "no server process to kill";
    if (::kill(killed, SIGKILL) != 0)
        return "the server process could not be killed (the fault tests run as root)";
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(200ms);
        const pid_t current = FirebirdServerPid();
        if (current != 0 && current != killed && ServerAnswersRequests())
            return {};
    }
    return "the guardian did not start the server again within 60 s";
}

bool ServerIgnoresFileSizeSignal()
{
    const pid_t pid = FirebirdServerPid();
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigIgn:", 0) == 0) {
            const unsigned long long ignored = std::strtoull(line.c_str() + 7, nullptr, 16);
            return (ignored >> (SIGXFSZ - 1) & 1u) != 0;
        }
    return false;
}

std::vector<std::string> ServerFileSizeLimitCommand(pid_t server, const std::string& limit)
{
    // Only the soft limit: the server's own user can raise it again up to the hard one.
    return {"setpriv",
            "--reuid=firebird",
            "--regid=firebird",
            "--clear-groups",
            "prlimit",
            "--pid",
            std::to_string(server),
            "--fsize=" + limit + ":unlimited"};
}

void ServerFileSizeLimitLifter::Lift() noexcept
{
    const pid_t pid = FirebirdServerPid();
    if (pid == 0)
        return;
    try {
        RunTool(ServerFileSizeLimitCommand(pid, "unlimited"));
    } catch (const std::exception& error) {
        std::cerr << "the server's file-size limit could not be lifted: " << error.what() << '\n';
    }
}

} // namespace morvane::test
