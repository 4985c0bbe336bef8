// The cycle that keeps the database readable, run unattended by the built program
// against the real server with readers (an ordinary user querying every 20 ms and
// attaching again when cut off) and a writer: readers go on reading through the
// backup and the restore, cut only for the switch and the swap; every commit the
// writer was told of is in the rebuilt database, its writes in between refused; the
// database ends online at its path with the rebuilt file, read-write, or read-only
// when it was so before.

#include "BackgroundProgram.h"
#include "CommittingClientsFixture.h"

#include "cycle/CycleExitStatus.h"
#include "support/CommittingClientProcess.h"
#include "support/FileText.h"

#include <sys/stat.h>

#include <iostream>

namespace morvane::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

// What a reader noted (ReadingClient.cpp).
struct ReaderReport {
    long reads{0};
    long longestGapMs{-1};
    std::vector<long> gaps;
    std::vector<std::string> errors;
};

ReaderReport ReadReaderReport(const std::string& path)
{
    ReaderReport report;
    for (const std::string& line : ReadFileLines(path)) {
        if (line.rfind("reads ", 0) == 0)
            report.reads = std::stol(line.substr(6));
        else if (line.rfind("longest-gap-ms ", 0) == 0)
            report.longestGapMs = std::stol(line.substr(15));
        else if (line.rfind("gap ", 0) == 0)
            report.gaps.push_back(std::stol(line.substr(4)));
        else if (line.rfind("error ", 0) == 0)
            report.errors.push_back(line.substr(6));
    }
    return report;
}

