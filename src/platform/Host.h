#pragma once
// Facts about the machine the program runs on.

#include <cstdint>
#include <string>

namespace morvane::platform {

// The host name up to its first dot, at most 15 characters.
std::string HostName();
// Milliseconds since the machine started, wrapping at 2^32.
std::uint32_t MillisecondsSinceBoot();
// This process's number.
int ProcessId();

} // namespace morvane::platform
