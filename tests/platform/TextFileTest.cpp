#include "platform/TextFile.h"

#include "support/FileText.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane::platform {
namespace {

using test::ReadFileText;
using test::TemporaryFolder;

TEST(TextFile, OpeningReportsTheSystemsReason)
{
    TemporaryFolder folder;
    test::WriteFileText(folder.File("there.log"), "kept\n");
    const struct {
        const char* name;
        bool append;
        bool create;
        int error;
    } cases[] = {
        {"there.log", true, false, 0},
        {"missing.log", true, false, ENOENT}, // appending never creates unless asked
        {"missing.log", true, true, 0},
        {"no-folder/new.log", true, true, ENOENT},
        {"no-folder/new.log", false, true, ENOENT},
        {"", true, true, EISDIR}, // the folder itself
        {"", false, true, EISDIR},
    };
    for (const auto& c : cases) {
        const std::string path = *c.name ? folder.File(c.name) : folder.Path();
        TextFile file;
        const int error = c.append ? file.OpenForAppend(path, c.create) : file.OpenTruncated(path);
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(file.IsOpen(), c.error == 0) << c.name;
    }
    EXPECT_EQ(ReadFileText(folder.File("there.log")), "kept\n");
}

TEST(TextFile, AppendsOrStartsAfreshAndCreatesWithTheUmask)
{
    TemporaryFolder folder;
    const std::string path = folder.File("run.log");
    const mode_t saved = ::umask(027);
    {
        TextFile file;
        ASSERT_EQ(file.OpenForAppend(path, true), 0);
        EXPECT_EQ(file.Write("one\n"), 0);
        EXPECT_EQ(file.Close(), 0);
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(file.Close(), 0); // closing twice is no error
    }
    ::umask(saved);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    {
        TextFile file;
        ASSERT_EQ(file.OpenForAppend(path, false), 0);
        EXPECT_EQ(file.Write("two\n"), 0);
    } // closed by the destructor
    EXPECT_EQ(ReadFileText(path), "one\ntwo\n");
    {
        TextFile file;
        ASSERT_EQ(file.OpenTruncated(path), 0);
        EXPECT_EQ(file.Write("three\n"), 0);
        EXPECT_EQ(file.Close(), 0);
    }
    EXPECT_EQ(ReadFileText(path), "three\n");
}

// A log in a folder others can write: what they put at its name decides nothing.
TEST(TextFile, ALinkIsNeverFollowedAndAnotherUsersFileNeverEmptied)
{
    TemporaryFolder folder;
    const std::string victim = folder.File("victim");
    test::WriteFileText(victim, "root's own\n");
    const std::string link = folder.File("journal.log");
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    for (const bool append : {true, false}) {
        TextFile file;
        EXPECT_EQ(append ? file.OpenForAppend(link, true) : file.OpenTruncated(link), ELOOP) << append;
    }
    EXPECT_EQ(ReadFileText(victim), "root's own\n");

    // A folder at the name is no log either.
    const std::string folderName = folder.File("dossier.log");
    ASSERT_EQ(::mkdir(folderName.c_str(), 0700), 0);
    TextFile notAFile;
    EXPECT_NE(notAFile.OpenTruncated(folderName), 0);

    // Another user's file is appended to only when asked, never emptied.
    if (::geteuid() == 0) {
        const std::string theirs = folder.File("theirs.log");
        test::WriteFileText(theirs, "their lines\n");
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        TextFile file;
        EXPECT_EQ(file.OpenTruncated(theirs), EACCES);
        EXPECT_EQ(ReadFileText(theirs), "their lines\n");
    }
}

TEST(TextFile, AFullDiskIsReportedByWrite)
{
    TextFile file;
    ASSERT_EQ(file.OpenForAppend("/dev/full", false), 0);
    EXPECT_EQ(file.Write("lost\n"), ENOSPC);
    EXPECT_EQ(file.Close(), 0);
}

// Interrupts the first writes and lets each later one through a byte at a time.
struct InterruptedWrites {
    static inline int interruptionsLeft = 0;
    static std::ptrdiff_t Write(int fd, const void* data, std::size_t size)
    {
        if (interruptionsLeft > 0) {
            --interruptionsLeft;
            errno = EINTR;
            return -1;
        }
        return ::write(fd, data, size > 0 ? 1 : 0);
    }
    explicit InterruptedWrites(int count)
    {
        interruptionsLeft = count;
        SetTextFileWriteFunction(Write);
    }
    ~InterruptedWrites() { SetTextFileWriteFunction(nullptr); }
};

TEST(TextFile, InterruptedAndShortWritesAreCarriedOn)
{
    TemporaryFolder folder;
    const std::string path = folder.File("run.log");
    {
        InterruptedWrites interrupted(3);
        TextFile file;
        ASSERT_EQ(file.OpenForAppend(path, true), 0);
        EXPECT_EQ(file.Write("whole line\n"), 0);
        EXPECT_EQ(file.Close(), 0);
        EXPECT_EQ(InterruptedWrites::interruptionsLeft, 0);
    }
    EXPECT_EQ(ReadFileText(path), "whole line\n");
}

} // namespace
} // namespace morvane::platform
