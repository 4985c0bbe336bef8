#include "platform/Host.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace morvane::platform
