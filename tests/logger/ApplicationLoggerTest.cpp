#include "LoggerTestSupport.h"

#include "logger/uApplicationLogger.h"
#include "logger/uWindowsEventLogger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <thread>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;

namespace {

class AppLoggerTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    CommandLineGuard program{{folder.File("morvane")}};

    void TearDown() override { DestroyAppLogger(); }

    // A logger that writes "name:text" into a journal shared by several loggers.
    std::unique_ptr<RecordingLogger> JournalLogger(const std::string& name)
    {
        auto logger = std::make_unique<RecordingLogger>();
        logger->onLine = [this, name](const std::string& line) { journal.push_back(name + ":" + line); };
        return logger;
    }
    std::vector<std::string> journal;
};

TEST_F(AppLoggerTest, OnlyTheAccessorBuildsTheInstance)
{
    try {
        TApplicationLogger other;
        FAIL() << "built outside AppLogger()";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(),
                  "Vous devez accéder à la classe TApplicationLogger par le biais de la fonction AppLogger");
    }
    TApplicationLogger& first = AppLogger();
    EXPECT_EQ(&AppLogger(), &first);
}

TEST_F(AppLoggerTest, WithoutAConfigurationMessagesAreTakenAndDropped)
{
    EXPECT_EQ(AppLogger().LoggerCount(), 0u);
    for (int i = 0; i < 3; ++i)
        AppLogger().Log("personne ne lit", 200, 0);
    EXPECT_TRUE(AppLogger().Thread().WaitUntilDrained(5s));
    EXPECT_EQ(AppLogger().Thread().QueuedCount(), 0u);
}

TEST_F(AppLoggerTest, EveryLoggerGetsEveryMessageInArrivalOrderFirstLoggerFirst)
{
    AppLogger().AddLogger(JournalLogger("A"));
    AppLogger().AddLogger(JournalLogger("B"));
    AppLogger().Log("un", 200, 0);
    AppLogger().Log("deux", 1, 0);
    AppLogger().Log("trois", 100, 0);
    ASSERT_TRUE(AppLogger().Thread().WaitUntilDrained(5s));
    EXPECT_EQ(journal, (std::vector<std::string>{"A:un", "B:un", "A:deux", "B:deux", "A:trois", "B:trois"}));
}

TEST_F(AppLoggerTest, AFailingLoggerEndsTheWriterOnceAndLaterMessagesAreNotKept)
{
    auto first = JournalLogger("A");
    first->onLine = [this](const std::string& line) {
        if (line == "deux")
            throw Exception("disque plein");
        journal.push_back("A:" + line);
    };
    AppLogger().AddLogger(std::move(first));
    AppLogger().AddLogger(JournalLogger("B"));

    ::testing::internal::CaptureStderr();
    AppLogger().Log("un", 200, 0);
    AppLogger().Log("deux", 200, 0);
    ASSERT_TRUE(AppLogger().Thread().WaitUntilDrained(5s));
    EXPECT_TRUE(AppLogger().Thread().Failed());
    const std::size_t queued = AppLogger().Thread().QueuedCount();
    for (int i = 0; i < 1000; ++i)
        AppLogger().Log("après la fin", 200, 0);
    const std::string said = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(journal, (std::vector<std::string>{"A:un", "B:un"})); // B never sees "deux"
    EXPECT_EQ(AppLogger().Thread().LastError(), "TAppLoggerThread Exception in Execute.F(Exception):disque plein");
    EXPECT_EQ(AppLogger().Thread().QueuedCount(), queued);
    const auto first_ = said.find("Exception in Execute");
    EXPECT_NE(first_, std::string::npos) << said;
    EXPECT_EQ(said.find("Exception in Execute", first_ + 1), std::string::npos) << said;
}

// A writer that holds its first record until the test lets it go.
class HeldWriter {
public:
    void Write(const LogRecord& record)
    {
        std::unique_lock guard(lock_);
        written_.push_back(record.Text);
        changed_.notify_all();
        changed_.wait(guard, [&] { return released_; });
    }
    bool WaitUntilEntered()
    {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, 5s, [&] { return !written_.empty(); });
    }
    void Release()
    {
        {
            std::lock_guard guard(lock_);
            released_ = true;
        }
        changed_.notify_all();
    }
    std::vector<std::string> Written()
    {
        std::lock_guard guard(lock_);
        return written_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool released_ = false;
    std::vector<std::string> written_;
};

