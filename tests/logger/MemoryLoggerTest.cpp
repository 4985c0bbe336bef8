#include "LoggerTestSupport.h"

#include "core/DateTime.h"
#include "logger/uLogTextFile.h"
#include "logger/uMemoryLogger.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <unistd.h>

using namespace morvane;
using namespace morvane::test;
namespace fs = std::filesystem;

namespace {

class MemoryLoggerTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    CommandLineGuard program{{folder.File("morvane")}};

    static std::unique_ptr<TMemoryLogger> Make(const TStringList& params)
    {
        return std::make_unique<TMemoryLogger>(255, 0, &params, false, DefaultLogDateTimeFormat, true);
    }
    std::vector<std::string> Lines(const char* name = "mem.log") const { return ReadFileLines(folder.File(name)); }
};

TEST_F(MemoryLoggerTest, BufferModeWritesEveryMaxLigneLinesAndTheRestAtDestruction)
{
    auto logger = Make({"FileName=mem.log", "MaxLigne=3"});
    EXPECT_EQ(logger->Mode(), TMemoryLogger::DumpMode::Buffer);
    const std::size_t expected[] = {0, 0, 3, 3, 3};
    for (int i = 0; i < 5; ++i) {
        logger->LogMessage("line " + std::to_string(i + 1), 200, 0);
        EXPECT_EQ(Lines().size(), expected[i]) << "after message " << i + 1;
    }
    logger.reset();
    EXPECT_EQ(Lines(), (std::vector<std::string>{"[200] line 1", "[200] line 2", "[200] line 3", "[200] line 4",
                                                 "[200] line 5"}));
}

TEST_F(MemoryLoggerTest, RingModeWritesTheContextOfASevereMessage)
{
    auto logger = Make({"FileName=mem.log", "MaxLigne=3", "DumpType=Ring", "NiveauDump=1"});
    for (int i = 1; i <= 5; ++i)
        logger->LogMessage("info " + std::to_string(i), 200, 0);
    EXPECT_TRUE(Lines().empty());
    logger->LogMessage("failure", 1, 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"[200] info 4", "[200] info 5", "[001] failure"}));
    EXPECT_EQ(logger->BufferedLineCount(), 0u);
    logger->LogMessage("dropped at the end", 200, 0);
    logger.reset();
    EXPECT_EQ(Lines().size(), 3u);
}

// A message of several lines (a restore's failure with the server's lines) is one
// entry: the ring keeps MaxLigne entries, and its dump is one line per entry.
TEST_F(MemoryLoggerTest, TheRingCountsEntriesNotTheLinesOfTheirMessages)
{
    auto logger = Make({"FileName=mem.log", "MaxLigne=2", "DumpType=Ring", "NiveauDump=1"});
    logger->LogMessage("info 1", 200, 0);
    logger->LogMessage("info 2", 200, 0);
    logger->LogMessage("Le restore a échoué.\nMessage du serveur :\nligne 1\nligne 2\nCause : l'index UX", 1, 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "[200] info 2",
                           "[001] Le restore a échoué.\\nMessage du serveur :\\nligne 1\\nligne 2\\nCause : "
                           "l'index UX"}));
}

TEST_F(MemoryLoggerTest, DumpTypeOtherThanExactlyBufferIsARingThatDefaultsToLevelZero)
{
    for (const char* dumpType : {"DumpType=buffer", "DumpType=", "DumpType=Ring"}) {
        auto logger = Make({"FileName=mem.log", "DoAppend=False", dumpType});
        EXPECT_EQ(logger->Mode(), TMemoryLogger::DumpMode::Ring) << dumpType;
        logger->LogMessage("one", 1, 0);
        EXPECT_TRUE(Lines().empty()) << dumpType;
        logger->LogMessage("zero", 0, 0);
        EXPECT_EQ(Lines(), (std::vector<std::string>{"[001] one", "[000] zero"})) << dumpType;
    }
}

TEST_F(MemoryLoggerTest, MaxLigneBelowOne)
{
    // Buffer mode: every line is its own batch.
    auto buffer = Make({"FileName=mem.log", "MaxLigne=0"});
    buffer->LogMessage("a", 200, 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"[200] a"}));
    buffer->LogMessage("b", 200, 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"[200] a", "[200] b"}));
    buffer.reset();

    // Ring mode keeps one line, as with MaxLigne 1.
    for (const char* maxLigne : {"MaxLigne=0", "MaxLigne=-5"}) {
        auto ring = Make({"FileName=ring.log", "DoAppend=False", maxLigne, "DumpType=Ring", "NiveauDump=1"});
        ring->LogMessage("old", 200, 0);
        ring->LogMessage("older", 200, 0);
        ring->LogMessage("severe", 1, 0);
        EXPECT_EQ(Lines("ring.log"), (std::vector<std::string>{"[001] severe"})) << maxLigne;
    }
}

TEST(MemoryLoggerBatch, LinesJoinedWithTrailingBlanksRemoved)
{
    struct Case {
        std::deque<std::string> lines;
        const char* text;
    };
    const Case cases[] = {{{"a", "b"}, "a\nb\n"},
                          {{"a  ", "b \t "}, "a  \nb\n"},
                          {{"a", "   "}, "a\n"},
                          {{"  a"}, "  a\n"},
                          {{}, "\n"}};
    for (const auto& c : cases)
        EXPECT_EQ(MemoryLoggerBatchText(c.lines), c.text);
}

