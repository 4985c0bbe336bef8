#pragma once
// An exclusive lock on a file, held as long as the object lives and released by
// the system when the process ends, however it ends. Another process, or another
// FileLock of this one, is refused while it is held, and can ask who holds it
// without taking it.

#include <chrono>
#include <optional>
#include <string>

namespace morvane::platform {

class FileLock {
public:
    // Tries once, without waiting. The file is created when missing; owner text is
    // written into it once the lock is held, so an administrator can see who has it.
    FileLock(const std::string& path, const std::string& ownerText);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Held() const noexcept { return held_; }
    // What the holder wrote, when another holder has the lock.
    const std::string& Holder() const noexcept { return holder_; }
    // The system's reason when the file could not even be opened.
    const std::string& Error() const noexcept { return error_; }

private:
    int fd_{-1};
    bool held_{false};
    std::string holder_;
    std::string error_;
};

// Whether a FileLock holds the file at path, asked without taking the lock, so that
// one who asks never keeps a holder out: the holder's text when it is held (by any
// process, this one included), nothing when it is free, when no file is there or
// when it cannot be asked. The file is neither created nor followed when a link.
std::optional<std::string> FileLockHolder(const std::string& path);

// Waits until no FileLock holds the file at path, for limit at most, without
// taking it: woken when a process closes the file it wrote (a holder lets go of
// the lock so, ending as it may), not at a fixed beat. True once it is free or
// there is no file; false while it is still held at the limit.
bool WaitUntilLockFree(const std::string& path, std::chrono::milliseconds limit);

// Removes a lock file that an earlier version of the program left in a folder
// everyone may write (it took them with flock): only a regular file, no link, of
// this process's user, with one name, that nobody holds. True when it was removed.
bool RemoveUnheldFlockFile(const std::string& path);

// The real path of a file's folder followed by its name: two spellings of one file
// (a link, "..", a doubled slash) give one text, also when the file itself is not
// there. The path as given when its folder cannot be resolved.
std::string CanonicalFilePath(const std::string& path);

// The file a path leads to: CanonicalFilePath, then, while that names a symbolic
// link, what the link points to, link after link. Also when the last link points to
// nothing: the file may be away from its path. Stops after 40 links (a loop).
std::string FollowedFilePath(const std::string& path);

} // namespace morvane::platform