ino_t Inode(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

class ReadersTest : public CommittingClientsTest {
protected:
    void SetUp() override
    {
        CommittingClientsTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        // Rows enough for a backup and a restore that take a while; no command
        // tables: the readers are cut, not asked to leave.
        database_->Sql("DROP TABLE Glb5020Resultat;\nDROP TABLE Glb5020;\nDROP GENERATOR GEN_ID_GLB5020;\nCOMMIT;\n"
                       "CREATE TABLE LIGNES (ID INTEGER NOT NULL PRIMARY KEY, TEXTE VARCHAR(200));\nCOMMIT;\n"
                       "INSERT INTO LIGNES SELECT r, LPAD('', 200, 'x') FROM (SELECT ROW_NUMBER() OVER () r "
                       "FROM RDB$RELATIONS a, RDB$RELATIONS b, RDB$RELATIONS c ROWS 150000);\nCOMMIT;\n");
        WriteJobSettings("ForcerDeconnexionClient=1\nGarderLectureClients=1\n");
    }

    std::string ReaderFile(int reader) const { return programFolder_.File("reader" + std::to_string(reader) + ".txt"); }
    std::string Refusals() const { return programFolder_.File("refusals.txt"); }

    void StartReaders()
    {
        for (int reader = 1; reader <= 2; ++reader)
            clients_.push_back(std::make_unique<ClientProcess>(
                ClientUser, ClientPassword,
                std::vector<std::string>{READING_CLIENT_PATH, database_->ConnectionString(), ReaderFile(reader)}));
    }
    void StartWriter()
    {
        clients_.push_back(std::make_unique<ClientProcess>(database_->ConnectionString(), ClientUser, ClientPassword,
                                                           1, Commits(), Refusals()));
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (ReadFileLines(Commits()).size() < 20 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(50ms);
    }
    // The readers write what they saw when they are stopped.
    std::vector<ReaderReport> StopClients()
    {
        clients_.clear();
        return {ReadReaderReport(ReaderFile(1)), ReadReaderReport(ReaderFile(2))};
    }

    // What the readers saw, against the run's two figures, in the test's output.
    void Show(const std::vector<ReaderReport>& readers) const
    {
        const QJsonObject report = RunReport();
        std::cout << "read downtime " << report["readDowntimeMs"].toInt() << " ms, write downtime "
                  << report["downtimeMs"].toInt() << " ms" << std::endl;
        for (std::size_t i = 0; i < readers.size(); ++i) {
            std::cout << "reader " << i + 1 << ": " << readers[i].reads << " reads, longest gap "
                      << readers[i].longestGapMs << " ms, gaps over 100 ms:";
            for (long gap : readers[i].gaps)
                std::cout << " " << gap;
            std::cout << std::endl;
            for (const std::string& error : readers[i].errors)
                std::cout << "  error: " << error << std::endl;
        }
        for (const std::string& line : ReadFileLines(programFolder_.File("morvane.log")))
            for (const char* shown : {"Base en lecture seule", "arrêtée pour le swap", "new-file-moved", "Rapport du cycle"})
                if (line.find(shown) != std::string::npos)
                    std::cout << line << std::endl;
    }

    // switched: the cycle switched the database to read-only (it was read-write).
    void ExpectReadersReadThroughTheRebuild(const std::vector<ReaderReport>& readers, bool switched) const
    {
        const QJsonObject report = RunReport();
        const long readDowntime = report["readDowntimeMs"].toInt();
        const long writeDowntime = report["downtimeMs"].toInt();
        // A database read-only before is cut only for the swap: both figures are that cut.
        if (switched) {
            EXPECT_LT(readDowntime, writeDowntime) << "readers are cut for less than the rebuild";
        } else {
            EXPECT_EQ(readDowntime, writeDowntime);
        }
        for (const ReaderReport& reader : readers) {
            EXPECT_GT(reader.reads, 0);
            // Never cut for the whole backup and restore: its longest outage is one of
            // the cuts, the reader's own re-attachment included (the gaps are printed).
            if (switched) {
                EXPECT_LT(reader.longestGapMs, writeDowntime);
            }
            for (const std::string& error : reader.errors)
                EXPECT_TRUE(error.find("shutdown") != std::string::npos ||
                            error.find("connection") != std::string::npos ||
                            error.find("lock time-out") != std::string::npos)
                    << error;
        }
    }

    std::vector<std::unique_ptr<ClientProcess>> clients_;
};

TEST_F(ReadersTest, ReadersReadThroughTheRebuildAndEveryCommitIsKept)
{
    const ino_t before = Inode(DatabasePath());
    StartReaders();
    StartWriter();

    const ToolResult result = RunAuto();
    // The writer finds the rebuilt database open to writes again.
    const std::size_t afterRun = ReadFileLines(Commits()).size();
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (ReadFileLines(Commits()).size() < afterRun + 10 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    const std::vector<ReaderReport> readers = StopClients();
    Show(readers);
    std::cout << "writes refused as read-only: " << ReadFileLines(Refusals()).size() << std::endl;

    ASSERT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_EQ(LostCommits(), std::vector<std::string>{}) << Log();
    EXPECT_FALSE(ReadFileLines(Refusals()).empty()) << "the writer wrote while the database was read-only";
    EXPECT_GE(ReadFileLines(Commits()).size(), afterRun + 10) << "and writes into the rebuilt one";
    ExpectReadersReadThroughTheRebuild(readers, true);
    // The rebuilt file at the path, online and read-write; the old one kept.
    EXPECT_NE(Inode(DatabasePath()), before);
    EXPECT_EQ(Inode(RenamePath()), before);
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
    EXPECT_THAT(Attributes(), Not(HasSubstr("maintenance")));
    EXPECT_THAT(Attributes(), Not(HasSubstr("read only")));
    EXPECT_THAT(HeaderValue(FreshDatabase::HeaderStatisticsOf(RenamePath()).Output, "Attributes"),
                Not(HasSubstr("read only")))
        << "the old copy is as the database was";
    EXPECT_FALSE(Exists(Journal()));
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_THAT(Log(), HasSubstr("La base reste à sa place et lisible jusqu'au swap"));
    EXPECT_THAT(Log(), HasSubstr(", base indisponible en écriture "));
}

TEST_F(ReadersTest, ADatabaseReadOnlyBeforeIsReadOnlyAfter)
{
    RunGfix({"-mode", "read_only"}, database_->ConnectionString());
    const ino_t before = Inode(DatabasePath());
    StartReaders();
    std::this_thread::sleep_for(500ms);

    const ToolResult result = RunAuto();
    const std::vector<ReaderReport> readers = StopClients();
    Show(readers);

    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    ExpectReadersReadThroughTheRebuild(readers, false);
    EXPECT_NE(Inode(DatabasePath()), before);
    EXPECT_THAT(Attributes(), HasSubstr("read only"));
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
    EXPECT_THAT(Attributes(), Not(HasSubstr("maintenance")));
    EXPECT_EQ(Rows(), CycleRows);
    // Writable again for the fixture's clean-up.
    RunGfix({"-mode", "read_write"}, database_->ConnectionString());
}

// Killed while the database is read-only for its readers: the next start puts it
// back online and read-write at its path, cutting the re-attaching readers once more,
// before its own cycle runs.
TEST_F(ReadersTest, ARunKilledWhileTheDatabaseIsReadOnlyLeavesItToTheNextStart)
{
    StartReaders();
    BackgroundProgram killed(Program(), PausingEnvironment("before-backup-check"));
    ASSERT_TRUE(WaitUntilPaused(killed)) << Log();
    EXPECT_THAT(Attributes(), HasSubstr("read only"));
    killed.Kill();
    std::filesystem::remove(PauseMarker());

    const ToolResult result = RunAuto();
    const std::vector<ReaderReport> readers = StopClients();

    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_THAT(Log(), HasSubstr("Base remise en ligne en lecture-écriture: " + DatabasePath()));
    // Read-write when its cycle began: it ends so.
    EXPECT_THAT(Attributes(), Not(HasSubstr("read only")));
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
    EXPECT_FALSE(Exists(Journal()));
    EXPECT_EQ(Rows(), CycleRows);
    for (const ReaderReport& reader : readers)
        EXPECT_GT(reader.reads, 0);
}

} // namespace
} // namespace morvane::test
