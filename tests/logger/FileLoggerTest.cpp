#include "LoggerTestSupport.h"

#include "core/DateTime.h"
#include "logger/uFileLogger.h"
#include "logger/uLogTextFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace morvane;
using namespace morvane::test;
namespace fs = std::filesystem;

namespace {

class FileLoggerTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    CommandLineGuard program{{folder.File("morvane")}};

    static std::unique_ptr<TFileLogger> Make(const TStringList& params)
    {
        return std::make_unique<TFileLogger>(255, 0, &params, false, DefaultLogDateTimeFormat, false);
    }
};

TEST_F(FileLoggerTest, WithoutFileNameEveryLineFails)
{
    const TStringList wrongCase{"filename=x.log"}; // names are exact
    for (const TStringList* params : {static_cast<const TStringList*>(nullptr), &wrongCase}) {
        TFileLogger logger(255, 0, params, false, DefaultLogDateTimeFormat, false);
        try {
            logger.LogMessage("x", 1, 0);
            FAIL() << "no error";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), "Le fichier n'a pas été assigné au FileLogger");
        }
    }
    EXPECT_FALSE(fs::exists(folder.File("x.log")));
}

TEST_F(FileLoggerTest, RelativeNamesLandBesideTheProgramAndTheFileExistsBeforeTheFirstLine)
{
    auto logger = Make({"FileName=journal.log"});
    EXPECT_EQ(logger->CurrentFileName(), folder.File("journal.log"));
    EXPECT_TRUE(fs::exists(folder.File("journal.log")));
    EXPECT_EQ(ReadFileText(folder.File("journal.log")), "");
    logger->LogMessage("un", 200, 0);
    logger->LogMessage("deux", 200, 0);
    EXPECT_EQ(ReadFileText(folder.File("journal.log")), "un\ndeux\n");
    EXPECT_EQ(logger->ValidUntil(), NeverChanges);
}

TEST_F(FileLoggerTest, ASecondRunEmptiesOrExtendsTheFileByDoAppend)
{
    struct Case {
        std::vector<std::string> extra;
        bool kept;
    };
    const Case cases[] = {{{}, false},
                          {{"DoAppend=False"}, false},
                          {{"DoAppend=false"}, true},
                          {{"DoAppend=True"}, true},
                          {{"DoAppend=False", "DoAppend=1"}, true}, // the later line wins
                          {{"DoAppend=1", "DoAppend=False"}, false}};
    for (const auto& c : cases) {
        TStringList params{"FileName=run.log"};
        for (const auto& line : c.extra)
            params.Add(line);
        WriteFileText(folder.File("run.log"), "first run\n");
        Make(params)->LogMessage("second run", 200, 0);
        EXPECT_EQ(ReadFileText(folder.File("run.log")), c.kept ? "first run\nsecond run\n" : "second run\n")
            << params.Text(" ");
    }
}

TEST_F(FileLoggerTest, RenameFileToMovesThePreviousRunsFileAsideUnlessTheTargetExists)
{
    const std::string log = folder.File("run.log");
    const std::string old = folder.File("run.old");
    const TStringList params{"FileName=" + log, "RenameFileTo=" + old};

    WriteFileText(log, "previous\n");
    Make(params)->LogMessage("new", 200, 0);
    EXPECT_EQ(ReadFileText(old), "previous\n");
    EXPECT_EQ(ReadFileText(log), "new\n");

    // The target is there already: both files stay, the log is emptied as without rename.
    Make(params)->LogMessage("newer", 200, 0);
    EXPECT_EQ(ReadFileText(old), "previous\n");
    EXPECT_EQ(ReadFileText(log), "newer\n");

    TStringList appending = params;
    appending.Add("DoAppend=True");
    Make(appending)->LogMessage("newest", 200, 0);
    EXPECT_EQ(ReadFileText(old), "previous\n");
    EXPECT_EQ(ReadFileText(log), "newer\nnewest\n");
}

