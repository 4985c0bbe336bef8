#include "platform/TextFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
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

int TextFile::OpenForAppend(const std::string& path, bool create) noexcept
{
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0);
    fd_ = ::open(path.c_str(), flags, 0666);
    return fd_ >= 0 ? 0 : errno;
}

int TextFile::OpenTruncated(const std::string& path) noexcept
{
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd_ >= 0 ? 0 : errno;
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
