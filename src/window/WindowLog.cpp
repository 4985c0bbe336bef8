#include "window/WindowLog.h"

#include "logger/uApplicationLogger.h"

namespace morvane {

void WindowLog(const std::string& text, std::uint8_t level) { AppLogger().Log(text, level, 0); }

void WindowLogQuietly(const std::string& text, std::uint8_t level) noexcept
{
    try {
        WindowLog(text, level);
    } catch (const std::exception&) {
        // Called on cleanup paths: a logger that cannot even be built has nowhere
        // to report, and the error being cleaned up after is the one that matters.
    }
}

} // namespace morvane
