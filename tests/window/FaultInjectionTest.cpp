// The cycle under faults, with the built program against the real server: the
// program killed at each of its steps and started again, the server killed in
// the middle of the backup and of the restore, the server's writes failing
// during the restore, and a rename refused. After each, the database is online
// at its path with every row, its old copy was never lost, and the log says
// what happened. The suite ends with a table of each fault, the step it hit and
// what came of it.
//
// It kills the shared server and limits its writes, so it runs alone, as root.

#include "BackgroundProgram.h"
#include "CycleProgramFixture.h"

#include "core/Text.h"
#include "support/FirebirdServerProcess.h"
#include "cycle/CycleExitStatus.h"

#include <chrono>
#include <csignal>
#include <iostream>

namespace morvane::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

struct FaultRow {
    std::string fault;
    std::string step;
    std::string outcome;
};

std::vector<FaultRow>& FaultTable()
{
    static std::vector<FaultRow> rows;
    return rows;
}

// Printed once every case has run, and written where scripts/test.sh prints it
// from.
class FaultTablePrinter : public ::testing::Environment {
public:
    void TearDown() override
    {
        std::ostringstream text;
        text << "| Fault | Step | Outcome |\n|---|---|---|\n";
        for (const FaultRow& row : FaultTable())
            text << "| " << row.fault << " | " << row.step << " | " << row.outcome << " |\n";
        std::cout << "\nFault injection\n\n" << text.str() << std::flush;
        std::ofstream(MORVANE_FAULT_TABLE) << text.str();
    }
};
[[maybe_unused]] ::testing::Environment* const printer = ::testing::AddGlobalTestEnvironment(new FaultTablePrinter);

// A case's row of the table, added when the case ends however it ends.
struct TableRow {
    FaultRow row;
    ~TableRow()
    {
        if (::testing::Test::HasFailure())
            row.outcome = "FAILED (see the test's output); " + row.outcome;
        FaultTable().push_back(std::move(row));
    }
};

// Enough rows for the server to be still at work on them when it is killed or
// its writes fail: some 25 MB, as the filler barely compresses.
constexpr int BulkRows = 100000;
// Below the restored file's size, above anything else the server writes
// meanwhile.
constexpr long FileSizeLimit = 4L * 1024 * 1024;

// A folder nobody, root included, can add to or rename into (chattr +i), until
// the end of its scope.
class ImmutableFolder {
public:
    // lockNow false: the folder is made immutable later (by a batch file); it is
    // unlocked at the end all the same.
    explicit ImmutableFolder(std::string path, bool lockNow = true)
        : path_(std::move(path))
    {
        std::filesystem::create_directories(path_);
        locked_ = !lockNow || RunTool({"chattr", "+i", path_}).ExitCode == 0;
    }
    ~ImmutableFolder() { RunTool({"chattr", "-i", path_}); }
    ImmutableFolder(const ImmutableFolder&) = delete;
    ImmutableFolder& operator=(const ImmutableFolder&) = delete;
    bool Locked() const noexcept { return locked_; }

private:
    std::string path_;
    bool locked_ = false;
};

class FaultInjectionTest : public CycleProgramTest {
protected:
    void AddBulkRows()
    {
        const std::string filler = "UUID_TO_CHAR(GEN_UUID()) || UUID_TO_CHAR(GEN_UUID()) || UUID_TO_CHAR(GEN_UUID()) "
                                   "|| UUID_TO_CHAR(GEN_UUID()) || UUID_TO_CHAR(GEN_UUID())";
        database_->Sql("CREATE TABLE BULK (ID INTEGER NOT NULL PRIMARY KEY, FILLER VARCHAR(200));\nCOMMIT;\n"
                       "SET TERM ^;\n"
                       "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " +
                       std::to_string(BulkRows) + ") DO BEGIN INSERT INTO BULK VALUES (:I, " + filler +
                       "); I = I + 1; END END^\n"
                       "SET TERM ;^\nCOMMIT;\n");
        bulkRows_ = BulkRows;
    }

    static bool WaitForFile(const std::string& path)
    {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!Exists(path) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        return Exists(path);
    }

    // The rows of the old database in another file (the copy at the rename path).
    int RowsAt(const std::string& path) const
    {
        return SelectCount(*database_, "SELECT COUNT(*) FROM CLIENTS;", std::string(ServerHost) + ":" + path);
    }

