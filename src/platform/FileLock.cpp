#include "platform/FileLock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane::platform {

namespace {

// The whole file as one lock of the open file description: like flock's, it goes
// with the descriptor (a second open in this process is refused too, and closing
// another descriptor of the file releases nothing), and unlike flock's it can be
// asked about without being taken.
struct flock WholeFile()
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0; // to the end, however long the file grows
    lock.l_pid = 0; // the system asks for 0 with a lock of the description
    return lock;
}

std::string ReadHolder(int fd)
{
    char buffer[512];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// A descriptor closed on every path out of the function that opened it.
class OpenFile {
public:
    explicit OpenFile(int fd) noexcept : fd_(fd) {}
    ~OpenFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int Get() const noexcept { return fd_; }

private:
    int fd_;
};

} // namespace

FileLock::FileLock(const std::string& path, const std::string& ownerText)
{
    // Never through a link: in a folder another user could write, a link planted at
    // the name would have the lock's text written over the file it points to.
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return;
    }
    struct flock lock = WholeFile();
    int taken = -1;
    while ((taken = ::fcntl(fd_, F_OFD_SETLK, &lock)) != 0 && errno == EINTR) {
    }
    if (taken != 0) {
        const int reason = errno;
        if (reason == EAGAIN || reason == EACCES)
            holder_ = ReadHolder(fd_);
        else
            error_ = std::strerror(reason);
        return;
    }
    held_ = true;
    // Only the holder writes: the text of a lock that is held is never half written.
    if (::ftruncate(fd_, 0) == 0) {
        std::size_t done = 0;
        while (done < ownerText.size()) {
            const ssize_t n = ::pwrite(fd_, ownerText.data() + done, ownerText.size() - done,
                                       static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break; // the text is a courtesy for the administrator; the lock holds without it
            done += static_cast<std::size_t>(n);
        }
    }
}

FileLock::~FileLock()
{
    // Closing the descriptor releases the lock; the file stays, so that a process
    // waiting on it and one creating it anew never hold two different locks.
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<std::string> FileLockHolder(const std::string& path)
{
    // Read only: asking takes nothing, so a holder that comes at that moment is
    // never refused because somebody asked. Not blocking: a pipe put at the name
    // would otherwise hold the asker for ever.
    const OpenFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (file.Get() < 0)
        return std::nullopt;
    struct flock lock = WholeFile();
    if (::fcntl(file.Get(), F_OFD_GETLK, &lock) != 0 || lock.l_type == F_UNLCK)
        return std::nullopt;
    return ReadHolder(file.Get());
}

bool RemoveUnheldFlockFile(const std::string& path)
{
    const OpenFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat status {};
    if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != ::geteuid() || status.st_nlink != 1)
        return false;
    // Held while the name goes: a holder of that version that comes now opens a
    // new file and never shares a lock with one who waited on this one.
    if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    // In a folder with the sticky bit only the file's owner (this user) can take its
    // name away or put another file there, so the name still leads to this file.
    return ::unlink(path.c_str()) == 0;
}

bool WaitUntilLockFree(const std::string& path, std::chrono::milliseconds limit)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + limit;
    // Watched before the first question: a holder that lets go between the question
    // and the wait still wakes it. Another waiter's try closes the file too: a
    // wake-up only asks again.
    const OpenFile watch(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    const bool watching =
        watch.Get() >= 0 && ::inotify_add_watch(watch.Get(), path.c_str(),
                                                IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_DONT_FOLLOW) >= 0;
    // Without a watch (no such file yet, or the system's watches all used), the
    // question is asked again at a short beat instead.
    constexpr std::chrono::milliseconds Beat{50};
    for (;;) {
        if (!FileLockHolder(path))
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0)
            return false;
        struct pollfd event {};
        event.fd = watching ? watch.Get() : -1;
        event.events = POLLIN;
        const int timeout = static_cast<int>(watching ? left.count() : std::min(left, Beat).count());
        if (::poll(&event, 1, timeout) > 0) {
            char buffer[4096];
            while (::read(watch.Get(), buffer, sizeof buffer) > 0) {
            }
        }
    }
}

std::string CanonicalFilePath(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) == nullptr)
        return path;
    const std::string real = resolved;
    return real == "/" ? "/" + name : real + "/" + name;
}

std::string FollowedFilePath(const std::string& path)
{
    std::string current = CanonicalFilePath(path);
    for (int links = 0; links < 40; ++links) {
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return current;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(current.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target)
            return current;
        std::string next(target, static_cast<std::size_t>(length));
        // A relative target is read from the link's own folder.
        if (next.front() != '/')
            next = current.substr(0, current.find_last_of('/') + 1) + next;
        current = CanonicalFilePath(next);
    }
    return current;
}

} // namespace morvane::platform
