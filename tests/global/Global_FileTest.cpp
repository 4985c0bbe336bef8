#include "global/Global_File.h"

#include "support/CommandLineGuard.h"
#include "core/Exception.h"
#include "platform/Host.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace morvane {
namespace {

struct PathCase {
    const char* name;
    const char* base;
    const char* expected; // nullptr: the error
};

void ExpectPaths(const std::vector<PathCase>& cases, PathStyle style)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " | " + c.base);
        if (c.expected != nullptr) {
            EXPECT_EQ(GetAbsoluteFileName(c.name, c.base, style), c.expected);
            continue;
        }
        try {
            GetAbsoluteFileName(c.name, c.base, style);
            ADD_FAILURE() << "no error";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), std::string("Erreur GetAbsoluteFileName(") + c.name + "," + c.base + ")");
        }
    }
}

TEST(GetAbsoluteFileName, WindowsStyle)
{
    ExpectPaths(
        {
            {"log.txt", "C:\\App\\Logs", "C:\\App\\Logs\\log.txt"},
            {".\\log.txt", "C:\\App\\Logs", "C:\\App\\Logs\\log.txt"},
            {"..\\log.txt", "C:\\App\\Logs", "C:\\App\\log.txt"},
            {"..\\..\\log.txt", "C:\\App\\Logs", nullptr}, // the second step reaches C:\ .
            {".\\..\\..\\log.txt", "C:\\App\\Logs", nullptr}, // the outer call is named
            {"\\Temp\\log.txt", "C:\\App\\Logs", "C:\\Temp\\log.txt"},
            {"D:\\x.txt", "C:\\App\\Logs", "D:\\x.txt"},
            {"\\\\srv\\share\\x.txt", "C:\\App\\Logs", "\\\\srv\\share\\x.txt"},
            {"", "C:\\App\\Logs", "C:\\App\\Logs\\"},
            {" \tlog.txt \r\n", "C:\\App\\Logs\\", "C:\\App\\Logs\\log.txt"},
            {"log.txt", "C:\\App\\.\\Logs\\..\\Data", "C:\\App\\Data\\log.txt"},
            {"log.txt", "C:/App/Logs", "C:\\App\\Logs\\log.txt"},
            {"sub\\log.txt", "C:\\", "C:\\sub\\log.txt"},
            {"..\\x", "C:\\", nullptr},
            {"\\x", "\\\\srv\\share\\dir", nullptr}, // \\srv\share is no drive letter
            {"x", "\\\\srv\\share\\dir", "\\\\srv\\share\\dir\\x"},
            {"..\\x", "\\\\srv\\share\\dir", "\\\\srv\\share\\x"},
            {"x", "\\\\srv\\share", "\\\\srv\\share\\x"},
            {"x", "\\\\srv", "\\\\srv\\x"},
            {"..\\x", "\\\\srv", nullptr}, // above a server is \\ alone
        },
        PathStyle::Windows);
}

TEST(GetAbsoluteFileName, PosixStyle)
{
    const std::string cwd = std::filesystem::current_path().string();
    const std::string inCwd = cwd + "/log.txt", inSub = cwd + "/sub/log.txt", cwdFolder = cwd + "/";
    ExpectPaths(
        {
            {"log.txt", "/srv/app/logs", "/srv/app/logs/log.txt"},
            {"./log.txt", "/srv/app/logs", "/srv/app/logs/log.txt"},
            {"../log.txt", "/srv/app/logs", "/srv/app/log.txt"},
            {"../../log.txt", "/srv/app/logs", "/srv/log.txt"},
            {"../../../log.txt", "/srv/app/logs", nullptr}, // would reach /
            {"../x", "/", nullptr},
            {"/var/log/x.log", "/srv/app/logs", "/var/log/x.log"},
            {"", "/srv/app/logs/", "/srv/app/logs/"},
            {"  log.txt\t", "/srv/app/logs", "/srv/app/logs/log.txt"},
            {"x", "/srv/./app/../data//", "/srv/data/x"},
            {"log.txt", "", inCwd.c_str()},
            {"log.txt", "sub", inSub.c_str()},
            {"", "", cwdFolder.c_str()},
        },
        PathStyle::Posix);
    EXPECT_EQ(GlobalFile().GetAbsoluteFileName("a.log", "/srv"), "/srv/a.log");
}

// The clock stands at 2024-03-05 10:15:00 and the program is /opt/Outil.exe.
class Macros : public ::testing::Test {
protected:
    static TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
    {
        return EncodeDateTime(y, mo, d, h, mi, s);
    }
    const TDateTime now_ = At(2024, 3, 5, 10, 15, 0);
    ScopedClock clock_{[this] { return now_; }};
};

