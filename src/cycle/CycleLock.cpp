#include "cycle/CycleLock.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Text.h"
#include "cycle/CycleState.h"
#include "platform/FileLock.h"
#include "platform/Host.h"

#include <map>
#include <memory>
#include <mutex>

namespace morvane {

namespace {

std::mutex locksGuard;
std::map<std::string, std::unique_ptr<platform::FileLock>>& HeldLocks()
{
    static std::map<std::string, std::unique_ptr<platform::FileLock>> locks;
    return locks;
}

} // namespace

std::string CycleLockPath(const std::string& databasePath) { return CycleRuntimeFolder(databasePath) + "/lock"; }

bool HoldCycleLock(const std::string& databasePath, std::string& holder)
{
    // A runtime folder that cannot be trusted raises: nothing runs.
    const std::string path = CycleLockPath(databasePath);
    std::lock_guard guard(locksGuard);
    if (HeldLocks().count(path) != 0)
        return true;
    auto lock = std::make_unique<platform::FileLock>(
        path, FormatText("pid %d, base %s\n", platform::ProcessId(),
                         platform::CanonicalFilePath(databasePath)));
    if (!lock->Held()) {
        // A lock file that cannot even be opened is no other cycle: the reason is said.
        if (lock->Holder().empty() && !lock->Error().empty())
            throw EOSError("Verrou du cycle impossible à prendre: " + path + " : " + lock->Error(), 0);
        holder = TrimRight(lock->Holder());
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
