#include "support/ToolRunner.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace morvane::test {

namespace {
class Pipe {
public:
    Pipe()
    {
        if (pipe2(fds_, O_CLOEXEC) != 0)
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    ~Pipe()
    {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int Read() const { return fds_[0]; }
    int Write() const { return fds_[1]; }
    void CloseRead() { Close(fds_[0]); }
    void CloseWrite() { Close(fds_[1]); }

private:
    static void Close(int& fd)
    {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    int fds_[2] = {-1, -1};
};
} // namespace

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& settings)
{
    const auto nameOf = [](const std::string& setting) { return setting.substr(0, setting.find('=')); };
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string setting(*variable);
        bool replaced = false;
        for (const std::string& added : settings)
            replaced = replaced || nameOf(added) == nameOf(setting);
        if (!replaced)
            environment.push_back(setting);
    }
    environment.insert(environment.end(), settings.begin(), settings.end());
    return environment;
}

ToolResult RunTool(const std::vector<std::string>& argv) { return RunTool(argv, {}); }

ToolResult RunTool(const std::vector<std::string>& argv, const std::vector<std::string>& settings)
{
    if (argv.empty())
        throw std::invalid_argument("RunTool: no program");
    std::vector<char*> args;
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    // Made before the fork: the child only execs.
    const std::vector<std::string> environment = EnvironmentWith(settings);
    std::vector<char*> envp;
    for (const auto& setting : environment)
        envp.push_back(const_cast<char*>(setting.c_str()));
    envp.push_back(nullptr);

    Pipe output;
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0)
            dup2(devNull, STDIN_FILENO);
        dup2(output.Write(), STDOUT_FILENO);
        dup2(output.Write(), STDERR_FILENO);
        execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    output.CloseWrite();

    ToolResult result;
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(output.Read(), buffer, sizeof buffer);
        if (count > 0)
            result.Output.append(buffer, static_cast<std::size_t>(count));
        else if (count == 0 || errno != EINTR)
            break;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::vector<std::string> OutputLines(const std::string& output)
{
    std::vector<std::string> lines;
    std::istringstream stream(output);
    std::string line;
    while (std::getline(stream, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

} // namespace morvane::test