TEST_F(MemoryLoggerTest, ParameterErrors)
{
    try {
        Make({"FileName=mem.log", "MaxLigne=dix"});
        FAIL() << "MaxLigne accepted";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "MemoryLogger : Paramètre MaxLigne doit être un entier");
    }
    EXPECT_THROW(Make({"FileName=mem.log", "NiveauDump=grave"}), EConvertError);
    EXPECT_THROW(Make({"FileName=no-such-folder/mem.log"}), Exception);
}

TEST_F(MemoryLoggerTest, DoAppendKeepsTheFileByDefault)
{
    WriteFileText(folder.File("mem.log"), "earlier\n");
    Make({"FileName=mem.log", "MaxLigne=1"})->LogMessage("now", 200, 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"earlier", "[200] now"}));
    Make({"FileName=mem.log", "MaxLigne=1", "DoAppend=False"})->LogMessage("only", 200, 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"[200] only"}));
}

TEST_F(MemoryLoggerTest, WithoutFileNameBatchesAreDropped)
{
    auto logger = Make({"MaxLigne=1"});
    logger->LogMessage("nowhere", 200, 0);
    EXPECT_EQ(logger->BufferedLineCount(), 0u);
    EXPECT_EQ(logger->CurrentFileName(), "");
}

TEST_F(MemoryLoggerTest, ABatchAfterMidnightGoesToTheNewDaysFile)
{
    TDateTime now = EncodeDateTime(2024, 3, 5, 23, 59, 59);
    ScopedClock clock([&] { return now; });
    auto logger = Make({"FileName=mem_?DATE?.log", "MaxLigne=2"});
    EXPECT_TRUE(logger->NameHasDate());
    logger->LogMessage("a", 200, 0);
    now = EncodeDateTime(2024, 3, 6, 0, 0, 1);
    logger->LogMessage("b", 200, 0);
    EXPECT_EQ(ReadFileText(folder.File("mem_20240305.log")), "");
    EXPECT_EQ(Lines("mem_20240306.log"), (std::vector<std::string>{"[200] a", "[200] b"}));
}

TEST_F(MemoryLoggerTest, AFileRemovedBetweenBatchesIsCreatedAgain)
{
    auto logger = Make({"FileName=mem.log", "MaxLigne=1"});
    fs::remove(folder.File("mem.log"));
    logger->LogMessage("again", 200, 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"[200] again"}));
}

TEST_F(MemoryLoggerTest, ABatchThatCannotBeWrittenFailsTheLineAndTheLastOneIsReportedNotThrown)
{
    auto logger = Make({"FileName=mem.log", "MaxLigne=2"});
    fs::remove(folder.File("mem.log"));
    fs::create_directory(folder.File("mem.log"));
    logger->LogMessage("a", 200, 0);
    EXPECT_THROW(logger->LogMessage("b", 200, 0), Exception);

    ::testing::internal::CaptureStderr();
    EXPECT_NO_THROW(logger.reset());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("TMemoryLogger"), std::string::npos) << said;
    EXPECT_NE(said.find(folder.File("mem.log")), std::string::npos) << said;
}

// Makes the next writes of log files fail with an error, as a full or failing disk does.
class FailingWrites {
public:
    FailingWrites(int count, int error)
    {
        failuresLeft = count;
        errorCode = error;
        SetLogFileWriteFunction([](int fd, const void* data, std::size_t size) -> std::ptrdiff_t {
            if (failuresLeft > 0) {
                --failuresLeft;
                errno = errorCode;
                return -1;
            }
            return ::write(fd, data, size);
        });
    }
    ~FailingWrites() { SetLogFileWriteFunction(nullptr); }
    FailingWrites(const FailingWrites&) = delete;
    FailingWrites& operator=(const FailingWrites&) = delete;

private:
    static inline int failuresLeft = 0;
    static inline int errorCode = 0;
};

TEST_F(MemoryLoggerTest, AFailedWriteOfABatchIsTriedOnceMore)
{
    const struct {
        int failures;
        int error;
        bool written;
    } cases[] = {{1, ENOSPC, true}, {1, EIO, true}, {2, ENOSPC, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.failures) + " failure(s), errno " + std::to_string(c.error));
        auto logger = Make({"FileName=mem.log", "DoAppend=False", "MaxLigne=2"});
        logger->LogMessage("a", 200, 0);
        FailingWrites failing(c.failures, c.error);
        if (c.written) {
            logger->LogMessage("b", 200, 0);
            EXPECT_EQ(Lines(), (std::vector<std::string>{"[200] a", "[200] b"})); // once, not twice
        } else {
            try {
                logger->LogMessage("b", 200, 0);
                ADD_FAILURE() << "no error";
            } catch (const EInOutError& error) {
                EXPECT_EQ(error.ErrorCode(), c.error);
            }
            EXPECT_TRUE(Lines().empty());
        }
    }
}

} // namespace
