// The health figures end to end: the built program's --health on a database made
// unhealthy the way sites make them, an unattended rebuild, and --health again.

#include "BackgroundProgram.h"
#include "CycleProgramFixture.h"
#include "cycle/CycleExitStatus.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane::test {
namespace {

// isql-fb as a client application the test drives line by line through a FIFO and
// can kill in the middle of a transaction; its output goes to a file.
class DrivenClient {
public:
    DrivenClient(const std::string& connection, const TemporaryFolder& folder, const std::string& name)
        : fifo_(folder.File(name + ".fifo")), output_(folder.File(name + ".out"))
    {
        if (::mkfifo(fifo_.c_str(), 0600) != 0)
            throw std::runtime_error("mkfifo " + fifo_);
        std::vector<std::string> environment = SysdbaEnvironment();
        process_ = std::make_unique<BackgroundProgram>(
            "/bin/sh", environment,
            std::vector<std::string>{"-c", "exec isql-fb -q '" + connection + "' < '" + fifo_ + "' > '" + output_ +
                                               "' 2>&1"});
        // The shell opens the FIFO for reading once a writer is there; until then
        // an open without waiting finds no reader.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while ((fd_ = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK)) < 0 && errno == ENXIO &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (fd_ < 0)
            throw std::runtime_error("the client did not open " + fifo_);
    }
    ~DrivenClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    DrivenClient(const DrivenClient&) = delete;
    DrivenClient& operator=(const DrivenClient&) = delete;

