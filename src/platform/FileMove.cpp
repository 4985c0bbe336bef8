#include "platform/FileMove.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace morvane::platform {

bool RenameNoReplace(const std::string& from, const std::string& to) noexcept
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace rename: a hard link fails on an existing
    // target just the same, and the old name is dropped only once the new one exists.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    return ::unlink(from.c_str()) == 0;
}

} // namespace morvane::platform