TEST(AppLoggerThread, TheStopRequestWritesWhatIsQueuedWithinTheDrainLimit)
{
    struct Case {
        std::chrono::milliseconds drainLimit;
        std::chrono::milliseconds heldAfterTheRequest;
        std::vector<std::string> written;
        std::size_t dropped;
    };
    const Case cases[] = {
        {5000ms, 0ms, {"1", "2", "3", "4", "5"}, 0},
        // The record being written is waited for; what is left when the time is up is dropped.
        {50ms, 300ms, {"1"}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.drainLimit.count());
        HeldWriter writer;
        auto thread = std::make_unique<TAppLoggerThread>([&](const LogRecord& record) { writer.Write(record); },
                                                         c.drainLimit);
        for (const char* text : {"1", "2", "3", "4", "5"})
            thread->Enqueue(text, 200, 0);
        ASSERT_TRUE(writer.WaitUntilEntered());
        ::testing::internal::CaptureStderr();
        std::thread stopper([&] { thread->TerminateAndWait(); });
        while (!thread->Terminated())
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(c.heldAfterTheRequest);
        writer.Release();
        stopper.join();
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(writer.Written(), c.written);
        EXPECT_EQ(thread->QueuedCount(), c.dropped);
        if (c.dropped == 0) {
            EXPECT_EQ(said, "");
        } else {
            EXPECT_EQ(said, "TApplicationLogger : " + std::to_string(c.dropped) +
                                " message(s) non écrit(s) à la fermeture (délai de 50 ms dépassé).\n");
        }
    }
}

TEST_F(AppLoggerTest, LinesQueuedJustBeforeTheEndAreAllInTheFile)
{
    WriteFileText(folder.File("AppLogger.xml"), R"(<AppLogger Version="1.2"><AllStations><AllApplications>
        <F class="TFileLogger" NiveauMax="255" LogSpecifique="0" InsertTime="False">
          <FileName>end.log</FileName>
        </F></AllApplications></AllStations></AppLogger>)");
    constexpr int count = 1000;
    for (int i = 0; i < count; ++i)
        AppLogger().Log("ligne " + std::to_string(i), 200, 0);
    DestroyAppLogger();
    const auto lines = ReadFileLines(folder.File("end.log"));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(lines[static_cast<std::size_t>(i)], "[200] ligne " + std::to_string(i));
}

class CountedLogger : public RecordingLogger {
public:
    CountedLogger(std::vector<int>& destroyed, int id) : destroyed_(destroyed), id_(id) {}
    ~CountedLogger() override { destroyed_.push_back(id_); }

private:
    std::vector<int>& destroyed_;
    int id_;
};

TEST_F(AppLoggerTest, LoggerListOperations)
{
    std::vector<int> destroyed;
    TApplicationLogger& app = AppLogger();
    TLogger* first = app.AddLogger(std::make_unique<CountedLogger>(destroyed, 1));
    app.AddLogger(std::make_unique<CountedLogger>(destroyed, 2));
    EXPECT_EQ(app.AddLogger(nullptr), nullptr);
    // The same object again: the list keeps one entry and it is freed once.
    app.AddLogger(std::unique_ptr<TLogger>(first));
    EXPECT_EQ(app.LoggerCount(), 2u);
    EXPECT_EQ(app.GetLogger(0), first);
    EXPECT_EQ(app.GetLogger(app.LoggerCount()), nullptr);
    app.ClearLoggers();
    EXPECT_EQ(app.LoggerCount(), 0u);
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2}));
}

TEST_F(AppLoggerTest, AConfigurationThatFailsKeepsNoInstanceAndTheNextCallTriesAgain)
{
    int sources = 0;
    int released = 0;
    struct Source final : EventLogBackend {
        explicit Source(int& r) : released_(r) {}
        ~Source() override { ++released_; }
        void Report(EventEntryType, const std::string&) override {}
        int& released_;
    };
    ScopedEventLogBackendFactory factory([&](const std::string&) {
        ++sources;
        return std::make_unique<Source>(released);
    });
    // The first logger is built, the second fails the whole configuration.
    WriteFileText(folder.File("AppLogger.xml"), R"(<Config Version="1.2"><AllStations><AllApplications>
        <L class="TWindowsEventLogger" NiveauMax="200" LogSpecifique="0"/>
        <L class="TWindowsEventLogger" NiveauMax="deux cents" LogSpecifique="0"/>
      </AllApplications></AllStations></Config>)");
    try {
        AppLogger();
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message().rfind("TApplicationLogger : ", 0), 0u) << error.Message();
    }
    EXPECT_EQ(sources, 1);
    EXPECT_EQ(released, 1); // the half-built instance destroyed what it had built

    WriteFileText(folder.File("AppLogger.xml"), R"(<Config Version="1.2"><AllStations><AllApplications>
        <L class="TWindowsEventLogger" NiveauMax="200" LogSpecifique="0"/>
      </AllApplications></AllStations></Config>)");
    EXPECT_EQ(AppLogger().LoggerCount(), 1u);
    EXPECT_EQ(AppLogger().Version(), "1.2");
    DestroyAppLogger(); // before the counters above go
}

