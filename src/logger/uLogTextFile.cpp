#include "logger/uLogTextFile.h"

#include "core/Format.h"
#include "core/Text.h"
#include "global/Global_File.h"
#include "global/Global_Utils.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane {

namespace {
std::ptrdiff_t SystemWrite(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }

std::atomic<LogFileWriteFunction> writeFunction{SystemWrite};
} // namespace

void SetLogFileWriteFunction(LogFileWriteFunction function) noexcept
{
    writeFunction.store(function != nullptr ? function : SystemWrite);
}

void RaiseInOutError(int errorCode, const std::string& fileName)
{
    throw EInOutError(FormatText("Erreur d'entrée/sortie %d sur \"%s\" : %s", errorCode, fileName,
                                 std::strerror(errorCode)),
                      errorCode);
}

LogFileHandle::~LogFileHandle()
{
    if (fd_ >= 0)
        ::close(fd_); // only reached on an error path, where the first error is the one reported
}

int LogFileHandle::OpenForAppend(const std::string& fileName, bool create) noexcept
{
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0);
    fd_ = ::open(fileName.c_str(), flags, 0666);
    return fd_ >= 0 ? 0 : errno;
}

int LogFileHandle::OpenTruncated(const std::string& fileName) noexcept
{
    fd_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd_ >= 0 ? 0 : errno;
}

void LogFileHandle::Write(std::string_view data, const std::string& fileName)
{
    while (!data.empty()) {
        const std::ptrdiff_t written = writeFunction.load(std::memory_order_relaxed)(fd_, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            RaiseInOutError(errno, fileName);
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
}

void LogFileHandle::Close(const std::string& fileName)
{
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR)
        RaiseInOutError(errno, fileName);
}

void SwitchLogFile(std::string& current, const std::string& name, bool keepContents)
{
    if (SameText(name, current))
        return;
    const std::string absolute = GlobalFile().GetAbsoluteFileName(name, ProgramFolder());
    if (SameText(absolute, current))
        return;
    current = absolute;
    try {
        PrepareLogFile(current, keepContents);
    } catch (...) {
        current.clear();
        throw;
    }
}

void PrepareLogFile(const std::string& fileName, bool keepContents)
{
    LogFileHandle file;
    const int error = keepContents ? file.OpenForAppend(fileName, true) : file.OpenTruncated(fileName);
    if (error != 0)
        RaiseInOutError(error, fileName);
    file.Close(fileName);
}

bool LogFileExists(const std::string& fileName) noexcept
{
    struct stat info {};
    return ::stat(fileName.c_str(), &info) == 0;
}

} // namespace morvane
