#include "platform/Disk.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>

namespace morvane::platform {
namespace {

TEST(ClusterSize, AsksTheNearestExistingFolderOfThePath)
{
    struct statvfs figures {};
    ASSERT_EQ(::statvfs("/tmp", &figures), 0);
    const auto expected = static_cast<std::uint32_t>(figures.f_frsize);
    ASSERT_GT(expected, 0u);

    const struct {
        const char* path;
        std::uint32_t size;
    } cases[] = {
        {"/tmp", expected},
        {"/tmp/", expected},
        {"/tmp/no-such-folder/base.fdb", expected}, // the database need not exist yet
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClusterSize(c.path), c.size) << c.path;
}

} // namespace
} // namespace morvane::platform
