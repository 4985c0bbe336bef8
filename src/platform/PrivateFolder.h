#pragma once
// What a run keeps for itself lives where only the run's user can write: root's in
// the system's state and runtime folders (the unit's StateDirectory= and
// RuntimeDirectory=), another user's in its own XDG folders. A file another user
// could have written is read only after its descriptor says whose it is.

#include <optional>
#include <string>

namespace morvane::platform {

// /var/lib/morvane as root; else $XDG_STATE_HOME/morvane, or ~/.local/state/morvane.
std::string StateRoot();
// /run/morvane as root; else $XDG_RUNTIME_DIR/morvane when that folder is the
// user's own, or the state root's "run" folder; as the environment was the first
// time it is asked.
std::string RuntimeRoot();

// The folder, created 0700 where missing (and its missing parents), then checked:
// a folder and not a link, the run's user's own, nobody else allowed to write in it.
// Raises EOSError with the reason when it is not so.
void EnsurePrivateFolder(const std::string& path);

// A file read through a descriptor opened without following a link, with what the
// descriptor says of it.
struct OwnFileText {
    std::string text;
    bool regular{false};
    bool ownedByRunUser{false};
    bool writableByOthers{false}; // group or others may write it
};
// Nothing when no file is at path; a link at path is reported as refused.
// Raises EOSError for any other reason it cannot be read.
std::optional<OwnFileText> ReadFileWithoutFollowing(const std::string& path, bool& isLink);

// Files and folders the program creates are its user's alone (umask 077), whatever
// the environment it was started from set.
void KeepNewFilesPrivate() noexcept;

// True when the program runs as root.
bool RunningAsRoot() noexcept;

} // namespace morvane::platform

namespace morvane::platform {

// Why a file root reads or runs could be changed by someone else: the file, or a
// folder on its way from the root folder (as written and as resolved), is not
// root's, or a group or other users may write it (a sticky folder such as /tmp only
// lets others remove what is theirs, and counts as closed). Nothing when only root
// can change it, or when no file is at path.
std::optional<std::string> ChangeableByOthersThanRoot(const std::string& path);

} // namespace morvane::platform