TEST_F(Macros, ExpandsEachMacroWithItsNextChange)
{
    testing::CommandLineGuard guard({"/opt/Outil.exe", "SITE=Nord", "SUB=?DATE?", "Q=a?b"});
    const std::string host = platform::HostName();
    const struct {
        std::string pattern;
        std::string expected;
        TDateTime nextChange;
    } cases[] = {
        {"app.log", "app.log", NeverChanges},
        {"?DATE?_log.txt", "20240305_log.txt", At(2024, 3, 6)},
        {"?DATEHEURE?.log", "20240305101500.log", At(2024, 3, 5, 10, 15, 1)},
        {"?FORMATDATEyyyymm?.log", "202403.log", At(2024, 4, 1)},
        {"?FORMATDATEyyyymmddhh?", "2024030510", At(2024, 3, 5, 11)},
        {"?FORMATDATEhh'h'nn?", "10h15", At(2024, 3, 5, 10, 16)},
        {"?FORMATDATEyy?", "24", At(2025, 1, 1)},
        {"?FORMATDATEzzz?", "000", At(2024, 3, 5, 10, 15)},
        {"?FORMATDATE-?", "-", NeverChanges},
        {"?DATE?-?FORMATDATEyyyy?", "20240305-2024", At(2025, 1, 1)}, // the last one decides
        {"?FORMATDATEyyyy?-?DATE?", "2024-20240305", At(2024, 3, 6)},
        {"?EXENAME?.log", "Outil.log", NeverChanges},
        {"?PARAMSTR=SITE?.log", "Nord.log", NeverChanges},
        {"?PARAMSTR=site?.log", "Nord.log", NeverChanges},
        {"?PARAMSTR=ABSENT?.log", ".log", NeverChanges},
        {"?PARAMSTR=SUB?", "20240305", At(2024, 3, 6)}, // a value's macro is expanded in turn
        {"?STATION_NAME?.log", host + ".log", NeverChanges},
        {"?STATION_NAME_NOTS?", host, NeverChanges},
        {"/var/log/?EXENAME?/?STATION_NAME?_?DATE?.log", "/var/log/Outil/" + host + "_20240305.log", At(2024, 3, 6)},
        {"?PARAMSTR=" + std::string(290, 'N') + "?", "", NeverChanges}, // the closing ? 300 characters on
        {"?DATE?" + std::string(500, 'x'), "20240305" + std::string(400, 'x'), At(2024, 3, 6)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern.substr(0, 60));
        TDateTime nextChange = 0;
        EXPECT_EQ(GlobalFile().ExpandMacros(c.pattern, nextChange), c.expected);
        EXPECT_NEAR(nextChange, c.nextChange, 1e-9);
        bool dependsOnDate = false;
        EXPECT_EQ(GlobalFile().ExpandMacros(c.pattern, dependsOnDate), c.expected);
        EXPECT_EQ(dependsOnDate, c.nextChange != NeverChanges);
        EXPECT_EQ(GlobalFile().ExpandMacros(c.pattern), c.expected);
    }
}

TEST_F(Macros, AnInvalidTemplateIsNamedWholeInTheError)
{
    // LOOP's value holds its own macro; GROW's grows by a character each pass.
    testing::CommandLineGuard guard(
        {"/opt/Outil.exe", "LOOP=?PARAMSTR=LOOP?", "GROW=a?PARAMSTR=GROW?", "Q=a?b"});
    const std::string cases[] = {
        "a?b.log",
        "?FOO?.log",
        "??",
        "?date?",
        "?DATE",
        "?PARAMSTR=" + std::string(291, 'N') + "?", // the closing ? too far
        "?PARAMSTR=LOOP?",
        "x?PARAMSTR=GROW?",
        "?PARAMSTR=Q?", // the value's lone ? starts an unmatched macro
    };
    for (const auto& pattern : cases) {
        try {
            GlobalFile().ExpandMacros(pattern);
            ADD_FAILURE() << "no error for " << pattern;
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), "FileLogger : Masque de fichier invalide \"" + pattern + "\"");
        }
    }
}

TEST_F(Macros, DateTextSetsTheNextChangeByTheFirstLetterFound)
{
    const struct {
        const char* format;
        TDateTime now;
        TDateTime nextChange; // 0: left as it was
    } cases[] = {
        {"yyyymmddhhnnsszzz", At(2024, 3, 5, 10, 15, 0), At(2024, 3, 5, 10, 15, 0)},
        {"ss", At(2024, 3, 5, 10, 15, 0), At(2024, 3, 5, 10, 15, 1)},
        {"nn", At(2024, 3, 5, 10, 15, 59), At(2024, 3, 5, 10, 16)},
        {"HH", At(2024, 12, 31, 23, 30), At(2025, 1, 1)},
        {"dd", At(2024, 2, 28, 23, 59, 59), At(2024, 2, 29)},
        {"mm", At(2024, 12, 31, 12), At(2025, 1, 1)},
        {"yyyy", At(2024, 12, 31, 12), At(2025, 1, 1)},
        {"'Z'", At(2024, 3, 5, 10, 15), At(2024, 3, 5, 10, 15)}, // quoted letters count too
        {"-", At(2024, 3, 5, 10, 15), 0},
    };
    for (const auto& c : cases) {
        ScopedClock clock([&] { return c.now; });
        TDateTime nextChange = 0;
        DateText(c.format, nextChange);
        EXPECT_NEAR(nextChange, c.nextChange, 1e-9) << c.format;
    }
}

TEST(GlobalFileInstance, IsOneForTheProcess)
{
    EXPECT_EQ(&GlobalFile(), &GlobalFile());
}

TEST(GetClusterSize, IsTheBlockSizeOfTheFileSystemOrZero)
{
    EXPECT_GT(GetClusterSize("/tmp"), 0u);
    EXPECT_EQ(GetClusterSize("/tmp/not-yet-created.fdb"), GetClusterSize("/tmp"));
    EXPECT_EQ(GetClusterSize(""), 0u);
}

} // namespace
} // namespace morvane
