// Databases as sites name and lay them out, rebuilt unattended by the built program
// against the real server: through a symbolic link, by an alias of the server's
// databases.conf, in each connection form the client library takes, and spread over
// two files. Whatever the name, the file it leads to is the one moved aside, rebuilt
// beside itself and put back, so every name reaches the rebuilt database.

#include "BackgroundProgram.h"
#include "CommittingClientsFixture.h"

#include "cycle/CycleExitStatus.h"
#include "cycle/CycleState.h"
#include "cycle/RunReport.h"
#include "session/JobSettings.h"
#include "support/CommittingClientProcess.h"
#include "support/FileText.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace morvane::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string DatabasesConf = "/etc/firebird/3.0/databases.conf";

// An alias of this test's own in the server's databases.conf, which the server reads
// again without a restart; its line is taken out again however the test ends. Each
// change of the file is made under a lock on it, so tests side by side keep each
// other's lines.
class ServerAlias {
public:
    ServerAlias(std::string name, const std::string& file) : name_(std::move(name))
    {
        added_ = Change([&](std::string& text) {
            if (!text.empty() && text.back() != '\n')
                text += '\n';
            text += name_ + " = " + file + "\n";
        });
    }
    ~ServerAlias()
    {
        if (added_)
            Change([&](std::string& text) {
                std::istringstream lines(text);
                std::string kept;
                for (std::string line; std::getline(lines, line);)
                    if (line.rfind(name_ + " = ", 0) != 0)
                        kept += line + "\n";
                text = kept;
            });
    }
    ServerAlias(const ServerAlias&) = delete;
    ServerAlias& operator=(const ServerAlias&) = delete;

    const std::string& Name() const noexcept { return name_; }
    bool Added() const noexcept { return added_; }

private:
    // Rewritten in place: the file keeps its owner and mode.
    static bool Change(const std::function<void(std::string&)>& change)
    {
        const int fd = ::open(DatabasesConf.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return false;
        ::flock(fd, LOCK_EX);
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(n));
        change(text);
        bool written = ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0;
        for (std::size_t done = 0; written && done < text.size();) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            written = n > 0;
            done += written ? static_cast<std::size_t>(n) : 0;
        }
        ::close(fd);
        return written;
    }

    std::string name_;
    bool added_{false};
};

class SiteLayoutsTest : public CommittingClientsTest {
protected:
    void TearDown() override
    {
        // What the runs remembered of the aliases named.
        for (const std::string& text : named_) {
            std::error_code ignored;
            std::filesystem::remove(RememberedDatabaseFilePath(text), ignored);
        }
        CommittingClientsTest::TearDown();
    }

    // The connection profile names the database by text.
    void NameDatabase(const std::string& text)
    {
        named_.push_back(text);
        WriteProgramFile("Database.ini", "DatabaseName=" + text + "\r\n");
    }

    static ino_t Inode(const std::string& path)
    {
        struct stat status {};
        return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
    }

    // The file that was at the database's path is at the rename path beside it, and a
    // rebuilt one with every row took its place, reached by the name the profile gave.
    void ExpectRebuiltInPlace(ino_t old, const std::string& text) const
    {
        EXPECT_EQ(Inode(RenamePath()), old) << "the old file is at the rename path beside the database's file";
        EXPECT_NE(Inode(DatabasePath()), old) << "the rebuilt database is at the file's own path";
        EXPECT_FALSE(Exists(NewFile()));
        EXPECT_FALSE(Exists(Journal()));
        EXPECT_EQ(SelectCount(*database_, "SELECT COUNT(*) FROM CLIENTS;", text), CycleRows)
            << "the profile's name reaches the rebuilt database";
        EXPECT_EQ(FreshDatabase::HeaderStatisticsOf(RenamePath()).ExitCode, 0) << "the old copy is kept";
    }

