#include "cycle/CycleFileLocks.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Text.h"
#include "cycle/CycleState.h"
#include "platform/Host.h"

#include <algorithm>

namespace morvane {

std::string SharedFileLockPath(const std::string& file) { return CycleRuntimeFolder(file) + "/file-lock"; }

TSharedFileLocks::TSharedFileLocks(Pause pause, Clock clock) : pause_(std::move(pause)), clock_(std::move(clock)) {}

bool TSharedFileLocks::Take(std::vector<std::string> files, std::chrono::seconds longest, std::string& busyFile,
                            std::string& holder)
{
    // One order for every cycle; two spellings of a file are one file.
    for (std::string& file : files)
        file = platform::CanonicalFilePath(file);
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    const auto until = clock_() + longest;
    for (;;) {
        if (TryAll(files, busyFile, holder))
            return true;
        if (clock_() >= until)
            return false;
        pause_();
    }
}

bool TSharedFileLocks::TryAll(const std::vector<std::string>& files, std::string& busyFile, std::string& holder)
{
    held_.clear();
    for (const std::string& file : files) {
        const std::string path = SharedFileLockPath(file);
        auto lock = std::make_unique<platform::FileLock>(
            path, FormatText("pid %d, fichier %s\n", platform::ProcessId(), file));
        if (!lock->Held()) {
            if (lock->Holder().empty() && !lock->Error().empty())
                throw EOSError("Verrou impossible à prendre: " + path + " : " + lock->Error(), 0);
            busyFile = file;
            holder = OneLineText(TrimRight(lock->Holder()));
            // Nothing is kept while waiting: two cycles never hold one file each.
            held_.clear();
            return false;
        }
        held_.push_back(std::move(lock));
    }
    return true;
}

namespace {

std::string DurationText(std::chrono::seconds duration)
{
    const long long seconds = duration.count();
    if (seconds >= 3600 && seconds % 3600 == 0)
        return FormatText("%lld h", seconds / 3600);
    if (seconds >= 60 && seconds % 60 == 0)
        return FormatText("%lld min", seconds / 60);
    return FormatText("%lld s", seconds);
}

} // namespace

std::string SharedFileBusyRefusal(const std::string& file, const std::string& holder, std::chrono::seconds waited)
{
    return "Le fichier " + file + " sert à un autre cycle Morvane (" + holder + "), attendu " +
           DurationText(waited) + " sans qu'il se libère: celui-ci s'arrête sans rien toucher";
}

} // namespace morvane
