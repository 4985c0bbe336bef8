#pragma once
// What the cycle does for its database before the window exists: take the
// database's lock, put right what an interrupted cycle left (the swap journal) and
// let the lock go again; the cycle takes it when it starts. While another
// process's cycle holds it, an unattended run refuses at once and touches nothing,
// and a window opens without touching the journal, which belongs to that cycle.

#include "session/ProfileDatabase.h"

#include <functional>
#include <optional>
#include <string>

namespace morvane {

// The exit status and message that end the start, when the start must end.
struct StartUpRefusal {
    int exitStatus;
    std::string message;
};
// As root, the files that decide what a run renames and runs (the loggers'
// configuration, the job settings, the connection profile, the batch files, and the
// folders that hold them) must be root's alone, as sshd's StrictModes asks of its
// files: the refusal when one of them could be changed by someone else. With a
// profile, its database's batch files are checked too.
std::optional<StartUpRefusal> RootRunRefusal(const std::string& profilePath, const ProfileDatabase* profile);

// unattended: the run was started with AUTO. log: the journal's lines.
std::optional<StartUpRefusal> PrepareDatabaseAtStartUp(const ProfileDatabase& profile, bool unattended,
                                                       const std::function<void(const std::string&)>& log);

} // namespace morvane