TEST(StartBanner, LinesForAProgramWithoutVersionInformation)
{
    TemporaryFolder folder;
    const std::string program = folder.File("morvane");
    WriteFileText(program, "not a program");
    const std::pair<const char*, const char*> parameters[] = {
        {"", "ParamStr: []"}, {"AUTO ", "ParamStr: [AUTO]"}, {"DATABASEINI=a.ini AUTO ", "ParamStr: [DATABASEINI=a.ini AUTO]"}};
    for (const auto& [given, shown] : parameters) {
        const auto lines = StartBannerLines(program, given, 4294967295u);
        EXPECT_EQ(lines, (std::vector<std::string>{"Ouverture de l'application------------------------------",
                                                   "App: " + program + " - Version: ", shown,
                                                   "Dernier redémarrage: 4294967295 ms------------------------"}));
    }
}

TEST(StartBanner, BuildLineNamesTheBuildsTheRecordHas)
{
    struct Case {
        const char* special;
        const char* privateBuild;
        std::optional<std::string> line;
    };
    const Case cases[] = {{"", "", std::nullopt},
                          {"", "poste de test", "BUILD:  - [PrivateBuild]:  / poste de test"},
                          {"correctif 12", "", "BUILD:  - [SpecialBuild]: correctif 12 / "},
                          {"correctif 12", "poste", "BUILD:  - [SpecialBuild] - [PrivateBuild]: correctif 12 / poste"}};
    for (const auto& c : cases) {
        TEXEVersionData data;
        data.SpecialBuild = c.special;
        data.PrivateBuild = c.privateBuild;
        EXPECT_EQ(BuildNotesLine(data), c.line);
    }
}

TEST_F(AppLoggerTest, TheStartBannerReachesTheFileAndMemoryLoggersOfTheConfiguration)
{
    CommandLineGuard withParameters({folder.File("morvane"), "AUTO", "DATABASEINI=site.ini"});
    WriteFileText(folder.File("AppLogger.xml"), R"(<?xml version="1.0" encoding="UTF-8"?>
<AppLogger Version="1.2">
  <AllStations>
    <AllApplications>
      <Fichier class="TFileLogger" NiveauMax="200" LogSpecifique="0">
        <FileName>morvane.log</FileName>
      </Fichier>
      <Memoire class="TMemoryLogger" NiveauMax="255" LogSpecifique="0">
        <FileName>morvane_mem.log</FileName>
        <MaxLigne>100</MaxLigne>
      </Memoire>
    </AllApplications>
  </AllStations>
</AppLogger>
)");
    AppLogger().LogStartBanner();
    ASSERT_TRUE(AppLogger().Thread().WaitUntilDrained(5s));
    DestroyAppLogger(); // the memory logger writes its batch now

    const std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}: \[100\] (.*))");
    for (const char* name : {"morvane.log", "morvane_mem.log"}) {
        const auto lines = ReadFileLines(folder.File(name));
        ASSERT_EQ(lines.size(), 4u) << name;
        std::vector<std::string> texts;
        for (const auto& line : lines) {
            std::smatch match;
            ASSERT_TRUE(std::regex_match(line, match, stamp)) << line;
            texts.push_back(match[1]);
        }
        EXPECT_EQ(texts[0], "Ouverture de l'application------------------------------");
        EXPECT_EQ(texts[1], "App: " + folder.File("morvane") + " - Version: ");
        EXPECT_EQ(texts[2], "ParamStr: [AUTO DATABASEINI=site.ini]");
        EXPECT_TRUE(std::regex_match(texts[3], std::regex(R"(Dernier redémarrage: \d+ ms-{24})"))) << texts[3];
    }
}

TEST_F(AppLoggerTest, AProgramThatEndsWithoutDestroyingTheLoggerStillWritesItsLastBatch)
{
    WriteFileText(folder.File("AppLogger.xml"), R"(<AppLogger Version="1.2"><AllStations><AllApplications>
        <M class="TMemoryLogger" NiveauMax="255" LogSpecifique="0" InsertTime="False">
          <FileName>exit.log</FileName>
        </M></AllApplications></AllStations></AppLogger>)");
    ::testing::FLAGS_gtest_death_test_style = "fast"; // the child must see this test's folder
    EXPECT_EXIT(
        {
            AppLogger().Log("dernier message", 200, 0);
            AppLogger().Thread().WaitUntilDrained(5s);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFileText(folder.File("exit.log")), "[200] dernier message\n");
}

} // namespace
