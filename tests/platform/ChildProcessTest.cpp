#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <unistd.h>

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
    char folder[] = "/tmp/morvane-child-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    // cat would wait for ever on an open input.
    ChildProcess child("pwd; cat; echo done", folder);
    EXPECT_EQ(ReadAll(child), std::string(folder) + "\ndone\n");
    ::rmdir(folder);
}

TEST(ChildProcess, AMissingWorkingFolderStartsNothingAndGivesNoOutput)
{
    ChildProcess child("echo never", "/nonexistent/morvane/folder");
    EXPECT_FALSE(child.Started());
    EXPECT_EQ(ReadAll(child), "");
}

} // namespace
} // namespace morvane::platform