    // The database at its path, online, with every row, and no journal left.
    void ExpectDatabaseWholeAtItsPath() const
    {
        EXPECT_EQ(Rows(), CycleRows);
        if (bulkRows_ != 0) {
            EXPECT_EQ(Count("SELECT COUNT(*) FROM BULK;"), bulkRows_);
        }
        EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
        EXPECT_FALSE(Exists(Journal())) << "a journal is left only when the database is away from its path";
    }

    // What the table says of the database after the case.
    std::string DatabaseOutcome() const
    {
        std::string rows = std::to_string(Rows()) + " rows";
        if (bulkRows_ != 0)
            rows += " + " + std::to_string(Count("SELECT COUNT(*) FROM BULK;"));
        const bool online = Attributes().find("shutdown") == std::string::npos;
        return std::string("database ") + (online ? "online" : "SHUT DOWN") + " at its path, " + rows;
    }

    // The first level-1 entry of the log that starts with text, its continuation
    // lines joined, shortened for the table.
    std::string LoggedError(const std::string& text) const
    {
        const std::string log = Log();
        const std::size_t at = log.find("[001] " + text);
        if (at == std::string::npos)
            return "nothing logged";
        std::string entry;
        for (const std::string& line : SplitLines(log.substr(at + 6))) {
            if (!entry.empty() && line.rfind("20", 0) == 0)
                break; // the next time-stamped entry
            if (!line.empty())
                entry += (entry.empty() ? "" : " ") + line;
        }
        if (entry.size() > 320)
            entry = entry.substr(0, 317) + "...";
        for (char& c : entry)
            if (c == '|')
                c = '/';
        return "logged \"" + entry + "\"";
    }

    int bulkRows_ = 0;
};

// The program killed at one of its steps, then started again as the scheduler
// would.
struct ProgramKill {
    const char* name;
    const char* stepText;
    const char* step; // where the test build's hook stops it
    const char* jobSettings;
    const char* recovered; // the start-up line that says which file took the path
    const char* whatRecovery;
};

void PrintTo(const ProgramKill& kill, std::ostream* out) { *out << kill.name; }

class ProgramKilledTest : public FaultInjectionTest, public ::testing::WithParamInterface<ProgramKill> {};

TEST_P(ProgramKilledTest, NextStartPutsTheDatabaseBackAndRunsTheCycle)
{
    const ProgramKill& kill = GetParam();
    TableRow row{{"program killed (SIGKILL), started again", kill.stepText, ""}};
    WriteJobSettings(kill.jobSettings);
    int killedStatus = -1;
    {
        BackgroundProgram program(Program(), PausingEnvironment(kill.step));
        ASSERT_TRUE(program.Started());
        ASSERT_TRUE(WaitUntilPaused(program)) << Log();
        program.Kill();
        killedStatus = program.Wait(0s).value_or(-1);
    }
    EXPECT_EQ(killedStatus, 128 + SIGKILL);
    ASSERT_FALSE(Exists(DatabasePath())) << "killed while the database was away from its path";
    ASSERT_TRUE(Exists(RenamePath()) || Exists(NewFile())) << "one of the two files is there to go back";
    ASSERT_TRUE(Exists(Journal()));

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();

    ExpectDatabaseWholeAtItsPath();
    EXPECT_FALSE(Exists(NewFile()));
    EXPECT_EQ(RowsAt(RenamePath()), CycleRows) << "the old copy is at the rename path";
    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr("[001] Cycle interrompu trouvé (journal " + Journal() + ")"));
    EXPECT_THAT(log, HasSubstr(std::string("[001] ") + kill.recovered));
    EXPECT_THAT(log, HasSubstr("[001] Journal du cycle effacé"));

    row.row.outcome = "killed run ended " + std::to_string(killedStatus) +
        ", journal left; next start: " + kill.whatRecovery + ", then the cycle ran, exit " +
        std::to_string(result.ExitCode) + "; " + DatabaseOutcome() + "; old copy at the rename path, " +
        std::to_string(RowsAt(RenamePath())) + " rows";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ProgramKilledTest,
    ::testing::Values(ProgramKill{"AfterTheMoveBeforeTheBackup", "after the move before the backup",
                                  "moved-before-backup:done", "",
                                  "Ancienne base remise à sa place: ", "old file moved back"},
                      ProgramKill{"DuringTheBackup", "during the backup", "backup-started", "",
                                  "Ancienne base remise à sa place: ", "old file moved back"},
                      ProgramKill{"DuringTheRestore", "during the restore", "restore-started", "",
                                  "Ancienne base remise à sa place: ", "old file moved back"},
                      ProgramKill{"DuringTheVerification", "during the verification", "verification-started", "",
                                  "Ancienne base remise à sa place: ", "old file moved back"},
                      // The restore verified, killed before the new file went in: the
                      // verified new file takes the path.
                      ProgramKill{"AfterTheVerifiedRestore", "after the verified restore, before the swap",
                                  "restore-verified:done", "BeforeBackup=0\nAfterRestore=1\n",
                                  "Nouvelle base vérifiée mise à sa place: ", "verified new file moved in"}),
    [](const ::testing::TestParamInfo<ProgramKill>& param) { return std::string(param.param.name); });