    void WaitForCommits(std::size_t count) const
    {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (ReadFileLines(Commits()).size() < count && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(50ms);
    }

    std::vector<std::string> named_;
};

// Another file system than the database's: shared memory is a tmpfs of its own.
struct ShmFolder {
    std::string path = "/dev/shm/morvane-site-" + std::to_string(::getpid());
    ShmFolder() { std::filesystem::create_directories(path); }
    ~ShmFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string File(const std::string& name) const { return path + "/" + name; }
};

// The profile names a link on another file system; a client writes through the
// file's real path all along. The file is moved and put back, never the link: the
// client's commits are all in the rebuilt database, which the link still reaches.
TEST_F(SiteLayoutsTest, ALinkStillReachesTheRebuiltDatabaseThatHoldsWhatClientsOfTheRealPathWrote)
{
    const ShmFolder links;
    const std::string link = links.File("BD.FDB");
    std::filesystem::create_symlink(DatabasePath(), link);
    NameDatabase("127.0.0.1:" + link);
    UseProgramWithTestHooks();
    const ino_t old = Inode(DatabasePath());

    ClientProcess client(database_->ConnectionString(), ClientUser, ClientPassword, 1, Commits());
    WaitForCommits(20);
    // The client never answers the requests to close: two seconds of waiting for it
    // show as much as the real 35.
    const ToolResult result = RunAuto({ShortWaits()});
    const std::size_t afterRun = ReadFileLines(Commits()).size();
    WaitForCommits(afterRun + 10);
    client.Stop();

    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link), DatabasePath()) << "the link is left as it was";
    ExpectRebuiltInPlace(old, "127.0.0.1:" + link);
    EXPECT_EQ(LostCommits(), std::vector<std::string>{}) << Log();
    EXPECT_GE(ReadFileLines(Commits()).size(), afterRun + 10) << "the client writes into the rebuilt database";
    EXPECT_THAT(Log(), HasSubstr("La base 127.0.0.1:" + link + " est le fichier " + DatabasePath()));
}

// The profile names an alias, in the host:alias form and in a URL: the file the
// server says it stands for is rebuilt, and the old one goes beside that file (the
// defaults of the job settings follow the file, not the alias's name).
TEST_F(SiteLayoutsTest, AnAliasReachesTheRebuiltDatabaseAndTheOldOneIsBesideItsFile)
{
    const ServerAlias alias("morvane_site_" + std::to_string(::getpid()), DatabasePath());
    if (!alias.Added())
        GTEST_SKIP() << DatabasesConf << " cannot be changed by this user";
    for (const std::string& text : {"127.0.0.1:" + alias.Name(), "inet://127.0.0.1/" + alias.Name()}) {
        SCOPED_TRACE(text);
        NameDatabase(text);
        const ino_t old = Inode(DatabasePath());

        const ToolResult result = RunAuto();

        EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
        ExpectRebuiltInPlace(old, text);
        bool sectionFound = false;
        const TJobSettings settings = TJobSettingsFile(programFolder_.File("morvane.ini")).Read(text, {}, sectionFound);
        EXPECT_TRUE(sectionFound);
        EXPECT_EQ(settings.renamePath, RenamePath());
        EXPECT_EQ(settings.emplacementBackup, database_->Folder().Path() + "/");
    }
}

// Killed while the file an alias names is away at its rename path: the server finds
// nothing behind the alias any more, and the next start still finds the cycle's
// journal through the file the alias named last time, puts it back, and rebuilds.
TEST_F(SiteLayoutsTest, AfterACrashTheStartFindsTheJournalOfTheFileAnAliasNamed)
{
    const ServerAlias alias("morvane_crash_" + std::to_string(::getpid()), DatabasePath());
    if (!alias.Added())
        GTEST_SKIP() << DatabasesConf << " cannot be changed by this user";
    const std::string text = "127.0.0.1:" + alias.Name();
    NameDatabase(text);
    UseProgramWithTestHooks();
    {
        BackgroundProgram program(Program(), PausingEnvironment("backup-started"));
        ASSERT_TRUE(WaitUntilPaused(program)) << Log();
        program.Kill();
        program.Wait(0s);
    }
    ASSERT_FALSE(Exists(DatabasePath()));
    ASSERT_TRUE(Exists(RenamePath()));
    ASSERT_TRUE(Exists(Journal()));

    const ToolResult result = RunAuto();

    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_THAT(Log(), HasSubstr("[001] Cycle interrompu trouvé (journal " + Journal() + ")"));
    EXPECT_EQ(SelectCount(*database_, "SELECT COUNT(*) FROM CLIENTS;", text), CycleRows);
    EXPECT_EQ(FreshDatabase::HeaderStatisticsOf(RenamePath()).ExitCode, 0);
    EXPECT_FALSE(Exists(Journal()));
}

