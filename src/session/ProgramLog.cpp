#include "session/ProgramLog.h"

#include "logger/uApplicationLogger.h"

namespace morvane {

void ProgramLog(const std::string& text, std::uint8_t level) { AppLogger().Log(text, level, 0); }

void ProgramLogQuietly(const std::string& text, std::uint8_t level) noexcept
{
    try {
        ProgramLog(text, level);
    } catch (const std::exception&) {
        // Called on cleanup paths: a logger that cannot even be built has nowhere
        // to report, and the error being cleaned up after is the one that matters.
    }
}

} // namespace morvane
