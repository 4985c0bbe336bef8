// Files two databases' cycles could share: taken all at once or not at all, waited
// for while another cycle uses one, given up after the longest wait.

#include "cycle/CycleFileLocks.h"

#include "support/TemporaryFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <thread>

namespace morvane::test {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

class SharedFileLocksTest : public ::testing::Test {
protected:
    ~SharedFileLocksTest() override
    {
        std::error_code ignored;
        for (const char* name : {"Morvane.fbk", "one.bkp", "two.bkp"})
            std::filesystem::remove_all(std::filesystem::path(SharedFileLockPath(File(name))).parent_path(), ignored);
    }

    std::string File(const char* name) const { return folder_.File(name); }

    // A clock that moves a second at each pause.
    std::chrono::steady_clock::time_point now_{};
    int pauses_{0};
    TemporaryFolder folder_;
};

TEST_F(SharedFileLocksTest, AllOrNoneAndTheHolderNamed)
{
    const auto clock = [this] { return now_; };
    TSharedFileLocks first([] {}, clock);
    std::string busy;
    std::string holder;
    ASSERT_TRUE(first.Take({File("Morvane.fbk"), File("one.bkp")}, 0s, busy, holder));

    // The second wants one file the first holds and one it does not: it keeps neither.
    TSharedFileLocks second([this] { ++pauses_, now_ += 1s; }, clock);
    EXPECT_FALSE(second.Take({File("two.bkp"), folder_.Path() + "/./Morvane.fbk"}, 5s, busy, holder));
    EXPECT_EQ(busy, File("Morvane.fbk"));
    EXPECT_THAT(holder, HasSubstr("fichier " + File("Morvane.fbk")));
    EXPECT_EQ(pauses_, 5);
    TSharedFileLocks third([] {}, clock);
    EXPECT_TRUE(third.Take({File("two.bkp")}, 0s, busy, holder)) << "nothing is kept while waiting";

    EXPECT_THAT(SharedFileBusyRefusal(busy, holder, 2h), HasSubstr("attendu 2 h"));
}

TEST_F(SharedFileLocksTest, TheWaitEndsWhenTheOtherCycleEnds)
{
    std::optional<TSharedFileLocks> first;
    first.emplace([] {});
    std::string busy;
    std::string holder;
    ASSERT_TRUE(first->Take({File("Morvane.fbk")}, 0s, busy, holder));

    TSharedFileLocks second([&] {
        if (++pauses_ == 3)
            first.reset();
    });
    EXPECT_TRUE(second.Take({File("Morvane.fbk")}, 1h, busy, holder));
    EXPECT_EQ(pauses_, 3);
}

// Between two tries a cycle waits for the other one to let go of the file, not for
// a fixed second: it is woken when the holder closes the lock file.
TEST_F(SharedFileLocksTest, TheWaitEndsWhenTheHolderLetsGoNotAtItsBound)
{
    const std::string path = folder_.File("file-lock");
    EXPECT_TRUE(platform::WaitUntilLockFree(path, 10s)) << "no lock file: free";

    std::optional<platform::FileLock> holder;
    holder.emplace(path, "pid 1, autre cycle\n");
    ASSERT_TRUE(holder->Held());
    EXPECT_FALSE(platform::WaitUntilLockFree(path, 20ms)) << "still held at the bound";

    const auto before = std::chrono::steady_clock::now();
    std::thread lettingGo([&holder] {
        std::this_thread::sleep_for(100ms);
        holder.reset();
    });
    const bool free = platform::WaitUntilLockFree(path, 60s);
    const auto waited = std::chrono::steady_clock::now() - before;
    lettingGo.join();
    EXPECT_TRUE(free);
    EXPECT_LT(waited, 30s) << "woken by the holder, not by the end of the wait";
    EXPECT_FALSE(platform::FileLockHolder(path).has_value());
}

} // namespace
} // namespace morvane::test