TEST_F(FileLoggerTest, TheFirstLineAfterMidnightOpensTheNextDaysFile)
{
    TDateTime now = EncodeDateTime(2024, 3, 5, 23, 59, 59, 500);
    ScopedClock clock([&] { return now; });
    auto logger = Make({"FileName=log_?DATE?.txt"});
    EXPECT_EQ(logger->ValidUntil(), EncodeDateTime(2024, 3, 6));
    logger->LogMessage("before", 200, 0);

    now = EncodeDateTime(2024, 3, 6, 0, 0, 0, 100);
    logger->LogMessage("after", 200, 0);
    EXPECT_EQ(ReadFileText(folder.File("log_20240305.txt")), "before\n");
    EXPECT_EQ(ReadFileText(folder.File("log_20240306.txt")), "after\n");
    EXPECT_EQ(logger->CurrentFileName(), folder.File("log_20240306.txt"));
    EXPECT_EQ(logger->ValidUntil(), EncodeDateTime(2024, 3, 7));
}

TEST_F(FileLoggerTest, AFileRemovedBetweenLinesIsCreatedAgain)
{
    auto logger = Make({"FileName=run.log"});
    logger->LogMessage("one", 200, 0);
    fs::remove(folder.File("run.log"));
    logger->LogMessage("two", 200, 0);
    // Creating it is the first retry and it succeeds: no dot.
    EXPECT_EQ(ReadFileText(folder.File("run.log")), "two\n");
}

TEST_F(FileLoggerTest, ABlockedFileGetsTheLineWithOneDotPerFailedAttempt)
{
    auto logger = Make({"FileName=run.log"});
    // A folder in the file's place refuses every open until it goes, 20 ms later.
    fs::remove(folder.File("run.log"));
    fs::create_directory(folder.File("run.log"));
    std::thread unblock([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        fs::remove(folder.File("run.log"));
    });
    logger->LogMessage("late", 200, 0);
    unblock.join();
    const std::string text = ReadFileText(folder.File("run.log"));
    const auto dots = text.find_first_not_of('.');
    EXPECT_GE(dots, 1u);
    EXPECT_LT(dots, static_cast<std::size_t>(TFileLogger::MaxOpenAttempts));
    EXPECT_EQ(text.substr(dots), "late\n");
}

TEST_F(FileLoggerTest, AFileThatNeverOpensFailsAfterTwentyOneAttempts)
{
    auto logger = Make({"FileName=run.log"});
    fs::remove(folder.File("run.log"));
    fs::create_directory(folder.File("run.log"));
    try {
        logger->LogMessage("lost", 200, 0);
        FAIL() << "no error";
    } catch (const Exception& error) {
        const std::string& message = error.Message();
        EXPECT_EQ(message.rfind("Exception sur DoLog(21) (EInOutError:", 0), 0u) << message;
        EXPECT_NE(message.find(folder.File("run.log")), std::string::npos) << message;
        EXPECT_EQ(message.substr(message.size() - 5), ":lost") << message;
    }
}

TEST_F(FileLoggerTest, CreationFailsWhenTheFileCannotBeCreated)
{
    EXPECT_THROW(Make({"FileName=missing-folder/run.log"}), EInOutError);
}

TEST_F(FileLoggerTest, ASwitchThatFailsLeavesNoFileAndLaterLinesSaySo)
{
    TDateTime now = EncodeDateTime(2024, 3, 5, 12);
    ScopedClock clock([&] { return now; });
    fs::create_directory(folder.File("logs"));
    auto logger = Make({"FileName=logs/?DATE?.txt"});
    fs::remove_all(folder.File("logs"));
    now = EncodeDateTime(2024, 3, 6, 12);
    EXPECT_THROW(logger->LogMessage("x", 200, 0), EInOutError);
    EXPECT_EQ(logger->CurrentFileName(), "");
    try {
        logger->LogMessage("y", 200, 0);
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "Le fichier n'a pas été assigné au FileLogger");
    }
}

TEST_F(FileLoggerTest, AnInvalidMacroFailsTheCreation)
{
    for (const char* line : {"FileName=log?.txt", "FileName=?FOO?.txt", "RenameFileTo=?BAR?"}) {
        try {
            Make({line});
            FAIL() << line;
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message().rfind("FileLogger : Masque de fichier invalide \"", 0), 0u) << error.Message();
        }
    }
}

TEST_F(FileLoggerTest, SetFileNameIgnoresTheSameNameInAnotherCase)
{
    auto logger = Make({"FileName=run.log", "DoAppend=True"});
    logger->LogMessage("kept", 200, 0);
    logger->SetFileName(folder.File("RUN.LOG"));
    EXPECT_EQ(logger->CurrentFileName(), folder.File("run.log"));
    EXPECT_FALSE(fs::exists(folder.File("RUN.LOG")));
}

} // namespace
