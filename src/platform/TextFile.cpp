#include "platform/TextFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane::platform {

namespace {
std::ptrdiff_t SystemWrite(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }

std::atomic<TextFileWriteFunction> writeFunction{SystemWrite};
} // namespace

void SetTextFileWriteFunction(TextFileWriteFunction function) noexcept
{
    writeFunction.store(function != nullptr ? function : SystemWrite);
}

TextFile::~TextFile()
{
    if (fd_ >= 0)
        ::close(fd_); // only reached on an error path, where the first error is the one reported
}

namespace {

// A log may lie in a folder others can write: a link put at its name is never
// followed, and what is there must be a regular file (or a device such as
// /dev/stderr an administrator names). Returns 0 or the errno.
int OpenWithoutFollowing(const std::string& path, int flags, int& fd) noexcept
{
    fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return errno;
    struct stat info {};
    const bool seen = ::fstat(fd, &info) == 0;
    if (!seen || !(S_ISREG(info.st_mode) || S_ISCHR(info.st_mode))) {
        const int code = seen ? EINVAL : errno;
        ::close(fd);
        fd = -1;
        return code;
    }
    // Back to blocking writes, as any log file.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return 0;
}

} // namespace

int TextFile::OpenForAppend(const std::string& path, bool create) noexcept
{
    return OpenWithoutFollowing(path, O_WRONLY | O_APPEND | (create ? O_CREAT : 0), fd_);
}

int TextFile::OpenTruncated(const std::string& path) noexcept
{
    if (const int error = OpenWithoutFollowing(path, O_WRONLY | O_CREAT, fd_); error != 0)
        return error;
    // Only a file of the run's own user is emptied: another user's file is left whole.
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || S_ISCHR(info.st_mode))
        return 0;
    if (info.st_uid != ::geteuid() || ::ftruncate(fd_, 0) != 0) {
        const int code = info.st_uid != ::geteuid() ? EACCES : errno;
        ::close(fd_);
        fd_ = -1;
        return code;
    }
    return 0;
}

int TextFile::Write(std::string_view data) noexcept
{
    while (!data.empty()) {
        const std::ptrdiff_t written = writeFunction.load(std::memory_order_relaxed)(fd_, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

int TextFile::Close() noexcept
{
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR)
        return errno;
    return 0;
}

} // namespace morvane::platform
