#include "platform/ChildProcess.h"

#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace morvane::platform {
namespace {

std::string ReadAll(ChildProcess& child)
{
    std::string output;
    std::array<char, 7> buffer{}; // small on purpose: output spans many reads
    for (;;) {
        const auto read = child.Read(buffer);
        if (read.status != ChildProcess::ReadStatus::Data) {
            EXPECT_EQ(read.status, ChildProcess::ReadStatus::EndOfOutput);
            return output;
        }
        output.append(buffer.data(), read.count);
    }
}

TEST(ChildProcess, MergesOutputAndErrorsInTheOrderWritten)
{
    ChildProcess child("echo one; echo two >&2; echo three", "");
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(ReadAll(child), "one\ntwo\nthree\n");
}

TEST(ChildProcess, RunsInTheWorkingFolderAndSeesItsInputClosed)
{
    test::TemporaryFolder folder;
    // cat would wait for ever on an open input.
    ChildProcess child("pwd; cat; echo done", folder.Path());
    EXPECT_EQ(ReadAll(child), folder.Path() + "\ndone\n");
}

TEST(ChildProcess, AMissingWorkingFolderStartsNothingAndGivesNoOutput)
{
    ChildProcess child("echo never", "/nonexistent/morvane/folder");
    EXPECT_FALSE(child.Started());
    EXPECT_EQ(ReadAll(child), "");
}

} // namespace
} // namespace morvane::platform