// The server killed while it works on one of the cycle's two requests; its
// guardian starts it again and the run goes on.
struct ServerKill {
    const char* name;
    const char* stepText;
    const char* step;
    const char* fileWritten; // in the database's folder; "" for the new file
    int exitStatus;
    const char* error;
    const char* failure;
};

void PrintTo(const ServerKill& kill, std::ostream* out) { *out << kill.name; }

class ServerKilledTest : public FaultInjectionTest, public ::testing::WithParamInterface<ServerKill> {};

TEST_P(ServerKilledTest, RunEndsNonZeroWithTheDatabaseOnlineAtItsPath)
{
    const ServerKill& kill = GetParam();
    TableRow row{{"server killed (SIGKILL), restarted by its guardian", kill.stepText, ""}};
    AddBulkRows();
    const std::string written = *kill.fileWritten != '\0' ? DatabaseFile(kill.fileWritten) : NewFile();
    std::optional<int> status;
    std::uintmax_t writtenAtKill = 0;
    {
        BackgroundProgram program(Program(), PausingEnvironment(kill.step));
        ASSERT_TRUE(program.Started());
        ASSERT_TRUE(WaitUntilPaused(program)) << Log();
        ASSERT_TRUE(WaitForFile(written)) << "the server began to write " << written;
        std::error_code error;
        writtenAtKill = std::filesystem::file_size(written, error);
        const std::string restart = KillServerAndWaitForRestart();
        ASSERT_EQ(restart, "");
        std::filesystem::remove(PauseMarker());
        status = program.Wait(300s);
    }
    ASSERT_TRUE(status.has_value()) << "the run did not end" << Log();
    EXPECT_EQ(*status, kill.exitStatus) << Log();

    ExpectDatabaseWholeAtItsPath();
    EXPECT_FALSE(Exists(RenamePath())) << "the file moved before the backup went back";
    EXPECT_FALSE(Exists(NewFile()));
    EXPECT_FALSE(Exists(DatabaseFile("Morvane.fbk")));
    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr(std::string("[001] ") + kill.error));
    EXPECT_THAT(log, HasSubstr(std::string("[001] ") + kill.failure));
    EXPECT_EQ(RunReport()["exitStatus"].toInt(-1), kill.exitStatus);
    EXPECT_EQ(BatchesRun().size(), 3u) << "the site's services are started again";

    row.row.outcome = std::filesystem::path(written).filename().string() + " at " + std::to_string(writtenAtKill) +
        " bytes when killed; exit " + std::to_string(*status) + "; " + LoggedError(kill.error) + "; " +
        DatabaseOutcome() + "; nothing left at the rename path";
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ServerKilledTest,
    ::testing::Values(
        ServerKill{"DuringTheBackup", "during the backup", "backup-started", "Morvane.fbk", ExitBackupFailed,
                   "Erreur Backup: ", "Le backup a échoué: pas de restore, la base de données reste à sa place."},
        ServerKill{
            "DuringTheRestore", "during the restore", "restore-started", "", ExitRestoreFailed, "Erreur Restore: ",
            "Le restore a échoué: la nouvelle base n'est pas mise en place, la base de données reste à sa place."}),
    [](const ::testing::TestParamInfo<ServerKill>& param) { return std::string(param.param.name); });

