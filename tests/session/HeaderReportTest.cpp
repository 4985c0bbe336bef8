#include "session/HeaderReport.h"

#include "core/Exception.h"
#include "core/Text.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

// A header report as the Firebird 3.0 server sends it (tabs kept).
constexpr const char* ServerReport =
    "\n"
    "Database \"/srv/Data/Site/BD.FDB\"\n"
    "Gstat execution time Thu Dec 10 03:01:19 2026\n"
    "\n"
    "Database header page information:\n"
    "\tFlags\t\t\t0\n"
    "\tGeneration\t\t11\n"
    "\tPage size\t\t8192\n"
    "\tODS version\t\t12.0\n"
    "\tPage buffers\t\t4000\n"
    "\tDatabase dialect\t3\n"
    "\tAttributes\t\tforce write, no reserve\n"
    "\n"
    "    Variable header data:\n"
    "\tSweep interval:\t\t5000\n"
    "\t*END*\n"
    "Gstat completion time Thu Dec 10 03:01:19 2026\n";

struct Found {
    std::string backupFolder, pageSize;
    int pageBuffers{-1}, sweep{-1}, reserve{-2}, writeMode{-2};
    int matches{0};
};

Found ParseWholeReport(const std::string& report)
{
    Found found;
    for (const std::string& line : SplitLines(report))
        for (HeaderKeyword keyword : HeaderKeywords) {
            const auto value = ParseHeaderReport(line, keyword);
            if (!value)
                continue;
            ++found.matches;
            switch (value->keyword) {
            case HeaderKeyword::Database: found.backupFolder = value->text; break;
            case HeaderKeyword::PageSize: found.pageSize = value->text; break;
            case HeaderKeyword::PageBuffers: found.pageBuffers = value->number; break;
            case HeaderKeyword::SweepInterval: found.sweep = value->number; break;
            case HeaderKeyword::Attributes:
                found.reserve = value->reserveIndex;
                found.writeMode = value->writeModeIndex;
                break;
            }
        }
    return found;
}

TEST(HeaderReportTest, ServerReportGivesTheFiveSettingsAndNothingElse)
{
    const Found found = ParseWholeReport(ServerReport);
    EXPECT_EQ(found.matches, 5); // "Database header page information:" has no quote: no match
    EXPECT_EQ(found.backupFolder, "/srv/Data/Site/"); // own letter case kept
    EXPECT_EQ(found.pageSize, "8192");
    EXPECT_EQ(found.pageBuffers, 4000);
    EXPECT_EQ(found.sweep, 5000);
    EXPECT_EQ(found.reserve, 0);
    EXPECT_EQ(found.writeMode, 0);
}

TEST(HeaderReportTest, SingleLines)
{
    struct Case {
        const char* line;
        HeaderKeyword keyword;
        bool matches;
        std::string text;
        int number, reserve, writeMode;
    };
    const Case cases[] = {
        {"Database \"C:\\CalvenorBD\\bd.fdb\"", HeaderKeyword::Database, true, "C:\\CalvenorBD\\", 0, -1, -1},
        {"  DATABASE \"d:bd.fdb\"\r", HeaderKeyword::Database, true, "d:", 0, -1, -1},
        {"Database \"bd.fdb\"", HeaderKeyword::Database, true, "", 0, -1, -1},
        {"Database \"", HeaderKeyword::Database, true, "", 0, -1, -1}, // nothing after the quote
        {"Database", HeaderKeyword::Database, false, "", 0, -1, -1},   // shorter than the keyword
        {"\tpage SIZE\t\t4096", HeaderKeyword::PageSize, true, "4096", 0, -1, -1},
        {"Page size 3000", HeaderKeyword::PageSize, true, "3000", 0, -1, -1}, // not one of the items: kept
        {"Page buffers 200000", HeaderKeyword::PageBuffers, true, "", 200000, -1, -1}, // the spin box clamps
        {"Sweep interval: -7", HeaderKeyword::SweepInterval, true, "", -7, -1, -1},
        {"Sweep interval 7", HeaderKeyword::SweepInterval, false, "", 0, -1, -1}, // colon belongs to the keyword
        {"Attributes\t\tFORCE WRITE, NO RESERVE", HeaderKeyword::Attributes, true, "", 0, 0, 0},
        {"Attributes\t\tno reserve", HeaderKeyword::Attributes, true, "", 0, 0, 1},
        {"Attributes\t\tforce write", HeaderKeyword::Attributes, true, "", 0, 1, 0},
        {"Attributes", HeaderKeyword::Attributes, true, "", 0, 1, 1},
        {"Page size 4096", HeaderKeyword::Attributes, false, "", 0, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto value = ParseHeaderReport(c.line, c.keyword);
        ASSERT_EQ(value.has_value(), c.matches);
        if (!value)
            continue;
        EXPECT_EQ(value->text, c.text);
        EXPECT_EQ(value->number, c.number);
        EXPECT_EQ(value->reserveIndex, c.reserve);
        EXPECT_EQ(value->writeModeIndex, c.writeMode);
    }
}

TEST(HeaderReportTest, NumberThatIsNotAnIntegerIsAConversionError)
{
    for (const char* line : {"Page buffers 12x", "Sweep interval:", "Page buffers 99999999999"}) {
        SCOPED_TRACE(line);
        const HeaderKeyword keyword = StartsText("Page", line) ? HeaderKeyword::PageBuffers : HeaderKeyword::SweepInterval;
        try {
            ParseHeaderReport(line, keyword);
            ADD_FAILURE() << "no error";
        } catch (const EConvertError& error) {
            EXPECT_NE(error.Message().find("n'est pas une valeur numérique valide"), std::string::npos);
        }
    }
}

} // namespace
} // namespace morvane
