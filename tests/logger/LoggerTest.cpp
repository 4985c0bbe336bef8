#include "LoggerTestSupport.h"

#include "core/DateTime.h"
#include "global/DateTimeFormat.h"

#include <gtest/gtest.h>

using namespace morvane;
using morvane::test::RecordingLogger;

namespace {

struct FilterCase {
    int niveauMax;
    int logSpecifique;
    int level;
    int specific;
    bool written;
};

class LoggerFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(LoggerFilter, AudienceAndLevelDecideWhetherTheLineIsWritten)
{
    const auto& c = GetParam();
    RecordingLogger logger(static_cast<std::uint8_t>(c.niveauMax), c.logSpecifique);
    logger.LogMessage("message", static_cast<std::uint8_t>(c.level), c.specific);
    EXPECT_EQ(logger.lines.size(), c.written ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, LoggerFilter,
                         ::testing::Values(
                             // level filter
                             FilterCase{0, 0, 0, 0, true}, FilterCase{0, 0, 1, 0, false},
                             FilterCase{255, 0, 255, 0, true}, FilterCase{200, 0, 200, 0, true},
                             FilterCase{199, 0, 200, 0, false},
                             // audience filter
                             FilterCase{255, 0, 1, 12, true}, FilterCase{255, 0, 1, -3, false},
                             FilterCase{255, -3, 1, -3, true}, FilterCase{255, -1, 1, -3, true},
                             FilterCase{255, -1, 1, 0, true}, FilterCase{255, 7, 1, 0, false},
                             FilterCase{255, 7, 1, 7, true}, FilterCase{255, 7, 1, 8, false},
                             // both must agree
                             FilterCase{10, 7, 11, 7, false}));

struct ShapeCase {
    bool insertTime;
    bool insertNiveauLog;
    int level;
    const char* format;
    const char* line;
};

class LoggerLineShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(LoggerLineShape, TimeStampThenLevelFieldThenText)
{
    const auto& c = GetParam();
    SetCurrentFormatSettings(FormatSettings{});
    ScopedClock clock([] { return EncodeDateTime(2009, 3, 14, 16, 5, 9, 42); });
    RecordingLogger logger(255, 0, c.insertTime, c.format, c.insertNiveauLog);
    logger.LogMessage("Gfix shutdown", static_cast<std::uint8_t>(c.level), 0);
    ASSERT_EQ(logger.lines.size(), 1u);
    EXPECT_EQ(logger.lines[0], c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoggerLineShape,
    ::testing::Values(ShapeCase{true, true, 200, DefaultLogDateTimeFormat, "2009-03-14 16:05:09.042: [200] Gfix shutdown"},
                      ShapeCase{true, false, 200, DefaultLogDateTimeFormat, "2009-03-14 16:05:09.042: Gfix shutdown"},
                      ShapeCase{false, true, 200, DefaultLogDateTimeFormat, "[200] Gfix shutdown"},
                      ShapeCase{false, false, 200, DefaultLogDateTimeFormat, "Gfix shutdown"},
                      ShapeCase{false, true, 5, DefaultLogDateTimeFormat, "[005] Gfix shutdown"},
                      ShapeCase{false, true, 0, DefaultLogDateTimeFormat, "[000] Gfix shutdown"},
                      ShapeCase{false, true, 255, DefaultLogDateTimeFormat, "[255] Gfix shutdown"},
                      ShapeCase{true, true, 1, "hh:nn", "16:05: [001] Gfix shutdown"}));

TEST(Logger, EveryMessageIsOneLineOfUtf8WhateverItsTextHolds)
{
    SetCurrentFormatSettings(FormatSettings{});
    ScopedClock clock([] { return EncodeDateTime(2026, 12, 11, 2, 30, 0, 0); });
    RecordingLogger logger(255, 0, true, DefaultLogDateTimeFormat, true);
    // An exception text from a trigger that forges a line of the program's own.
    logger.LogMessage("Glb5020 : E_REFUS\n2026-12-11 02:30:00.000: [100] Rapport du cycle : code de sortie 0", 1, 0);
    // The server's ISO8859_1 bytes and a terminal escape in a table name.
    logger.LogMessage("table \"Donn\xe9" "es\x1b[2J\": 12 lignes", 200, 0);
    // The program's own text over several lines.
    logger.LogMessage("Gfix shutdown terminé : 0 => ligne 1\r\nligne 2", 200, 0);
    EXPECT_EQ(logger.lines, (std::vector<std::string>{
                                "2026-12-11 02:30:00.000: [001] Glb5020 : E_REFUS\\n2026-12-11 02:30:00.000: [100] "
                                "Rapport du cycle : code de sortie 0",
                                "2026-12-11 02:30:00.000: [200] table \"Données\\x1b[2J\": 12 lignes",
                                "2026-12-11 02:30:00.000: [200] Gfix shutdown terminé : 0 => ligne 1\\r\\nligne 2",
                            }));
}

TEST(Logger, TheDefaultTimeStampIsWhatThePatternFunctionWrites)
{
    const TDateTime values[] = {EncodeDateTime(2009, 3, 14, 16, 5, 9, 42), EncodeDateTime(2024, 12, 31, 23, 59, 59, 999),
                                EncodeDateTime(2026, 1, 1, 0, 0, 0, 0), EncodeDateTime(1, 1, 1, 1, 1, 1, 1),
                                EncodeDateTime(9999, 12, 31, 12, 30, 0, 5)};
    for (const char* separator : {":", ".", "h"}) {
        FormatSettings settings;
        settings.timeSeparator = separator;
        SetCurrentFormatSettings(settings);
        for (const TDateTime value : values) {
            std::string stamp;
            ASSERT_TRUE(AppendDefaultTimeStamp(stamp, value));
            EXPECT_EQ(stamp, FormatDateTime(DefaultLogDateTimeFormat, value)) << value;
        }
    }
    SetCurrentFormatSettings(FormatSettings{});
    std::string outside;
    EXPECT_FALSE(AppendDefaultTimeStamp(outside, EncodeDateTime(10000, 1, 1)));
    EXPECT_EQ(outside, "");
}

TEST(Logger, LastLevelIsTheLevelOfTheLineBeingWrittenAndSurvivesRejectedMessages)
{
    RecordingLogger logger(100);
    logger.LogMessage("a", 42, 0);
    EXPECT_EQ(logger.LastLevel(), 42);
    logger.LogMessage("rejected by level", 101, 0);
    logger.LogMessage("rejected by audience", 1, -5);
    EXPECT_EQ(logger.LastLevel(), 42);
    EXPECT_EQ(logger.levels, (std::vector<std::uint8_t>{42}));
}

TEST(Logger, AnErrorOfTheOutputReachesTheCaller)
{
    RecordingLogger logger;
    logger.onLine = [](const std::string&) { throw Exception("disque plein"); };
    EXPECT_THROW(logger.LogMessage("x", 1, 0), Exception);
}

TEST(LoggerParams, NamesBeforeTheFirstEqualsSignInOrderAndLinesWithoutOneSkipped)
{
    const TStringList params{"FileName=a.log", "no equals sign", "=empty name", "DoAppend=", "FileName=b=c"};
    std::vector<std::pair<std::string, std::string>> seen;
    ForEachLoggerParam(&params, [&](std::string_view name, const std::string& value) {
        seen.emplace_back(std::string(name), value);
    });
    const std::vector<std::pair<std::string, std::string>> expected{
        {"FileName", "a.log"}, {"", "empty name"}, {"DoAppend", ""}, {"FileName", "b=c"}};
    EXPECT_EQ(seen, expected);
    ForEachLoggerParam(nullptr, [](std::string_view, const std::string&) { FAIL(); });
}

TEST(LoggerParams, OnlyTheExactTextFalseIsFalse)
{
    EXPECT_FALSE(LoggerParamIsTrue("False"));
    for (const char* value : {"false", "FALSE", "", "True", "0", " False"})
        EXPECT_TRUE(LoggerParamIsTrue(value)) << value;
}

} // namespace
