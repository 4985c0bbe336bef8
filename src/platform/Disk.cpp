#include "platform/Disk.h"

#include <filesystem>
#include <limits>
#include <sys/statvfs.h>
#include <system_error>

namespace morvane::platform {

std::uint32_t ClusterSize(const std::string& path)
{
    if (path.empty())
        return 0;
    std::error_code error;
    std::filesystem::path folder = std::filesystem::absolute(path, error);
    if (error)
        return 0;
    // The database file (or the folder it is to be created in) need not exist yet.
    while (!std::filesystem::exists(folder, error)) {
        if (!folder.has_relative_path())
            return 0;
        folder = folder.parent_path();
    }
    struct statvfs figures {};
    if (::statvfs(folder.c_str(), &figures) != 0)
        return 0;
    const unsigned long size = figures.f_frsize != 0 ? figures.f_frsize : figures.f_bsize;
    return size > std::numeric_limits<std::uint32_t>::max() ? 0 : static_cast<std::uint32_t>(size);
}

} // namespace morvane::platform
