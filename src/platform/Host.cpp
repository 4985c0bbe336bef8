#include "platform/Host.h"

#include <climits>
#include <ctime>
#include <unistd.h>

namespace morvane::platform {

std::string HostName()
{
    char buffer[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0)
        return {};
    std::string name(buffer);
    // The short name, as long as a NetBIOS computer name can be.
    name = name.substr(0, name.find('.'));
    if (name.size() > 15)
        name.resize(15);
    return name;
}

std::uint32_t MillisecondsSinceBoot()
{
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const unsigned long long ms =
        static_cast<unsigned long long>(now.tv_sec) * 1000ULL + static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
    return static_cast<std::uint32_t>(ms); // wraps like a tick counter
}

int ProcessId() { return static_cast<int>(::getpid()); }

} // namespace morvane::platform
