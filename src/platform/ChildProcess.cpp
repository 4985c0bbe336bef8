#include "platform/ChildProcess.h"

#include "platform/SpawnActions.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace morvane::platform {

namespace {
// Owns a descriptor until it is released or the scope ends.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const noexcept { return fd_; }
    int Release() noexcept
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Close() noexcept
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

} // namespace

ChildProcess::ChildProcess(const std::string& command, const std::string& workingFolder)
{
    int outputPipe[2];
    int inputPipe[2];
    if (::pipe2(outputPipe, O_CLOEXEC) != 0)
        return;
    Descriptor outputRead(outputPipe[0]), outputWrite(outputPipe[1]);
    if (::pipe2(inputPipe, O_CLOEXEC) != 0)
        return;
    Descriptor inputRead(inputPipe[0]), inputWrite(inputPipe[1]);

    SpawnActions actions;
    // dup2 clears close-on-exec on the copies, so only these three reach the child.
    posix_spawn_file_actions_adddup2(actions.Get(), inputRead.Get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(actions.Get(), outputWrite.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.Get(), outputWrite.Get(), STDERR_FILENO);
    // Descriptors the program holds (server connections, log files) are not the batch file's.
    posix_spawn_file_actions_addclosefrom_np(actions.Get(), STDERR_FILENO + 1);
    if (!workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(actions.Get(), workingFolder.c_str());

    std::string shell = "/bin/sh", option = "-c", text = command;
    char* arguments[] = {shell.data(), option.data(), text.data(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, "/bin/sh", actions.Get(), nullptr, arguments, environ) != 0)
        return; // output_ stays closed: the caller reads an empty output
    pid_ = pid;
    // Our copies of the child's ends go now, so the pipe breaks when the child's side
    // has gone; the input's write end goes too: nothing is ever written to the child.
    outputWrite.Close();
    inputWrite.Close();
    inputRead.Close();
    output_ = outputRead.Release();
}

ChildProcess::~ChildProcess()
{
    if (output_ >= 0)
        ::close(output_);
    if (pid_ <= 0)
        return;
    int status = 0;
    pid_t done;
    do {
        done = ::waitpid(pid_, &status, WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == 0) {
        // The shell closed its output but runs on: reap it when it ends rather than
        // holding the caller, who only waits for the output.
        const pid_t pid = pid_;
        std::thread([pid] {
            int ignored = 0;
            while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }
}

ChildProcess::ReadResult ChildProcess::Read(std::span<char> buffer)
{
    if (output_ < 0)
        return {ReadStatus::EndOfOutput, 0, 0};
    for (;;) {
        const ssize_t count = ::read(output_, buffer.data(), buffer.size());
        if (count > 0)
            return {ReadStatus::Data, static_cast<std::size_t>(count), 0};
        if (count == 0)
            return {ReadStatus::EndOfOutput, 0, 0};
        if (errno != EINTR)
            return {ReadStatus::Failed, 0, errno};
    }
}

} // namespace morvane::platform
