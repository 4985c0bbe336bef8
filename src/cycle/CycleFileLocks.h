#pragma once
// Files that cycles of two databases could both write: a backup folder shared by
// two databases (the middle batch file reads "Morvane.fbk"), or one rename path
// named in two databases' settings. Each file is taken by a lock named from its real
// path, so a cycle that would use a file another cycle is using waits until that
// one ends instead of reading or replacing the other's file.

#include "platform/FileLock.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace morvane {

// Two cycles' files coincide only where a site's settings make them: the second
// waits for the first at most this long (a rebuild of a large database).
inline constexpr std::chrono::seconds SharedFileLongestWait{std::chrono::hours(2)};

// The lock file of one shared file, in that file's own private runtime folder.
std::string SharedFileLockPath(const std::string& file);

class TSharedFileLocks {
public:
    using Pause = std::function<void()>;
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // pause waits a moment between two tries (a second; a test's own); clock says when.
    explicit TSharedFileLocks(Pause pause, Clock clock = std::chrono::steady_clock::now);

    // Takes every file's lock, all at once or none: while one is held by another
    // cycle, none is kept and the take is tried again after a pause, until `longest`
    // has passed. False then, with the busy file and its holder's text.
    // Raises EOSError when a lock file cannot even be opened.
    bool Take(std::vector<std::string> files, std::chrono::seconds longest, std::string& busyFile,
              std::string& holder);

private:
    bool TryAll(const std::vector<std::string>& files, std::string& busyFile, std::string& holder);

    Pause pause_;
    Clock clock_;
    std::vector<std::unique_ptr<platform::FileLock>> held_;
};

// The refusal once the wait is over, in the program's words.
std::string SharedFileBusyRefusal(const std::string& file, const std::string& holder, std::chrono::seconds waited);

} // namespace morvane
