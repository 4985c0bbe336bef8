#pragma once
// Files that must survive a crash whole: the job settings, the swap journal and the
// run report are replaced so that a reader sees the old text or the new one, never
// half of either, and the change is on disk before the call returns.

#include <optional>
#include <string>
#include <sys/types.h>

namespace morvane::platform {

// The folder part of a path ("." for a bare name, "/" for a file at the root).
std::string FolderOfPath(const std::string& path);

// Writes text to a temporary file beside path (writes retried on EINTR), syncs it,
// gives it mode (the current mode of the file at path when none is given and one is
// there, else 0666 less the umask), renames it over path and syncs the folder.
// Raises EOSError naming the file and the system's reason; the temporary file never
// stays behind.
void WriteFileDurably(const std::string& path, const std::string& text, std::optional<mode_t> mode = std::nullopt);
// The same, the file given to a group (owner unchanged) before it takes its name.
void WriteFileDurablyForGroup(const std::string& path, const std::string& text, mode_t mode, gid_t group);
// The id of a group by its name; nothing when the system knows no such group.
std::optional<gid_t> GroupIdOf(const std::string& name);

// Syncs a file's folder so that a rename or removal in it is on disk. Best effort:
// some file systems cannot sync a folder, and the file is there all the same.
void SyncFolderOf(const std::string& path) noexcept;
// Syncs a file's contents; best effort as above.
void SyncFile(const std::string& path) noexcept;
// Starts writing what has been written to a file so far to the disk, without waiting:
// a file being written by another process (the server) that is synced at its end has
// little left to write then. Best effort.
void StartWriteBack(const std::string& path) noexcept;

// What a file system offers: its identity and its free bytes for an ordinary user.
struct FileSystemSpace {
    unsigned long long device{0};
    unsigned long long freeBytes{0};
};
// Nothing when the folder cannot be queried.
std::optional<FileSystemSpace> FileSystemSpaceOf(const std::string& folder);

// Kinds of what a path names, without following a final symbolic link for Exists.
bool PathExists(const std::string& path) noexcept;
bool IsRegularFile(const std::string& path) noexcept;
bool IsFolder(const std::string& path) noexcept;
// True when the path reaches something, following symbolic links: unlike PathExists,
// a link whose target is gone does not count.
bool TargetExists(const std::string& path) noexcept;
// The file system's device number of an existing path.
std::optional<unsigned long long> DeviceOf(const std::string& path) noexcept;
// True when both names reach one existing file (a link, another spelling).
bool SameFile(const std::string& first, const std::string& second) noexcept;
// True when the calling process may create files in the folder.
bool FolderWritable(const std::string& folder) noexcept;
// True when the calling process may run the file (execute permission as it stands).
bool CanExecute(const std::string& path) noexcept;
// Removes a file; a missing file is no error. False when a file is still there.
bool RemoveFile(const std::string& path) noexcept;
// A file only this process's user can read, holding a secret for a child process
// (a password gfix reads with -fetch_password); removed with the object.
class PrivateFile {
public:
    explicit PrivateFile(const std::string& text);
    ~PrivateFile();
    PrivateFile(const PrivateFile&) = delete;
    PrivateFile& operator=(const PrivateFile&) = delete;
    const std::string& Path() const noexcept { return path_; }

private:
    std::string path_;
};

// Which file a path leads to: its device and inode.
struct FileIdentity {
    unsigned long long device{0};
    unsigned long long inode{0};
    bool operator==(const FileIdentity&) const = default;
};
// The identity of the regular file at path, the path's last part not followed when
// it is a link; nothing when there is no regular file there (a link, a folder).
std::optional<FileIdentity> RegularFileIdentity(const std::string& path) noexcept;

// A regular file as it is now: which file, how long, last written when. Two stamps
// differ when the file was replaced or written in between.
struct FileStamp {
    FileIdentity identity;
    unsigned long long size{0};
    long long modifiedNanoseconds{0};
    bool operator==(const FileStamp&) const = default;
};
// Nothing when there is no regular file at path (a link is not followed).
std::optional<FileStamp> RegularFileStamp(const std::string& path) noexcept;

// Gives the file at `to` the owner, group and permission bits of the file at `from`,
// through a descriptor that follows no link and only when it is still the file
// expected: a link or another file put at `to` meanwhile is left alone. False (and
// the reason in error) when it is not that file or the system refuses.
bool CopyOwnerAndMode(const std::string& from, const std::string& to, const FileIdentity& expected,
                      std::string& error) noexcept;
// The owner, group and permission bits of a file as "uid:gid 0660", or "" when it
// cannot be seen.
std::string OwnerAndModeText(const std::string& path) noexcept;

// True when the file's mode lets its group or anybody else read it.
bool ReadableByGroupOrOthers(const std::string& path) noexcept;
// The file's size in bytes, or nothing when it cannot be seen.
std::optional<long long> FileSize(const std::string& path) noexcept;
// A regular file's whole contents, or nothing when it is missing, not a regular file
// or cannot be read to its end.
std::optional<std::string> ReadWholeFile(const std::string& path);

} // namespace morvane::platform
