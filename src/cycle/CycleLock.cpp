#include "cycle/CycleLock.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Text.h"
#include "cycle/CycleState.h"
#include "platform/FileLock.h"
#include "platform/Host.h"
#include "platform/PrivateFolder.h"

namespace morvane {

namespace {

std::string LockIn(const std::string& folder) { return folder + "/lock"; }

} // namespace

std::string CycleLockPath(const std::string& databasePath) { return LockIn(CycleRuntimeFolder(databasePath)); }

CycleLockHold::CycleLockHold(std::unique_ptr<platform::FileLock> lock) noexcept : lock_(std::move(lock)) {}
CycleLockHold::~CycleLockHold() = default;
CycleLockHold::CycleLockHold(CycleLockHold&&) noexcept = default;
CycleLockHold& CycleLockHold::operator=(CycleLockHold&&) noexcept = default;

CycleLockAttempt TryHoldCycleLock(const std::string& databasePath)
{
    // A runtime folder that cannot be trusted raises: nothing runs.
    const std::string path = CycleLockPath(databasePath);
    auto lock = std::make_unique<platform::FileLock>(
        path, FormatText("pid %d, base %s\n", platform::ProcessId(), platform::CanonicalFilePath(databasePath)));
    CycleLockAttempt attempt;
    // A lock file that cannot even be opened is no other cycle: the reason is said.
    if (!lock->Error().empty())
        throw EOSError("Verrou du cycle impossible à prendre: " + path + " : " + lock->Error(), 0);
    if (lock->Held()) {
        attempt.hold.emplace(std::move(lock));
        RemoveEarlierVersionLock(databasePath, {"/run/lock", "/tmp"});
    }
    else
        attempt.holder = TrimRight(lock->Holder());
    return attempt;
}

std::string EarlierVersionLockName(const std::string& databasePath)
{
    return FormatText("morvane-%016llx.lock", static_cast<unsigned long long>(
                                                  PathKey(platform::CanonicalFilePath(databasePath))));
}

void RemoveEarlierVersionLock(const std::string& databasePath, const std::vector<std::string>& folders)
{
    const std::string name = EarlierVersionLockName(databasePath);
    for (const std::string& folder : folders)
        platform::RemoveUnheldFlockFile(folder + "/" + name);
}

std::optional<std::string> CycleLockHolder(const std::string& databasePath)
{
    // The folder is named as the lock's holder names it, but neither created nor
    // checked: a folder that is not there holds no lock.
    const std::string path = LockIn(platform::RuntimeRoot() + "/" + DatabaseStateName(databasePath));
    std::optional<std::string> holder = platform::FileLockHolder(path);
    if (holder)
        *holder = TrimRight(*holder);
    return holder;
}

std::string CycleLockRefusal(const std::string& databasePath, const std::string& holder)
{
    return "Un autre cycle Morvane travaille déjà sur la base " + databasePath + " (" + holder +
           "): celui-ci s'arrête sans rien toucher";
}

std::string CycleLockWait(const std::string& databasePath, const std::string& holder)
{
    // A holder that has just taken the lock may not have written its text yet.
    return "Un autre cycle Morvane travaille sur la base " + databasePath +
           (holder.empty() ? std::string() : " (" + holder + ")") + ": attendez sa fin";
}

} // namespace morvane
