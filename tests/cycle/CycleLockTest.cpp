// The lock that keeps a second cycle off a database: held while its holder lives,
// another holder on the same file (another program, or this one) is refused and
// told who holds it, asking who holds it takes and creates nothing, every spelling
// of one file takes one lock, and the folder the locks go in.

#include "cycle/CycleLock.h"
#include "core/Exception.h"
#include "cycle/CycleState.h"
#include "platform/PrivateFolder.h"

#include "support/FileText.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <sched.h>
#include <stdexcept>
#include <string>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace morvane::test {
namespace {

namespace fs = std::filesystem;

void WriteAll(int fd, const std::string& text)
{
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

std::string ReadToEnd(int fd)
{
    std::string text;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

// A process of its own: a lock taken by this one would be this program's, and a
// child forked after it shares the lock instead of meeting it.
class ForkedProcess {
public:
    // Runs work in the child; what it returns is the child's report. With stay, the
    // child then lives on (and keeps what it holds) until End.
    ForkedProcess(const std::function<std::string()>& work, bool stay)
    {
        int report[2];
        int end[2];
        if (::pipe2(report, O_CLOEXEC) != 0 || ::pipe2(end, O_CLOEXEC) != 0)
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        pid_ = ::fork();
        if (pid_ < 0)
            throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
        if (pid_ == 0) {
            ::close(report[0]);
            ::close(end[1]);
            std::string said;
            try {
                said = work();
            } catch (const std::exception& error) {
                said = std::string("exception: ") + error.what();
            }
            WriteAll(report[1], said);
            ::close(report[1]);
            if (stay) {
                char ignored;
                while (::read(end[0], &ignored, 1) < 0 && errno == EINTR) {
                }
            }
            // Not a return into the test runner: the parent reports, the child only ends.
            ::_exit(0);
        }
        ::close(report[1]);
        ::close(end[0]);
        end_ = end[1];
        said_ = ReadToEnd(report[0]);
        ::close(report[0]);
    }
    ~ForkedProcess() { End(); }
    ForkedProcess(const ForkedProcess&) = delete;
    ForkedProcess& operator=(const ForkedProcess&) = delete;

    pid_t Pid() const noexcept { return pid_; }
    const std::string& Said() const noexcept { return said_; }

    // Tells the child to end, or kills it, and waits until it has gone.
    void End(bool kill = false)
    {
        if (end_ < 0)
            return;
        if (kill)
            ::kill(pid_, SIGKILL);
        ::close(end_);
        end_ = -1;
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }

private:
    pid_t pid_{-1};
    int end_{-1};
    std::string said_;
};

// Takes the lock in the calling process and says how it went; the lock is let go
// at once, or kept in kept.
std::string TakeLock(const std::string& databasePath, std::optional<CycleLockHold>* kept = nullptr)
{
    CycleLockAttempt attempt = TryHoldCycleLock(databasePath);
    if (!attempt.hold)
        return "refused: " + attempt.holder;
    if (kept != nullptr)
        *kept = std::move(attempt.hold);
    return "held";
}

// Takes the lock and keeps it until the process ends: the work of a child that holds it.
std::string TakeLockForGood(const std::string& databasePath)
{
    static std::optional<CycleLockHold> kept;
    return TakeLock(databasePath, &kept);
}

// A database file in a folder of its own; the lock files its tests made go with it.
class CycleLockTest : public ::testing::Test {
protected:
    CycleLockTest() { WriteFileText(Database(), "database"); }
    ~CycleLockTest() override
    {
        // The lock and the database's runtime folder it lies in.
        for (const std::string& lock : locks_) {
            ::unlink(lock.c_str());
            ::rmdir(fs::path(lock).parent_path().c_str());
        }
    }

    std::string Database() const { return folder_.File("BD.FDB"); }
    // The database's path as the system resolves it (/tmp may itself be a link).
    std::string RealDatabase() const { return fs::canonical(Database()).string(); }
    // The lock file of a path, removed after the test.
    std::string LockOf(const std::string& databasePath)
    {
        locks_.push_back(CycleLockPath(databasePath));
        return locks_.back();
    }

    TemporaryFolder folder_;
    std::vector<std::string> locks_;
};

TEST_F(CycleLockTest, ASecondProgramIsRefusedWithTheHoldersTextUntilTheHolderEnds)
{
    const std::string lock = LockOf(Database());
    ForkedProcess first([this] { return TakeLockForGood(Database()); }, true);
    ASSERT_EQ(first.Said(), "held");
    const std::string holder = "pid " + std::to_string(first.Pid()) + ", base " + RealDatabase();
    EXPECT_EQ(ReadFileText(lock), holder + "\n") << "the administrator reads who holds it in the lock file";

    CycleLockAttempt second = TryHoldCycleLock(Database());
    EXPECT_FALSE(second.hold);
    EXPECT_EQ(second.holder, holder);
    const std::string refusal = CycleLockRefusal(Database(), second.holder);
    EXPECT_NE(refusal.find(Database()), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("(" + holder + ")"), std::string::npos) << refusal;
    EXPECT_EQ(CycleLockHolder(Database()), holder) << "asked without taking it";

    // Refused, this program holds nothing: asked again, it is refused again.
    EXPECT_EQ(TakeLock(Database()), "refused: " + holder);

    // Even killed, the holder leaves the lock to the next run.
    first.End(true);
    EXPECT_EQ(CycleLockHolder(Database()), std::nullopt);
    EXPECT_EQ(TakeLock(Database()), "held");
    EXPECT_EQ(ReadFileText(lock), "pid " + std::to_string(::getpid()) + ", base " + RealDatabase() + "\n");
}

// Start-up and then each cycle take the lock in turn in one program: each holds it
// only while it lives, and the program's own holder refuses a second one as another
// program's would.
TEST_F(CycleLockTest, TheLockIsHeldWhileItsHolderLivesAndNoLonger)
{
    const std::string holder = "pid " + std::to_string(::getpid()) + ", base " + RealDatabase();
    {
        std::optional<CycleLockHold> first;
        ASSERT_EQ(TakeLock(Database(), &first), "held");
        EXPECT_EQ(TakeLock(Database()), "refused: " + holder);
        EXPECT_EQ(CycleLockHolder(Database()), holder);
        ForkedProcess other([this] { return TakeLock(Database()); }, false);
        EXPECT_EQ(other.Said(), "refused: " + holder);

        // A holder handed on keeps the lock; the one it came from lets nothing go.
        std::optional<CycleLockHold> handedOn = std::move(first);
        first.reset();
        EXPECT_EQ(TakeLock(Database()), "refused: " + holder);
    }
    EXPECT_EQ(CycleLockHolder(Database()), std::nullopt);
    ForkedProcess other([this] { return TakeLock(Database()); }, false);
    EXPECT_EQ(other.Said(), "held");
    EXPECT_EQ(TakeLock(Database()), "held");
}

// A window asks every second: asking creates no folder and no file, and a database
// nobody ever locked has no holder.
TEST_F(CycleLockTest, AskingWhoHoldsTheLockCreatesNothing)
{
    const std::string never = folder_.File("JAMAIS.FDB");
    const fs::path folder = platform::RuntimeRoot() + "/" + DatabaseStateName(never);
    ASSERT_FALSE(fs::exists(folder));
    EXPECT_EQ(CycleLockHolder(never), std::nullopt);
    EXPECT_FALSE(fs::exists(folder));

    // A lock file that is there but free: no holder, and the file as it was.
    const std::string lock = LockOf(Database());
    WriteFileText(lock, "pid 1, base ancienne\n");
    EXPECT_EQ(CycleLockHolder(Database()), std::nullopt);
    EXPECT_EQ(ReadFileText(lock), "pid 1, base ancienne\n");
}

// The working folder for the length of a test.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder) : previous_(fs::current_path()) { fs::current_path(folder); }
    ~WorkingFolder() { fs::current_path(previous_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    fs::path previous_;
};

TEST_F(CycleLockTest, EverySpellingOfOneFileTakesItsLockAndAnotherFileAnother)
{
    const std::string folder = folder_.Path();
    fs::create_directories(folder + "/sub");
    fs::create_directories(folder + "/other/deep");
    fs::create_directory_symlink(folder, folder + "/sub/up");
    fs::create_directory_symlink(folder + "/other/deep", folder + "/deep");
    WriteFileText(folder + "/other/BD.FDB", "another database");
    WorkingFolder working(folder + "/sub");

    const struct {
        const char* name;
        std::string spelling;
        std::string path;
    } same[] = {
        {"a . segment", folder + "/./BD.FDB", Database()},
        {"a .. segment", folder + "/sub/../BD.FDB", Database()},
        {"a doubled slash", folder + "//BD.FDB", Database()},
        {"a doubled slash at the start", "/" + folder + "/BD.FDB", Database()},
        {"a link to its folder", folder + "/sub/up/BD.FDB", Database()},
        {"relative to the working folder", "../BD.FDB", Database()},
        {"relative, through a link", "up/BD.FDB", Database()},
        {"the working folder's own file", "BD.FDB", folder + "/sub/BD.FDB"},
        // Start-up after a killed cycle: the database is away from its path.
        {"a database away from its path", folder + "/sub/../GONE.FDB", folder + "/GONE.FDB"},
        {"a link to the folder of a database away from its path", "up/GONE.FDB", folder + "/GONE.FDB"},
    };
    for (const auto& c : same)
        EXPECT_EQ(LockOf(c.spelling), LockOf(c.path)) << c.name;

    const struct {
        const char* name;
        std::string path;
    } others[] = {
        {"another file in the folder", folder + "/BD2.FDB"},
        {"the same name in another folder", folder + "/other/BD.FDB"},
        {"a name that differs only in case", folder + "/bd.fdb"},
        // The system resolves the link before its "..": this names other/BD.FDB.
        {".. after a link to another folder", folder + "/deep/../BD.FDB"},
    };
    for (const auto& c : others)
        EXPECT_NE(LockOf(c.path), LockOf(Database())) << c.name;
    EXPECT_EQ(LockOf(folder + "/deep/../BD.FDB"), LockOf(folder + "/other/BD.FDB"));
}

// A profile may name the database through a link to the file itself: the lock
// follows the file, so two cycles never run on one database.
TEST_F(CycleLockTest, ALinkToTheFileTakesTheFilesLock)
{
    const std::string link = folder_.File("LINK.FDB");
    fs::create_symlink(Database(), link);
    EXPECT_EQ(LockOf(link), LockOf(Database()));

    ForkedProcess holder([this] { return TakeLockForGood(Database()); }, true);
    ASSERT_EQ(holder.Said(), "held");
    ForkedProcess throughLink([link] { return TakeLock(link); }, false);
    EXPECT_NE(throughLink.Said(), "held");
}

// The lock lives in the database's own runtime folder, which only the run's user may
// write: a link put at its name is never followed, and a folder others could write
// in holds no lock.
TEST_F(CycleLockTest, TheLockIsTakenOnlyInAFolderNobodyElseCanWrite)
{
    const std::string lock = LockOf(Database());
    const fs::path folder = fs::path(lock).parent_path();
    EXPECT_EQ(fs::path(lock).filename(), "lock");
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(folder.parent_path(), fs::path(platform::RuntimeRoot()));

    // A link at the lock's name: the file it leads to is left as it was.
    const std::string victim = folder_.File("victim");
    WriteFileText(victim, "root's own\n");
    ::unlink(lock.c_str());
    fs::create_symlink(victim, lock);
    EXPECT_THROW(TakeLock(Database()), EOSError);
    EXPECT_EQ(ReadFileText(victim), "root's own\n");
    ::unlink(lock.c_str());

    // A folder opened to others is refused, not used.
    fs::permissions(folder, fs::perms::others_write, fs::perm_options::add);
    EXPECT_THROW(TakeLock(Database()), EOSError);
    fs::permissions(folder, fs::perms::others_write, fs::perm_options::remove);
    EXPECT_EQ(TakeLock(Database()), "held");
}

// Earlier versions left their lock files in /run/lock: the database's own goes once
// the new lock is held, unless it is not a plain file of this user or someone holds it.
TEST_F(CycleLockTest, AnEarlierVersionsLockGoesOnlyWhenItIsAPlainFreeFileOfThisUser)
{
    TemporaryFolder everyone;
    const std::string earlier = everyone.File(EarlierVersionLockName(Database()));
    EXPECT_EQ(EarlierVersionLockName(Database()).rfind("morvane-", 0), 0u);
    const auto removed = [&] {
        RemoveEarlierVersionLock(Database(), {everyone.Path(), folder_.File("none")});
        return !fs::exists(fs::symlink_status(earlier));
    };

    WriteFileText(earlier, "pid 1, base " + Database() + "\n");
    {
        const int holder = ::open(earlier.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
        EXPECT_FALSE(removed()) << "held by a run of that version";
        ::close(holder);
    }
    const std::string second = everyone.File("second name");
    ASSERT_EQ(::link(earlier.c_str(), second.c_str()), 0);
    EXPECT_FALSE(removed()) << "a file with another name";
    ::unlink(second.c_str());
    EXPECT_TRUE(removed());

    const std::string victim = folder_.File("victim");
    WriteFileText(victim, "kept\n");
    fs::create_symlink(victim, earlier);
    EXPECT_FALSE(removed()) << "a link";
    EXPECT_EQ(ReadFileText(victim), "kept\n");
    ::unlink(earlier.c_str());

    // Taking the lock removes the one in /run/lock.
    const std::string left = "/run/lock/" + EarlierVersionLockName(Database());
    if (::access("/run/lock", W_OK) != 0)
        GTEST_SKIP() << "/run/lock cannot be written here";
    WriteFileText(left, "");
    LockOf(Database());
    EXPECT_EQ(TakeLock(Database()), "held");
    EXPECT_FALSE(fs::exists(fs::symlink_status(left)));
    ::unlink(left.c_str());
}

} // namespace
} // namespace morvane::test