TEST_F(FaultInjectionTest, ServerWritesFailingDuringTheRestoreLeaveTheDatabaseOnline)
{
    TableRow row{{"server's writes fail (file-size limit of " + std::to_string(FileSizeLimit / 1024 / 1024) +
                      " MB on the server process)",
                  "during the restore", ""}};
    ASSERT_TRUE(ServerIgnoresFileSizeSignal())
        << "the server does not ignore SIGXFSZ: stop it and start it with scripts/start-firebird.sh";
    AddBulkRows();
    const pid_t server = FirebirdServerPid();
    // The limit comes after the backup and goes with the batch file after the
    // restore.
    ServerFileSizeLimitLifter lifter;
    const auto command = [server](const std::string& limit) {
        std::string line;
        for (const std::string& word : ServerFileSizeLimitCommand(server, limit))
            line += word + " ";
        return line + "\n";
    };
    WriteBatchFile("MidProcess.cmd", command(std::to_string(FileSizeLimit)));
    WriteBatchFile("StartServices.cmd", command("unlimited"));

    const ToolResult result = RunAuto();
    ServerFileSizeLimitLifter::Lift();
    EXPECT_EQ(result.ExitCode, ExitRestoreFailed) << result.Output << Log();
    EXPECT_EQ(FirebirdServerPid(), server) << "the server's writes failed; the server itself went on";

    ExpectDatabaseWholeAtItsPath();
    EXPECT_FALSE(Exists(RenamePath()));
    EXPECT_FALSE(Exists(NewFile())) << "the partial new file is removed";
    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr("I/O error during \"write\" operation")) << "the server's writes failed";
    EXPECT_THAT(log, HasSubstr("[001] Erreur Restore: "));
    EXPECT_THAT(log,
                HasSubstr("[001] Le restore a échoué: la nouvelle base n'est pas mise en place, la base de données "
                          "reste à sa place."));

    row.row.outcome = "exit " + std::to_string(result.ExitCode) + "; " + LoggedError("Erreur Restore: ") + "; " +
        DatabaseOutcome() + "; partial new file removed";
}

// A rename refused by the file system: the rename path is in a folder made
// immutable, before the run or by the batch file before the backup.
struct RefusedRename {
    const char* name;
    const char* step;
    bool lockedByBatch; // false: locked before the run
    int exitStatus;
    const char* error;
};

void PrintTo(const RefusedRename& rename, std::ostream* out) { *out << rename.name; }

class RenameRefusedTest : public FaultInjectionTest, public ::testing::WithParamInterface<RefusedRename> {};

TEST_P(RenameRefusedTest, RunEndsNonZeroWithTheDatabaseOnlineAtItsPath)
{
    const RefusedRename& rename = GetParam();
    TableRow row{{"rename refused (rename path in an immutable folder)", rename.step, ""}};
    const std::string lockedFolder = DatabaseFile("verrouillé");
    const std::string lockedRenamePath = lockedFolder + "/BD.FIB.BKP";
    ImmutableFolder locked(lockedFolder, !rename.lockedByBatch);
    ASSERT_TRUE(locked.Locked()) << "chattr +i needs root and a file system that has the flag";
    if (rename.lockedByBatch)
        WriteBatchFile("StopServices.cmd", "chattr +i '" + lockedFolder + "'\n");
    WriteJobSettings("RenamePath=" + lockedRenamePath + "\n");

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, rename.exitStatus) << result.Output << Log();

    ExpectDatabaseWholeAtItsPath();
    EXPECT_FALSE(Exists(lockedRenamePath));
    EXPECT_FALSE(Exists(NewFile()));
    EXPECT_THAT(Log(), HasSubstr(std::string("[001] ") + rename.error));
    // The site's services are started again once they were stopped.
    EXPECT_EQ(BatchesRun().size(), rename.lockedByBatch ? 2u : 0u);

    row.row.outcome = "exit " + std::to_string(result.ExitCode) + "; " + LoggedError(rename.error) + "; " +
        DatabaseOutcome() + (rename.lockedByBatch ? "; services started again" : "; no batch file ran");
}

INSTANTIATE_TEST_SUITE_P(
    Renames, RenameRefusedTest,
    ::testing::Values(RefusedRename{"BeforeTheRun", "the check before the cycle", false, ExitPreflightRefused,
                                    "Morvane : Vérification avant le cycle: le dossier du chemin de renommage"},
                      RefusedRename{"AfterThePreflight", "the move before the backup", true, ExitBackupFailed,
                                    "Morvane : Rename avant backup a échoué:"}),
    [](const ::testing::TestParamInfo<RefusedRename>& param) { return std::string(param.param.name); });

} // namespace
} // namespace morvane::test
