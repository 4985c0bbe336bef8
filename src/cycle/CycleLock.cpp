#include "cycle/CycleLock.h"

#include "core/Format.h"
#include "core/Text.h"
#include "platform/FileLock.h"
#include "platform/Host.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace morvane {

namespace {

// FNV-1a: the same name for the same path in every build of the program.
std::uint64_t PathKey(const std::string& text)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::mutex locksGuard;
std::map<std::string, std::unique_ptr<platform::FileLock>>& HeldLocks()
{
    static std::map<std::string, std::unique_ptr<platform::FileLock>> locks;
    return locks;
}

} // namespace

std::string CycleLockPath(const std::string& databasePath)
{
    return platform::LockFolder() +
           FormatText("/morvane-%016llx.lock",
                      static_cast<unsigned long long>(PathKey(platform::CanonicalFilePath(databasePath))));
}

bool HoldCycleLock(const std::string& databasePath, std::string& holder)
{
    const std::string path = CycleLockPath(databasePath);
    std::lock_guard guard(locksGuard);
    if (HeldLocks().count(path) != 0)
        return true;
    auto lock = std::make_unique<platform::FileLock>(
        path, FormatText("pid %d, base %s\n", platform::ProcessId(),
                         platform::CanonicalFilePath(databasePath)));
    if (!lock->Held()) {
        holder = TrimRight(lock->Holder().empty() ? lock->Error() : lock->Holder());
        return false;
    }
    HeldLocks().emplace(path, std::move(lock));
    return true;
}

std::string CycleLockRefusal(const std::string& databasePath, const std::string& holder)
{
    return "Un autre cycle Morvane travaille déjà sur la base " + databasePath + " (" + holder +
           "): celui-ci s'arrête sans rien toucher";
}

} // namespace morvane