    // Sends statements, then waits until the client has run them (a marker it selects after them).
    bool Run(const std::string& statements)
    {
        const std::string marker = "fait" + std::to_string(++markers_);
        const std::string text = statements + "\nSELECT '" + marker + "' FROM RDB$DATABASE;\n";
        if (::write(fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (ReadFileText(output_).find(marker) == std::string::npos)
            if (std::chrono::steady_clock::now() > deadline || !process_->Running())
                return false;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return true;
    }
    std::string Output() const { return ReadFileText(output_); }
    // Killed as a crashed client is: nothing ends its transaction but the server.
    void Kill() { process_->Kill(); }

private:
    std::string fifo_;
    std::string output_;
    std::unique_ptr<BackgroundProgram> process_;
    int fd_{-1};
    int markers_{0};
};

class HealthProgramTest : public CycleProgramTest {
protected:
    ToolResult RunHealth() const
    {
        std::vector<std::string> argv{"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"};
        for (const std::string& setting : AutoEnvironment())
            argv.push_back(setting);
        for (const char* word : {"timeout", "120"})
            argv.emplace_back(word);
        argv.push_back(Program());
        argv.emplace_back("--health");
        return RunTool(argv);
    }

    QJsonObject Health(const char* side) const { return RunReport()["health"].toObject()[side].toObject(); }

    TemporaryFolder clients_;
    TemporaryFolder metrics_;
};

TEST_F(HealthProgramTest, ARebuildIsAdvisedForAGapAndLongChainsAndNoLongerOnceItHasRun)
{
    // The automatic sweep off, as on sites where it never ends.
    RunGfix({"-housekeeping", "0"}, database_->ConnectionString());
    WriteJobSettings("HealthMaxTransactionGap=300\nHealthMaxVersionChain=10\nMetricsFolder=" + metrics_.Path() + "\n");
    // A day's work table filled and emptied: the file keeps the pages it grew by.
    database_->Sql("CREATE TABLE TRAVAIL (ID INTEGER, TEXTE VARCHAR(200));\nCOMMIT;\n"
                   "INSERT INTO TRAVAIL SELECT r, RPAD('x', 200, 'y') FROM (SELECT ROW_NUMBER() OVER () r "
                   "FROM RDB$RELATIONS a, RDB$RELATIONS b, RDB$RELATIONS c ROWS 20000);\nCOMMIT;\n"
                   "DELETE FROM TRAVAIL;\nCOMMIT;\n");

    auto snapshot = std::make_unique<DrivenClient>(database_->ConnectionString(), clients_, "snapshot");
    ASSERT_TRUE(snapshot->Run("COMMIT;\nSET TRANSACTION SNAPSHOT;\nSELECT COUNT(*) FROM CLIENTS;"))
        << snapshot->Output();
    // The same rows updated again and again while the snapshot may still read them:
    // every version stays, one chain per row.
    std::string updates;
    for (int i = 0; i < 20; ++i)
        updates += "UPDATE CLIENTS SET NOM = 'version " + std::to_string(i) + "' WHERE ID <= 100;\nCOMMIT;\n";
    database_->Sql(updates);
    {
        // A client that updates rows without an undo log, as a bulk load does, killed
        // before its commit: the server cannot undo it, so its transaction stays dead
        // and holds the oldest interesting transaction back until a sweep or a rebuild.
        DrivenClient killed(database_->ConnectionString(), clients_, "killed");
        ASSERT_TRUE(killed.Run("COMMIT;\nSET TRANSACTION NO AUTO UNDO;\nUPDATE CLIENTS SET NOM = 'perdu' WHERE ID > 400;"))
            << killed.Output();
        killed.Kill();
    }
    // Work goes on behind it.
    std::string commits;
    for (int i = 0; i < 400; ++i)
        commits += "UPDATE CLIENTS SET NOM = NOM WHERE ID = 1;\nCOMMIT;\n";
    database_->Sql(commits);

    const ToolResult before = RunHealth();
    EXPECT_EQ(before.ExitCode, ExitRebuildAdvisable) << before.Output;
    EXPECT_THAT(before.Output, testing::HasSubstr("reconstruction conseillée"));
    EXPECT_THAT(before.Output, testing::HasSubstr("(HealthMaxTransactionGap)"));
    EXPECT_THAT(before.Output, testing::HasSubstr("(HealthMaxVersionChain)"));
    EXPECT_THAT(before.Output, testing::HasSubstr("Table\t\t\tCLIENTS : 500 enr."));
    snapshot.reset(); // the snapshot's client leaves before the night

    const ToolResult cycle = RunAuto();
    ASSERT_EQ(cycle.ExitCode, 0) << cycle.Output << Log();
    const QJsonObject was = Health("before");
    const QJsonObject now = Health("after");
    EXPECT_GT(was["transactionGap"].toInteger(), 300);
    EXPECT_GE(was["longestChain"].toInteger(), 20);
    EXPECT_GE(was["backVersions"].toInteger(), 100);
    EXPECT_LT(now["transactionGap"].toInteger(), 50);
    EXPECT_EQ(now["backVersions"].toInteger(), 0);
    EXPECT_EQ(now["longestChain"].toInteger(), 0);
    const QJsonObject gain = RunReport()["health"].toObject()["gain"].toObject();
    for (const char* key : {"transactionGap", "backVersions", "longestChain", "fileBytes"}) {
        RecordProperty(std::string(key) + "Before", std::to_string(was[key].toInteger()));
        RecordProperty(std::string(key) + "After", std::to_string(now[key].toInteger()));
    }
    EXPECT_EQ(gain["bytes"].toInteger(), was["fileBytes"].toInteger() - now["fileBytes"].toInteger());
    EXPECT_GT(gain["bytes"].toInteger(), 0);
    EXPECT_EQ(gain["backVersions"].toInteger(), was["backVersions"].toInteger());
    EXPECT_THAT(Log(), testing::HasSubstr("santé : écart de transactions"));
    // The gauges a fleet alerts on, after the rebuild.
    std::string metrics;
    for (const auto& entry : std::filesystem::directory_iterator(metrics_.Path()))
        metrics += ReadFileText(entry.path().string());
    const std::string label = "{database=\"" + database_->ConnectionString() + "\",when=\"after\"} ";
    EXPECT_THAT(metrics, testing::HasSubstr("morvane_database_back_versions" + label + "0\n"));
    EXPECT_THAT(metrics, testing::HasSubstr("morvane_database_transaction_gap" + label));
    EXPECT_THAT(metrics, testing::HasSubstr("morvane_last_run_gain_bytes{"));

    const ToolResult after = RunHealth();
    EXPECT_EQ(after.ExitCode, 0) << after.Output;
    EXPECT_THAT(after.Output, testing::HasSubstr("aucune reconstruction nécessaire"));
    // The night's log is still there, with --health's line after it, although the
    // loggers' configuration empties the file at each start (no DoAppend).
    const std::string log = Log();
    const std::size_t night = log.find("Rapport du cycle");
    ASSERT_NE(night, std::string::npos) << log;
    EXPECT_NE(log.find("aucune reconstruction nécessaire", night), std::string::npos) << log;
}

// A night whose test finds nothing to gain is skipped with its own status, before
// anything of the cycle: the file stays the same one.
TEST_F(HealthProgramTest, AHealthyNightIsSkippedWhenTheJobSettingsAskForTheTest)
{
    WriteJobSettings("HealthCheckAuto=1\n");
    struct stat was {};
    ASSERT_EQ(::stat(DatabasePath().c_str(), &was), 0);
    const ToolResult run = RunAuto();
    EXPECT_EQ(run.ExitCode, ExitHealthyNightSkipped) << run.Output << Log();
    struct stat now {};
    ASSERT_EQ(::stat(DatabasePath().c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, was.st_ino) << "the database was rebuilt";
    EXPECT_THAT(Log(), testing::HasSubstr("Nuit sans reconstruction (HealthCheckAuto)"));
    EXPECT_FALSE(Exists(RenamePath()));
}

} // namespace
} // namespace morvane::test
