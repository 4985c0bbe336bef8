// The cycle's file names, batch command lines and file moves.

#include "cycle/CycleFiles.h"
#include "cycle/RequestErrors.h"
#include "fib/fib.h"

#include "support/TemporaryFolder.h"
#include "support/FileText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace morvane::test {
namespace {

TEST(CycleFiles, BackupFilePathJoinsWithOneSeparator)
{
    struct Case {
        const char* folder;
        const char* path;
    } const cases[] = {
        {"/data/", "/data/Morvane.fbk"},
        {"/data", "/data/Morvane.fbk"},
        {"C:\\CalvenorBD\\", "C:\\CalvenorBD\\Morvane.fbk"},
        {"", "/Morvane.fbk"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BackupFilePath(c.folder, CycleBackupFileName), c.path) << c.folder;
}

// A restore refused for an index key too large for the page size, as the server
// reports it: output lines, then the request's end message.
TEST(CycleFiles, RequestErrorsKeepTheServersLinesInItsOrder)
{
    TRequestErrors errors;
    for (const char* line : {"gbak:creating indexes", "gbak:committing metadata",
                             "gbak:    activating and creating deferred index RDB$PRIMARY1",
                             "gbak:cannot commit index RDB$PRIMARY1\r", "gbak: ERROR:unsuccessful metadata update",
                             "", "gbak:finishing, closing, and going home"})
        errors.Feed(line);
    errors.AddEndMessage("Action cancelled by trigger (2) to preserve data integrity.\r\n"
                         "Cannot deactivate index used by an integrity constraint.\r\n\r\n"
                         "Exiting before completion due to errors.\r\n");

    EXPECT_EQ(errors.Text(), "gbak:cannot commit index RDB$PRIMARY1\n"
                             "gbak: ERROR:unsuccessful metadata update\n"
                             "Action cancelled by trigger (2) to preserve data integrity.\n"
                             "Cannot deactivate index used by an integrity constraint.\n"
                             "Exiting before completion due to errors.");

    TRequestErrors quiet;
    for (const char* line : {"gbak:restoring domain RDB$1", "gbak:finishing, closing, and going home"})
        quiet.Feed(line);
    EXPECT_TRUE(quiet.Empty()) << "output without an error line says nothing";

    // A busy server ended the request before sending its error lines.
    TRequestErrors cut;
    for (const char* line : {"gbak:creating indexes", "gbak:committing metadata", ""})
        cut.Feed(line);
    cut.AddEndMessage("Cannot deactivate index used by an integrity constraint.\r\n");
    EXPECT_EQ(cut.Text(), "gbak:committing metadata\nCannot deactivate index used by an integrity constraint.");

    TRequestErrors silent;
    silent.AddEndMessage("Error reading data from the connection.");
    EXPECT_EQ(silent.Text(), "Error reading data from the connection.");

    // A restore that goes on past an index it cannot build: each index is named
    // before its own errors.
    TRequestErrors several;
    for (const char* line : {"gbak:    activating and creating deferred index UX_A",
                             "gbak:cannot commit index UX_A",
                             "gbak: ERROR:attempt to store duplicate value",
                             "gbak:    activating and creating deferred index IX_B",
                             "gbak:cannot commit index IX_B",
                             "gbak: ERROR:function F is not defined",
                             "gbak:finishing, closing, and going home"})
        several.Feed(line);
    EXPECT_EQ(several.Text(), "gbak:cannot commit index UX_A\n"
                              "gbak: ERROR:attempt to store duplicate value\n"
                              "gbak:cannot commit index IX_B\n"
                              "gbak: ERROR:function F is not defined");
}

// The output query scripted: the server sends some lines, then ends the request with
// an error of its own; every line reaches the reader and the error text keeps the
// last line before the server's message, not the component's composed text.
TEST(CycleFiles, ARequestEndedByTheServerGivesItsLastLineThenItsMessage)
{
    const struct {
        const char* name;
        std::vector<std::string> lines;
        std::string serverMessage; // empty: the request ends well
        std::string expected;
    } cases[] = {
        {"ends well", {"gbak:restoring table T1", "gbak:finishing, closing, and going home"}, "", ""},
        {"cut after some output", {"gbak:restoring table T1", "gbak:committing metadata"},
         "Error reading data from the connection.\r\n",
         "gbak:committing metadata\nError reading data from the connection."},
        {"cut before any output", {}, "Error reading data from the connection.",
         "Error reading data from the connection."},
    };
    for (const auto& c : cases) {
        std::size_t next = 0;
        std::vector<std::string> read;
        const std::string text = ReadRequestOutput(
            [&] { return c.serverMessage.empty() && next == c.lines.size(); },
            [&]() -> std::string {
                if (next < c.lines.size())
                    return c.lines[next++];
                fib::FIBErrorFields fields;
                fields.ServerMessage = c.serverMessage;
                fields.SenderName = "RestoreService1";
                throw fib::EFIBInterBaseError(fields);
            },
            [&](const std::string& line) { read.push_back(line); });
        EXPECT_EQ(text, c.expected) << c.name;
        EXPECT_EQ(read, c.lines) << c.name;
    }
}

// Read in bulk, the replies without a whole line (the server answers every second
// while it builds an index) still reach the progress, after the lines they end.
TEST(CycleFiles, EveryReplyReachesTheProgressAfterItsLines)
{
    const std::vector<std::string> chunks{"gbak:restoring data for table T1\ngbak:   10", "",
                                          "000 records restored\n", ""};
    std::size_t next = 0;
    std::vector<std::string> events;
    const std::string text = ReadRequestOutputInBulk(
        [&] { return next == chunks.size(); }, [&] { return chunks[next++]; },
        [&](const std::string& line) { events.push_back(line); }, [&] { events.push_back("reply"); });
    EXPECT_EQ(text, "");
    EXPECT_EQ(events, (std::vector<std::string>{"gbak:restoring data for table T1 ", "reply", "reply",
                                                "gbak:   10000 records restored ", "reply", "reply"}));
}

TEST(CycleFiles, BatchCommandLineRunsABareNameFromTheProgramFolderAsOneWord)
{
    struct Case {
        const char* batch;
        const char* folder;
        const char* command;
    } const cases[] = {
        {"StopServices.cmd", "/opt/morvane/", "'/opt/morvane/StopServices.cmd'"},
        {"StopServices.cmd", "/opt/morvane", "'/opt/morvane/StopServices.cmd'"},
        {"/usr/local/bin/stop.sh", "/opt/morvane/", "'/usr/local/bin/stop.sh'"},
        {"sub/stop.sh", "/opt/morvane/", "'sub/stop.sh'"}, // relative to the working folder, the program's
        {"a b;rm -rf x.cmd", "/opt/m o/", "'/opt/m o/a b;rm -rf x.cmd'"},
        {"it's.cmd", "/p/", "'/p/it'\\''s.cmd'"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BatchCommandLine(c.batch, c.folder), c.command) << c.batch;
}

TEST(CycleFiles, ServiceErrorLinesAreRecognised)
{
    struct Case {
        const char* line;
        bool error;
    } const cases[] = {
        {"gbak: ERROR:expected backup description record", true},
        {"gbak:Exiting before completion due to errors", true},
        {"gbak:    restoring table CLIENTS", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsServiceErrorLine(c.line), c.error) << c.line;
}

TEST(CycleFiles, MoveNeverReplacesAnExistingFile)
{
    TemporaryFolder folder;
    const std::string database = folder.File("BD.FDB");
    const std::string old = folder.File("BD.FIB.BKP");
    std::ofstream(database) << "database";
    std::ofstream(old) << "old";

    EXPECT_FALSE(MoveFileNoReplace(database, old));
    EXPECT_EQ(ReadFileText(database), "database");
    EXPECT_EQ(ReadFileText(old), "old");

    EXPECT_TRUE(DeleteFileIfExists(old));
    EXPECT_TRUE(DeleteFileIfExists(old)) << "a missing file is no error";
    EXPECT_TRUE(MoveFileNoReplace(database, old));
    EXPECT_FALSE(FileExists(database));
    EXPECT_EQ(ReadFileText(old), "database");

    EXPECT_FALSE(MoveFileNoReplace(database, folder.File("other"))) << "nothing to move";

    EXPECT_TRUE(SameFile(old, folder.File("./BD.FIB.BKP")));
    std::filesystem::create_symlink(old, folder.File("link"));
    EXPECT_TRUE(SameFile(folder.File("link"), old));
    std::ofstream(database) << "database";
    EXPECT_FALSE(SameFile(database, old));
    EXPECT_FALSE(SameFile(folder.File("missing"), folder.File("missing")));
    EXPECT_FALSE(MoveFileNoReplace(old, "")) << "an empty rename path";
}

} // namespace
} // namespace morvane::test
