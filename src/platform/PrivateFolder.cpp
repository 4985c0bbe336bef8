#include "platform/PrivateFolder.h"

#include "core/Exception.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane::platform {

namespace {

[[noreturn]] void RaiseFor(const std::string& what, const std::string& path, int code)
{
    throw EOSError(what + " " + path + " : " + std::strerror(code), code);
}

std::string EnvironmentFolder(const char* name)
{
    const char* value = std::getenv(name);
    // Only an absolute path counts, as the XDG rules say.
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

} // namespace

bool RunningAsRoot() noexcept { return ::geteuid() == 0; }

void KeepNewFilesPrivate() noexcept { ::umask(077); }

std::string StateRoot()
{
    if (RunningAsRoot())
        return "/var/lib/morvane";
    if (const std::string state = EnvironmentFolder("XDG_STATE_HOME"); !state.empty())
        return state + "/morvane";
    const std::string home = EnvironmentFolder("HOME");
    return (home.empty() ? std::string("/tmp") : home) + "/.local/state/morvane";
}

namespace {

std::string RuntimeRootOfEnvironment()
{
    if (RunningAsRoot())
        return "/run/morvane";
    if (const std::string runtime = EnvironmentFolder("XDG_RUNTIME_DIR"); !runtime.empty()) {
        struct stat status {};
        if (::lstat(runtime.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
            (status.st_mode & 077) == 0)
            return runtime + "/morvane";
    }
    return StateRoot() + "/run";
}

} // namespace

std::string RuntimeRoot()
{
    // Read once: the window later points XDG_RUNTIME_DIR at a folder of its own run
    // when it has none, and locks must not follow it there.
    static const std::string root = RuntimeRootOfEnvironment();
    return root;
}

void EnsurePrivateFolder(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        throw EOSError("Dossier d'état invalide: " + path, EINVAL);
    // The missing parents are made as private as the folder itself.
    for (std::size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        const std::string part = slash == std::string::npos ? path : path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            RaiseFor("Dossier d'état impossible à créer:", part, errno);
        if (slash == std::string::npos)
            break;
    }
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        RaiseFor("Dossier d'état illisible:", path, errno);
    if (S_ISLNK(status.st_mode) || !S_ISDIR(status.st_mode))
        throw EOSError("Dossier d'état refusé: " + path + " n'est pas un dossier (un lien, un fichier ?)", ENOTDIR);
    if (status.st_uid != ::geteuid())
        throw EOSError("Dossier d'état refusé: " + path + " appartient à l'utilisateur " +
                           std::to_string(status.st_uid) + ", pas à celui du programme",
                       EPERM);
    if ((status.st_mode & 077) != 0)
        throw EOSError("Dossier d'état refusé: " + path + " est ouvert à d'autres utilisateurs (mode " +
                           std::to_string(status.st_mode & 0777) + " en décimal), il doit être 0700",
                       EPERM);
}

std::optional<OwnFileText> ReadFileWithoutFollowing(const std::string& path, bool& isLink)
{
    isLink = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        if (errno == ELOOP) {
            isLink = true;
            return std::nullopt;
        }
        RaiseFor("Fichier illisible:", path, errno);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        RaiseFor("Fichier illisible:", path, errno);
    OwnFileText file;
    file.regular = S_ISREG(status.st_mode);
    file.ownedByRunUser = status.st_uid == ::geteuid();
    file.writableByOthers = (status.st_mode & 022) != 0;
    if (!file.regular)
        return file;
    // What a run reads this way is a few lines long.
    constexpr std::size_t MaxBytes = 1 << 20;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            RaiseFor("Fichier illisible:", path, errno);
        if (n == 0)
            break;
        file.text.append(buffer, static_cast<std::size_t>(n));
        if (file.text.size() > MaxBytes)
            throw EOSError("Fichier trop grand: " + path, EFBIG);
    }
    return file;
}

namespace {

// What is wrong with one entry on the way; folder: it holds the next entry.
std::optional<std::string> EntryRefusal(const std::string& path, const struct stat& status, bool folder)
{
    if (status.st_uid != 0)
        return path + " appartient à l'utilisateur " + std::to_string(status.st_uid) + ", pas à root";
    if (S_ISLNK(status.st_mode))
        return std::nullopt; // a link's own mode means nothing: where it leads is checked
    const bool openToOthers = (status.st_mode & 022) != 0;
    if (openToOthers && !(folder && (status.st_mode & S_ISVTX) != 0))
        return path + " peut être modifié par un groupe ou d'autres utilisateurs";
    return std::nullopt;
}

// The entry and every folder above it, each as lstat sees it.
std::optional<std::string> ChainRefusal(const std::string& path)
{
    std::string current = path;
    bool folder = false;
    for (;;) {
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0)
            return std::nullopt;
        if (const auto refusal = EntryRefusal(current, status, folder))
            return refusal;
        if (current == "/")
            return std::nullopt;
        const std::size_t slash = current.find_last_of('/');
        current = slash == 0 ? "/" : current.substr(0, slash);
        folder = true;
    }
}

} // namespace

std::optional<std::string> ChangeableByOthersThanRoot(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return std::nullopt;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return std::nullopt;
    if (auto refusal = ChainRefusal(path))
        return refusal;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr)
        return std::nullopt;
    return ChainRefusal(resolved);
}

} // namespace morvane::platform
