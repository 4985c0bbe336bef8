#include "platform/Host.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/utsname.h>

namespace morvane::platform {
namespace {

TEST(HostName, IsTheShortNameOfTheMachineCutTo15Characters)
{
    utsname names{};
    ASSERT_EQ(::uname(&names), 0);
    std::string expected(names.nodename);
    expected = expected.substr(0, expected.find('.')).substr(0, 15);
    EXPECT_EQ(HostName(), expected);
}

TEST(MillisecondsSinceBoot, CountsFromTheMachineStartLikeTheKernelsUptime)
{
    double uptime = 0;
    std::ifstream("/proc/uptime") >> uptime;
    ASSERT_GT(uptime, 0.0);
    const auto expected = static_cast<std::uint32_t>(static_cast<unsigned long long>(uptime * 1000.0));
    const std::uint32_t ticks = MillisecondsSinceBoot();
    // Unsigned difference, so a counter that has just wrapped still compares; the
    // margin only absorbs the moments between the two reads.
    EXPECT_LT(static_cast<std::uint32_t>(ticks - expected), 5000u);
}

} // namespace
} // namespace morvane::platform
