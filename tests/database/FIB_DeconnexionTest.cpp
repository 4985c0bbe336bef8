#include "database/FIB_Deconnexion.h"

#include "core/MessagePump.h"
#include "logger/uApplicationLogger.h"
#include "support/TemporaryFolder.h"

#include "support/CountingPump.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sys/stat.h>

using namespace morvane;
using morvane::test::TemporaryFolder;

namespace {
using morvane::test::CountingPump;


void WriteExecutable(const std::string& path, const std::string& text)
{
    {
        std::ofstream file(path);
        file << text;
    }
    ::chmod(path.c_str(), 0755);
}

// Keeps every line the application logger hands it.
class RecordingLogger : public TLogger {
public:
    RecordingLogger() : TLogger(255, 0, nullptr, false, DefaultLogDateTimeFormat, false) {}
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

protected:
    void DoLog(const std::string& line) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// A stand-in for gfix that prints each argument it received on its own line.
const char* const ArgumentEcho = "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\n";

} // namespace

TEST(UserListText, WritesNamesCommaSeparatedQuotingThoseThatNeedIt)
{
    const struct {
        TStringList users;
        std::string expected;
    } cases[] = {
        {{}, ""},
        {{"SYSDBA"}, "SYSDBA"},
        {{"SYSDBA", "PAUL", "SYSDBA"}, "SYSDBA,PAUL,SYSDBA"},
        {{"JEAN PAUL", "A,B"}, "\"JEAN PAUL\",\"A,B\""},
        {{"SAY\"HI\""}, "\"SAY\"\"HI\"\"\""},
        {{"TAB\tNAME", "NEW\nLINE", ""}, "\"TAB\tNAME\",\"NEW\nLINE\","},
        {{"Élodie"}, "Élodie"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UserListText(c.users), c.expected) << c.expected;
}

TEST(WaitSeconds, PumpsMessagesFourTimesASecondAndNothingForNoTime)
{
    CountingPump pump;
    WaitSeconds(0);
    WaitSeconds(-3);
    EXPECT_EQ(pump.calls, 0);
    WaitSeconds(1);
    EXPECT_EQ(pump.calls, 4);
}

TEST(WaitSeconds, AnInstalledWaitReplacesTheSleepUntilItsScopeEnds)
{
    CountingPump pump;
    std::vector<int> waits;
    {
        ScopedWaitFunction scoped([&](int seconds) { waits.push_back(seconds); });
        WaitSeconds(35);
        WaitSeconds(5);
        {
            ScopedWaitFunction inner([&](int seconds) { waits.push_back(-seconds); });
            WaitSeconds(1);
        }
        WaitSeconds(1);
    }
    EXPECT_EQ(waits, (std::vector<int>{35, 5, -1, 1}));
    EXPECT_EQ(pump.calls, 0);
    EXPECT_FALSE(SetWaitFunction(nullptr)) << "the real wait is back";
}

TEST(ServerBinFolder, JoinsRootAndBinWithOneSeparator)
{
    EXPECT_EQ(ServerBinFolder("/usr/lib/x86_64-linux-gnu/firebird/3.0"), "/usr/lib/x86_64-linux-gnu/firebird/3.0/bin");
    EXPECT_EQ(ServerBinFolder("/opt/firebird/"), "/opt/firebird/bin");
    EXPECT_EQ(ServerBinFolder("C:\\Program Files\\Firebird\\"), "C:\\Program Files\\Firebird\\bin");
    EXPECT_EQ(ServerBinFolder(""), "bin");
}

TEST(GfixProgram, TakesTheBinFoldersGfixAndElseTheOneOnThePath)
{
    TemporaryFolder folder;
    const std::string withGfix = folder.File("with");
    const std::string withFolderNamedGfix = folder.File("folder");
    std::filesystem::create_directories(withGfix);
    std::filesystem::create_directories(withFolderNamedGfix + "/gfix");
    WriteExecutable(withGfix + "/gfix", ArgumentEcho);

    EXPECT_EQ(GfixProgram(withGfix), withGfix + "/gfix");
    EXPECT_EQ(GfixProgram(withGfix + "/"), withGfix + "/gfix");
    EXPECT_EQ(GfixProgram(folder.File("missing")), "gfix");
    EXPECT_EQ(GfixProgram(withFolderNamedGfix), "gfix");
    EXPECT_EQ(GfixProgram(""), "gfix");
}

TEST(GfixShutdownCommandLine, NamesTheDatabaseAndTheShutdownSwitches)
{
    EXPECT_EQ(GfixShutdownCommandLine("/opt/fb/bin/gfix", "127.0.0.1:/data/x.fdb", "/tmp/morvane-ab12"),
              "'/opt/fb/bin/gfix' -user sysdba -fetch_password '/tmp/morvane-ab12' '127.0.0.1:/data/x.fdb' -shut "
              "single -force 0");
}

// The database name and the folder come from files an operator writes: whatever
// they hold reaches gfix as one argument each, and the shell runs none of it.
TEST(GfixShutdown, PassesHostileNamesAsSingleArgumentsAndRunsNothing)
{
    TemporaryFolder folder;
    const std::string marker = folder.File("ran");
    const std::string bin = folder.File("it's $(touch " + marker + ") bin");
    std::filesystem::create_directories(bin);
    WriteExecutable(bin + "/gfix", ArgumentEcho);
    const std::string database = "127.0.0.1:/data/a 'b\" $(touch " + marker + ") `touch " + marker + "`;x.fdb";

    std::vector<int> waits;
    ScopedWaitFunction scoped([&](int seconds) { waits.push_back(seconds); });
    TStringList lines{"before"};
    const std::string output = GfixShutdown(&lines, bin, database);

    // The password reaches gfix in a file of the program's own, gone once gfix ended.
    const std::string head = "[-user]\n[sysdba]\n[-fetch_password]\n[";
    const std::string tail = "]\n[" + database + "]\n[-shut]\n[single]\n[-force]\n[0]\n";
    ASSERT_EQ(output.substr(0, head.size()), head) << output;
    ASSERT_GT(output.size(), head.size() + tail.size());
    EXPECT_EQ(output.substr(output.size() - tail.size()), tail) << output;
    const std::string passwordFile = output.substr(head.size(), output.size() - head.size() - tail.size());
    EXPECT_FALSE(std::filesystem::exists(passwordFile)) << passwordFile;
    EXPECT_EQ(output.find("plumtavern"), std::string::npos);
    EXPECT_EQ(lines[0], "before");
    std::string appended;
    for (std::size_t i = 1; i < lines.Count(); ++i)
        appended += lines[i];
    EXPECT_EQ(appended, output);
    EXPECT_FALSE(std::filesystem::exists(marker));
    EXPECT_EQ(waits, (std::vector<int>{5}));
}

// The closing log line carries gfix's output, then the whole list the caller gave
// (its earlier lines included), every entry ended by CR LF, all on one line.
TEST(GfixShutdown, LogsTheOutputAndTheWholeLineList)
{
    TemporaryFolder folder;
    const std::string bin = folder.File("bin");
    std::filesystem::create_directories(bin);
    WriteExecutable(bin + "/gfix", "#!/bin/sh\nprintf 'shut\\ndown\\n'\n");
    ScopedWaitFunction scoped([](int) {});
    auto* logger = static_cast<RecordingLogger*>(AppLogger().AddLogger(std::make_unique<RecordingLogger>()));
    struct DropLogger {
        ~DropLogger() { DestroyAppLogger(); }
    } dropLogger;

    TStringList lines{"Users connectés : SYSDBA,PAUL", "Réponses reçues : 0"};
    EXPECT_EQ(GfixShutdown(&lines, bin, "x.fdb"), "shut\ndown\n");
    ASSERT_TRUE(AppLogger().Thread().WaitUntilDrained(std::chrono::seconds(5)));

    EXPECT_EQ(logger->Lines(), (std::vector<std::string>{
                                   "Gfix shutdown",
                                   "Gfix shutdown terminé : shut\\ndown\\n => Users connectés : SYSDBA,PAUL\\r\\n"
                                   "Réponses reçues : 0\\r\\nshut\\ndown\\n\\r\\n",
                               }));
}

TEST(GfixShutdown, RunsInTheBinFolderAndWithoutALineList)
{
    TemporaryFolder folder;
    const std::string bin = folder.File("bin");
    std::filesystem::create_directories(bin);
    WriteExecutable(bin + "/gfix", "#!/bin/sh\npwd\n");
    ScopedWaitFunction scoped([](int) {});

    EXPECT_EQ(GfixShutdown(nullptr, bin, "x.fdb"), std::filesystem::canonical(bin).string() + "\n");
}

// Debian keeps the tools in /usr/bin, not below the server's root: the real gfix
// is found on the PATH and complains about the database, which is no error here.
TEST(GfixShutdown, FallsBackToTheGfixOnThePathAndReportsItsComplaint)
{
    if (std::system("command -v gfix >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gfix is not installed";
    TemporaryFolder folder;
    const std::string marker = folder.File("ran");
    ScopedWaitFunction scoped([](int) {});
    TStringList lines;
    const std::string output =
        GfixShutdown(&lines, folder.File("no-such-root/bin"), folder.File("none $(touch " + marker + ").fdb"));
    EXPECT_FALSE(output.empty());
    EXPECT_FALSE(lines.Empty());
    EXPECT_FALSE(std::filesystem::exists(marker));
}
