#include "LoggerTestSupport.h"

#include "logger/uWindowsEventLogger.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

struct Reported {
    std::string source;
    EventEntryType type;
    std::string line;
    bool operator==(const Reported&) const = default;
};

class RecordingBackend final : public EventLogBackend {
public:
    RecordingBackend(std::string source, std::vector<Reported>& sink, int& released)
        : source_(std::move(source)), sink_(sink), released_(released)
    {
    }
    ~RecordingBackend() override { ++released_; }
    void Report(EventEntryType type, const std::string& line) override { sink_.push_back({source_, type, line}); }

private:
    std::string source_;
    std::vector<Reported>& sink_;
    int& released_;
};

TEST(WindowsEventLogger, LevelsMapToErrorWarningAndInformation)
{
    const std::pair<int, EventEntryType> cases[] = {
        {0, EventEntryType::Error},         {1, EventEntryType::Error},       {5, EventEntryType::Error},
        {6, EventEntryType::Warning},       {50, EventEntryType::Warning},    {51, EventEntryType::Information},
        {100, EventEntryType::Information}, {255, EventEntryType::Information}};
    for (const auto& [level, type] : cases)
        EXPECT_EQ(EventEntryTypeOfLevel(static_cast<std::uint8_t>(level), 5, 50), type) << level;
}

TEST(WindowsEventLogger, ReportsEachLineUnderTheApplicationTitle)
{
    TemporaryFolder folder;
    CommandLineGuard program({folder.File("morvane.test.bin")});
    std::vector<Reported> reported;
    int released = 0;
    {
        ScopedEventLogBackendFactory factory(
            [&](const std::string& source) { return std::make_unique<RecordingBackend>(source, reported, released); });
        TWindowsEventLogger logger(200, 0, nullptr, false, DefaultLogDateTimeFormat, true);
        EXPECT_EQ(logger.ErrorCeiling(), 5);
        EXPECT_EQ(logger.WarningCeiling(), 50);
        logger.LogMessage("Erreur Backup: disque plein", 1, 0);
        logger.LogMessage("GetBaseLocation : Security non configuré", 5, 0);
        logger.LogMessage("attention", 6, 0);
        logger.LogMessage("Ouverture de l'application", 100, 0);
        logger.LogMessage("filtered out", 201, 0);
    }
    const std::vector<Reported> expected{
        {"Morvane", EventEntryType::Error, "[001] Erreur Backup: disque plein"},
        {"Morvane", EventEntryType::Error, "[005] GetBaseLocation : Security non configuré"},
        {"Morvane", EventEntryType::Warning, "[006] attention"},
        {"Morvane", EventEntryType::Information, "[100] Ouverture de l'application"}};
    EXPECT_EQ(reported, expected);
    EXPECT_EQ(released, 1); // the source is released with the logger
}

// The system log gets one record per entry, whatever the message's text holds.
TEST(WindowsEventLogger, AMessageOfSeveralLinesIsOneRecord)
{
    TemporaryFolder folder;
    CommandLineGuard program({folder.File("morvane")});
    std::vector<Reported> reported;
    int released = 0;
    {
        ScopedEventLogBackendFactory factory(
            [&](const std::string& source) { return std::make_unique<RecordingBackend>(source, reported, released); });
        TWindowsEventLogger logger(200, 0, nullptr, false, DefaultLogDateTimeFormat, true);
        logger.LogMessage("Le restore a échoué.\nMessage du serveur :\r\ngbak: ERROR:duplicate\nCause : l'index UX", 1,
                          0);
    }
    EXPECT_EQ(reported, (std::vector<Reported>{{"Morvane", EventEntryType::Error,
                                                "[001] Le restore a échoué.\\nMessage du serveur :\\r\\ngbak: "
                                                "ERROR:duplicate\\nCause : l'index UX"}}));
}

} // namespace