// Every form of the server's connection runs the cycle, each run on the database the
// previous one rebuilt; those the client library of this machine cannot use are
// refused before anything runs, with their form named.
TEST_F(SiteLayoutsTest, EachConnectionFormRunsTheCycleOrIsRefusedByName)
{
    const struct {
        std::string text;
        int exitStatus;
        std::string logged;
    } cases[] = {
        {"inet://127.0.0.1/" + DatabasePath(), ExitCompleted, ""},
        {"inet://127.0.0.1:3050/" + DatabasePath(), ExitCompleted, ""},
        {"inet4://localhost/" + DatabasePath(), ExitCompleted, ""},
        {"127.0.0.1/3050:" + DatabasePath(), ExitCompleted, ""},
        {"xnet://" + DatabasePath(), ExitPreflightRefused, "sous la forme « xnet:// »"},
        {"INET://127.0.0.1/" + DatabasePath(), ExitPreflightRefused, "sous la forme « INET:// »"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::filesystem::remove(programFolder_.File("morvane.log"));
        std::filesystem::remove(programFolder_.File("batches.txt"));
        NameDatabase(c.text);
        const ino_t old = Inode(DatabasePath());
        const bool copyBefore = Exists(RenamePath());

        const ToolResult result = RunAuto();

        EXPECT_EQ(result.ExitCode, c.exitStatus) << result.Output << Log();
        if (c.exitStatus == ExitCompleted) {
            ExpectRebuiltInPlace(old, c.text);
            continue;
        }
        EXPECT_THAT(Log(), HasSubstr("Vérification avant le cycle: la base " + c.text + " est nommée " + c.logged));
        EXPECT_EQ(Inode(DatabasePath()), old) << "nothing moved";
        EXPECT_EQ(Exists(RenamePath()), copyBefore);
        EXPECT_TRUE(BatchesRun().empty()) << "no batch file ran";
    }
}

// A database that goes on in a second file cannot be restored under another name:
// refused before anything runs, both files as they were, the continuation file named.
TEST_F(SiteLayoutsTest, ADatabaseInTwoFilesIsRefusedBeforeAnythingRuns)
{
    const std::string primary = DatabaseFile("M.FDB");
    const std::string continuation = DatabaseFile("M.FD2");
    const std::string script = programFolder_.File("create.sql");
    WriteFileText(script, "CREATE DATABASE '127.0.0.1:" + primary + "' PAGE_SIZE 4096 FILE '" + continuation +
                              "' STARTING AT PAGE 300;\nCREATE TABLE T (N INTEGER);\nCOMMIT;\n");
    const ToolResult created = RunTool({"isql-fb", "-q", "-i", script}, SysdbaEnvironment());
    ASSERT_EQ(created.ExitCode, 0) << created.Output;
    ASSERT_TRUE(Exists(continuation));
    struct Cleanup {
        std::string primary;
        ~Cleanup()
        {
            std::error_code ignored;
            std::filesystem::remove_all(std::filesystem::path(CycleJournalPath(primary)).parent_path(), ignored);
            std::filesystem::remove_all(std::filesystem::path(CycleLockPath(primary)).parent_path(), ignored);
        }
    } cleanup{primary};
    NameDatabase("127.0.0.1:" + primary);
    const ino_t primaryBefore = Inode(primary);
    const ino_t continuationBefore = Inode(continuation);
    const auto continuationSize = std::filesystem::file_size(continuation);

    const ToolResult result = RunAuto();

    EXPECT_EQ(result.ExitCode, ExitPreflightRefused) << result.Output << Log();
    EXPECT_THAT(Log(), HasSubstr("[001] Morvane : Vérification avant le cycle: la base 127.0.0.1:" + primary +
                                 " est répartie sur plusieurs fichiers (fichiers de continuation : " + continuation +
                                 ")"));
    EXPECT_EQ(Inode(primary), primaryBefore);
    EXPECT_EQ(Inode(continuation), continuationBefore);
    EXPECT_EQ(std::filesystem::file_size(continuation), continuationSize);
    for (const char* left : {"M.FIB.BKP", "M.FDB_Morvane", "M.FD2_Morvane", "Morvane-M.FDB.fbk"})
        EXPECT_FALSE(Exists(DatabaseFile(left))) << left;
    EXPECT_TRUE(BatchesRun().empty()) << "no batch file ran";
    EXPECT_THAT(Log(), Not(HasSubstr("Envoi demande de fermeture"))) << "nobody was sent away";
    // The run's report is that database's own.
    std::vector<std::string> ran;
    const QJsonDocument report = QJsonDocument::fromJson(
        QByteArray::fromStdString(ReadFileText(CycleStateFolder(primary) + "/" + RunReportFileName)));
    for (const QJsonValue& step : report.object()["steps"].toArray())
        if (step["outcome"].toString() != "skipped")
            ran.push_back(step["name"].toString().toStdString() + " " + step["outcome"].toString().toStdString());
    EXPECT_EQ(ran, (std::vector<std::string>{"vérification préalable ok", "vérification de la base refused"}));
    EXPECT_THAT(HeaderValue(FreshDatabase::HeaderStatisticsOf(primary).Output, "Attributes"),
                Not(HasSubstr("shutdown")));
}

} // namespace
} // namespace morvane::test
