#pragma once
// Renames a file without ever replacing one that is already at the new name, as a
// Windows move does: the file at the target is kept and the rename fails instead.

#include <string>

namespace morvane::platform {

// False when the rename fails, also when a file already stands at `to`.
bool RenameNoReplace(const std::string& from, const std::string& to) noexcept;

} // namespace morvane::platform
