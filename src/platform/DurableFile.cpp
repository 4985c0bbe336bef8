#include "platform/DurableFile.h"

#include "core/Exception.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace morvane::platform {

namespace {

[[noreturn]] void RaiseFileError(const std::string& what, const std::string& path, int code)
{
    throw EOSError(what + " " + path + " : " + std::strerror(code), code);
}

mode_t CurrentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// The temporary file of a durable write: closed, and removed unless it was renamed.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) : path_(target + ".XXXXXX")
    {
        fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
        if (fd_ < 0)
            RaiseFileError("Impossible de créer le fichier", path_, errno);
    }
    ~TemporaryFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!renamed_)
            ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void Write(const std::string& text)
    {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                RaiseFileError("Impossible d'écrire le fichier", path_, errno);
            done += static_cast<std::size_t>(n);
        }
    }

    void CommitAs(const std::string& target, mode_t mode, std::optional<gid_t> group = std::nullopt)
    {
        if (group && ::fchown(fd_, static_cast<uid_t>(-1), *group) != 0)
            RaiseFileError("Impossible de donner le fichier au groupe", path_, errno);
        if (::fchmod(fd_, mode) != 0 || ::fsync(fd_) != 0)
            RaiseFileError("Impossible d'écrire le fichier", path_, errno);
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            RaiseFileError("Impossible d'écrire le fichier", path_, errno);
        if (::rename(path_.c_str(), target.c_str()) != 0)
            RaiseFileError("Impossible de renommer le fichier", path_ + " => " + target, errno);
        renamed_ = true;
    }

private:
    std::string path_;
    int fd_{-1};
    bool renamed_{false};
};

} // namespace

std::string FolderOfPath(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

void WriteAndSync(const std::string& path, const std::string& text, mode_t mode, std::optional<gid_t> group)
{
    {
        TemporaryFile file(path);
        file.Write(text);
        file.CommitAs(path, mode, group);
    }
    // The rename is only durable once the folder's entry is on disk too.
    const std::string folder = FolderOfPath(path);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        RaiseFileError("Impossible d'ouvrir le dossier", folder, errno);
    const int synced = ::fsync(dir);
    const int code = errno;
    ::close(dir);
    if (synced != 0)
        RaiseFileError("Impossible d'écrire le dossier", folder, code);
}

} // namespace

void WriteFileDurably(const std::string& path, const std::string& text, std::optional<mode_t> mode)
{
    if (!mode) {
        struct stat info {};
        mode = ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : (0666 & ~CurrentUmask());
    }
    WriteAndSync(path, text, *mode, std::nullopt);
}

void WriteFileDurablyForGroup(const std::string& path, const std::string& text, mode_t mode, gid_t group)
{
    WriteAndSync(path, text, mode, group);
}

std::optional<gid_t> GroupIdOf(const std::string& name)
{
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* found = nullptr;
    if (name.empty() || ::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return found->gr_gid;
}

void SyncFolderOf(const std::string& path) noexcept
{
    if (path.empty())
        return;
    const int fd = ::open(FolderOfPath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

void SyncFile(const std::string& path) noexcept
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

void StartWriteBack(const std::string& path) noexcept
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    ::close(fd);
}

std::optional<FileSystemSpace> FileSystemSpaceOf(const std::string& folder)
{
    struct stat info {};
    struct statvfs space {};
    if (::stat(folder.c_str(), &info) != 0 || ::statvfs(folder.c_str(), &space) != 0)
        return std::nullopt;
    return FileSystemSpace{static_cast<unsigned long long>(info.st_dev),
                           static_cast<unsigned long long>(space.f_bavail) *
                               static_cast<unsigned long long>(space.f_frsize)};
}

bool PathExists(const std::string& path) noexcept
{
    struct stat info {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

bool IsRegularFile(const std::string& path) noexcept
{
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsFolder(const std::string& path) noexcept
{
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool TargetExists(const std::string& path) noexcept
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::optional<unsigned long long> DeviceOf(const std::string& path) noexcept
{
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<unsigned long long>(info.st_dev);
}

bool SameFile(const std::string& first, const std::string& second) noexcept
{
    struct stat a {};
    struct stat b {};
    return !first.empty() && !second.empty() && ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool FolderWritable(const std::string& folder) noexcept
{
    return IsFolder(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool CanExecute(const std::string& path) noexcept { return ::access(path.c_str(), X_OK) == 0; }

bool RemoveFile(const std::string& path) noexcept
{
    if (path.empty())
        return true;
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

PrivateFile::PrivateFile(const std::string& text)
{
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/morvane-XXXXXX";
    // mkstemp creates the file readable and writable by its owner only.
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        RaiseFileError("Impossible de créer le fichier", name, errno);
    path_ = name;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int code = errno;
            ::close(fd);
            ::unlink(path_.c_str());
            RaiseFileError("Impossible d'écrire le fichier", path_, code);
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

PrivateFile::~PrivateFile() { ::unlink(path_.c_str()); }

std::optional<FileIdentity> RegularFileIdentity(const std::string& path) noexcept
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileIdentity{static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino)};
}

std::optional<FileStamp> RegularFileStamp(const std::string& path) noexcept
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileStamp{
        {static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino)},
        static_cast<unsigned long long>(info.st_size),
        static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
}

bool CopyOwnerAndMode(const std::string& from, const std::string& to, const FileIdentity& expected,
                      std::string& error) noexcept
{
    struct stat source {};
    if (::lstat(from.c_str(), &source) != 0 || !S_ISREG(source.st_mode)) {
        error = std::string(from) + " n'est pas un fichier ordinaire";
        return false;
    }
    const int fd = ::open(to.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = errno == ELOOP ? to + " est un lien symbolique" : std::string(std::strerror(errno));
        return false;
    }
    struct stat target {};
    bool done = false;
    if (::fstat(fd, &target) != 0)
        error = std::strerror(errno);
    else if (!S_ISREG(target.st_mode) || static_cast<unsigned long long>(target.st_dev) != expected.device ||
             static_cast<unsigned long long>(target.st_ino) != expected.inode)
        error = to + " n'est plus le fichier vérifié";
    else if (::fchown(fd, source.st_uid, source.st_gid) != 0 || ::fchmod(fd, source.st_mode & 07777) != 0)
        error = std::strerror(errno);
    else
        done = true;
    ::close(fd);
    return done;
}

std::string OwnerAndModeText(const std::string& path) noexcept
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%u:%u %04o", static_cast<unsigned>(info.st_uid),
                  static_cast<unsigned>(info.st_gid), static_cast<unsigned>(info.st_mode & 07777));
    return text;
}

bool ReadableByGroupOrOthers(const std::string& path) noexcept
{
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

std::optional<long long> FileSize(const std::string& path) noexcept
{
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return static_cast<long long>(info.st_size);
}

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    if (!IsRegularFile(path))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return std::nullopt;
    return data;
}

} // namespace morvane::platform
