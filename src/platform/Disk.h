#pragma once
// File-system figures.

#include <cstdint>
#include <string>

namespace morvane::platform {

// The fundamental block size of the file system holding a path, asked of the
// nearest folder of the path that exists; 0 when it cannot be queried.
std::uint32_t ClusterSize(const std::string& path);

} // namespace morvane::platform
