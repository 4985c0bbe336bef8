#include "global/FileInfo.h"

#include "core/Exception.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace morvane {
namespace {

TEST(FormatVersion, LongAndShortForms)
{
    const struct {
        std::uint32_t major, minor, release, build;
        const char* longForm;
        const char* shortForm;
    } cases[] = {
        {1, 0, 0, 0, "1.0.0.0", "1.0"},
        {3, 12, 0, 45, "3.12.0.45", "3.12"},
        {2, 1, 3, 7, "2.1.3.7", "2.1c"},
        {1, 2, 1, 4, "1.2.1.4", "1.2a"},
        {1, 2, 26, 0, "1.2.26.0", "1.2z"},
        {65535, 65535, 0, 65535, "65535.65535.0.65535", "65535.65535"},
    };
    for (const auto& c : cases) {
        const std::uint32_t high = c.major << 16 | c.minor, low = c.release << 16 | c.build;
        EXPECT_EQ(FormatVersion(high, low, false), c.longForm);
        EXPECT_EQ(FormatVersion(high, low, true), c.shortForm);
    }
}

TEST(FileVersion, ReadsTheRecordTheBuildEmbedded)
{
    // A test program built with version 2.1.3.7 and a few strings of its own.
    EXPECT_EQ(FileVersionText(VERSION_FIXTURE, false), "2.1.3.7");
    EXPECT_EQ(FileVersionText(VERSION_FIXTURE, true), "2.1c");
    std::uint32_t high = 0, low = 0;
    ASSERT_TRUE(GetFileVersionNumbers(VERSION_FIXTURE, high, low));
    EXPECT_EQ(high, 0x00020001u);
    EXPECT_EQ(low, 0x00030007u);

    const auto block = LoadVersionBlock(VERSION_FIXTURE);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(std::string(block->begin(), block->begin() + 17), "MORVANE-VERSION-1");

    TEXEVersionData data;
    data.SpecialBuild = "kept"; // absent from the record: left as it was
    GetVersionStrings(VERSION_FIXTURE, data);
    EXPECT_EQ(data.CompanyName, "Calvenor");
    EXPECT_EQ(data.FileVersion, "2.1.3.7");
    EXPECT_EQ(data.ProductVersion, "2.1.3.7");
    EXPECT_EQ(data.ProductName, "Morvane");
    EXPECT_EQ(data.PrivateBuild, "essai \"sur site\"");
    EXPECT_EQ(data.Comments, "C:\\Calvenor");
    EXPECT_EQ(data.SpecialBuild, "kept");
}

#ifdef MORVANE_PROGRAM_FILE
TEST(FileVersion, TheProgramCarriesTheProjectVersion)
{
    EXPECT_EQ(FileVersionText(MORVANE_PROGRAM_FILE, false), MORVANE_PROJECT_VERSION);
    TEXEVersionData data;
    GetVersionStrings(MORVANE_PROGRAM_FILE, data);
    EXPECT_EQ(data.FileVersion, MORVANE_PROJECT_VERSION);
    EXPECT_EQ(data.OriginalFileName, "morvane");
}
#endif

TEST(FileVersion, AFileWithoutRecordHasNoVersion)
{
    const struct {
        const char* file;
        int code;
    } cases[] = {
        {"/proc/self/exe", ENODATA}, // this test program has no record
        {"/bin/sh", ENODATA},
        {"/etc/hostname", ENODATA},
        {"/nonexistent/morvane", ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(FileVersionText(c.file, false), "");
        EXPECT_FALSE(LoadVersionBlock(c.file).has_value());
        std::uint32_t high = 7, low = 7;
        EXPECT_FALSE(GetFileVersionNumbers(c.file, high, low));
        TEXEVersionData data;
        data.CompanyName = "unchanged";
        try {
            GetVersionStrings(c.file, data);
            ADD_FAILURE() << "no error";
        } catch (const EOSError& error) {
            EXPECT_EQ(error.ErrorCode(), c.code);
            EXPECT_EQ(error.Message(), std::string("System Error.  Code: ") + std::to_string(c.code) + ".\r\n" +
                                           std::strerror(c.code));
        }
        EXPECT_EQ(data.CompanyName, "unchanged");
    }
}

TEST(FileVersion, ARecordWithoutNumbersHasNoFixedInformation)
{
    try {
        FileVersionText(NO_NUMBERS_FIXTURE, false);
        ADD_FAILURE() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "Fixed file info not available");
    }
    TEXEVersionData data;
    GetVersionStrings(NO_NUMBERS_FIXTURE, data);
    EXPECT_EQ(data.CompanyName, "Calvenor");
}

} // namespace
} // namespace morvane
