#pragma once
// The window's and the cycle's one way into the application logger (specific
// number 0 always).

#include <cstdint>
#include <string>

namespace morvane {

// Raises what the application logger raises (a configuration that cannot be read).
void ProgramLog(const std::string& text, std::uint8_t level);
// For cleanup paths and destructors: a failure to log is dropped.
void ProgramLogQuietly(const std::string& text, std::uint8_t level) noexcept;

} // namespace morvane
