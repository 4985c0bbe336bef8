#pragma once
// A server for the cycle's unit tests. A "database" is a small text file whose
// lines say its name and its state ("name=old", "mode=full"); the fake reads and
// writes those lines where the real server would read a header or shut the database
// down, so a file moved by the cycle carries its state with it. The backup copies
// the file and prints the verbose lines of a real backup; the restore writes a new
// file and prints the lines of a real restore. Faults are scripted: a request that
// fails after some lines, a call that raises, a server that goes away.

#include "core/Exception.h"
#include "core/Text.h"
#include "cycle/CycleServer.h"
#include "session/DatabaseLocation.h"
#include "support/FileText.h"

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace morvane::test {

class FakeCycleServer final : public ICycleServer {
public:
    // The tables and rows the old database holds.
    std::map<std::string, int> tables{{"CLIENTS", 12}, {"FACTURES", 30}};
    // Rows the restore gives back per table, when it differs from what was written.
    std::map<std::string, int> restoredRows;
    // Somebody else attached wherever the cycle looks.
    std::vector<std::string> others;
    // The site's tables for the request to the workstations.
    bool commandTables{true};
    // A transaction that does not end within the grace before the cut.
    bool transactionsRunning{false};
    // The grace the last shutdown after the transactions gave them.
    int graceSeconds{-1};
    // The call (by name) that raises, on its nth time (1: the first).
    std::map<std::string, int> raiseAt;
    // From this many calls on, every call raises: the server went away.
    int goneAfter{-1};
    // The backup or the restore ends with the server's error after this many lines.
    int backupFailsAfter{-1};
    int restoreFailsAfter{-1};
    // The server's aliases: a name and the file it stands for.
    std::map<std::string, std::string> aliases;
    // What the failing restore ends with (the server's lines of its error).
    std::string restoreError{"gbak: ERROR:unsuccessful metadata update"};
    // The old database's catalogue: its indexes by their names and their constraints' names.
    std::map<std::string, CatalogueIndex> catalogue;
    // The database each reading of the catalogue attached, and the file's name there then.
    std::vector<std::string> catalogueReadOn;
    // Readers attached to the file at this path while it is online: an access change
    // needs it to itself there.
    std::string readersAt;
    // Calls (by name) that raise from their nth time on.
    std::map<std::string, int> raiseFrom;
    // Calls that take effect and then answer failure, as the server does under
    // clients that re-attach.
    std::set<std::string> failAfterEffect;
    // Named points for the test: called with the call's name before it runs.
    std::function<void(const std::string&)> beforeCall;

    std::vector<std::string> calls;
    std::string databaseName;

    static void WriteDatabase(const std::string& path, const std::string& name, const std::string& mode = "online",
                              const std::string& access = "read-write")
    {
        WriteFileText(path, "name=" + name + "\nmode=" + mode + "\naccess=" + access + "\n");
    }
    static std::string Field(const std::string& path, const std::string& field)
    {
        if (!std::filesystem::exists(path))
            return "";
        for (const std::string& line : SplitLines(ReadFileText(path)))
            if (line.rfind(field + "=", 0) == 0)
                return line.substr(field.size() + 1);
        return "";
    }

    // As the server: the file it opens, links followed.
    std::string DatabaseFile(const std::string& connection) override
    {
        Call("DatabaseFile");
        const std::string path = PathOf(connection);
        std::error_code error;
        const std::filesystem::path file = std::filesystem::canonical(path, error);
        if (error)
            throw Exception("I/O error during \"open\" operation for file \"" + path + "\"");
        return file.string();
    }

    DatabaseFacts Facts(const std::string& connection, bool forcedDisconnection, RunReportDatabase& settings) override
    {
        Call("Facts");
        DatabaseFacts facts;
        facts.attributes = Attributes(connection);
        facts.owner = "SYSDBA";
        facts.runUser = "SYSDBA";
        facts.forcedDisconnection = forcedDisconnection;
        facts.commandTables = commandTables;
        settings = Settings();
        return facts;
    }
    void SendWorkstationsAway(const std::string& connection, bool, const std::function<void(const std::string&)>& progress) override
    {
        Call("SendWorkstationsAway");
        NameDatabase(connection);
        progress("Demande de déconnexion envoyée");
    }
    std::vector<std::string> ForeignAttachments(const std::string&) override
    {
        Call("ForeignAttachments");
        return others;
    }
    void Shutdown(const std::string& connection, fib::TShutdownMode mode, fib::TShutdownWait wait) override
    {
        Call("Shutdown");
        if (wait == fib::TShutdownWait::Attachments && !others.empty())
            throw Exception("lock time-out on wait transaction");
        SetMode(connection, mode);
        AfterEffect("Shutdown");
    }
    void ShutdownAfterTransactions(const std::string& connection, fib::TShutdownMode mode, int seconds) override
    {
        Call("ShutdownAfterTransactions");
        graceSeconds = seconds;
        if (transactionsRunning)
            throw Exception("database shutdown unsuccessful");
        others.clear();
        SetMode(connection, mode);
    }
    void BringOnline(const std::string& connection, fib::TShutdownMode mode) override
    {
        Call("BringOnline");
        SetMode(connection, mode);
    }
    void BringOnlineFromShutdown(const std::string& connection, fib::TShutdownMode mode) override
    {
        Call("BringOnlineFromShutdown");
        SetMode(connection, mode);
        AfterEffect("BringOnlineFromShutdown");
    }
    std::string Attributes(const std::string& connection) override
    {
        Call("Attributes");
        const std::string path = PathOf(connection);
        const std::string mode = Field(path, "mode");
        const std::string access = Field(path, "access") == "read-only" ? ", read only" : "";
        if (mode == "full")
            return "force write, full shutdown" + access;
        if (mode == "multi")
            return "force write, multi-user maintenance" + access;
        if (mode == "single")
            return "force write, single-user maintenance" + access;
        return "force write" + access;
    }
    std::vector<std::string> HeaderLines(const std::string& connection) override
    {
        Call("HeaderLines");
        return {"Database \"" + PathOf(connection) + "\"", "\tPage size\t\t8192", "\tPage buffers\t\t2048",
                "\tAttributes\t\t" + Attributes(connection)};
    }
    std::chrono::milliseconds WaitUntilUnreached(const std::string&, std::chrono::milliseconds,
                                                 std::chrono::milliseconds) override
    {
        Call("WaitUntilUnreached");
        return std::chrono::milliseconds(0);
    }
    AttachedReading ReadAttached(const std::string& connection, bool withKept) override
    {
        Call("ReadAttached");
        AttachedReading reading;
        reading.others = others;
        if (withKept) {
            reading.settings = Settings();
            reading.settings->readOnly = Field(PathOf(connection), "access") == "read-only";
        }
        return reading;
    }
    std::optional<CatalogueIndex> ReadCatalogueIndex(const std::string& connection, const std::string& name) override
    {
        Call("ReadCatalogueIndex");
        const std::string path = PathOf(connection);
        if (!std::filesystem::exists(path) || Field(path, "mode") != "online")
            throw Exception("I/O error during \"open\" operation for file \"" + path + "\"");
        catalogueReadOn.push_back(path + " " + Field(path, "name"));
        const auto found = catalogue.find(name);
        if (found == catalogue.end())
            return std::nullopt;
        return found->second;
    }
    void WriteSettings(const std::string&, const DatabaseSettings&,
                       const std::function<void(SettingItem, bool)>&) override
    {
        Call("WriteSettings");
    }
    void SetReadOnly(const std::string& connection, bool readOnly) override
    {
        Call("SetReadOnly");
        const std::string path = PathOf(connection);
        const std::string mode = Field(path, "mode");
        if (mode == "full")
            throw Exception("database " + path + " shutdown");
        if (mode == "online" && !readersAt.empty() && PathOf(readersAt) == path)
            throw Exception("lock time-out on wait transaction");
        WriteDatabase(path, Field(path, "name"), mode, readOnly ? "read-only" : "read-write");
        AfterEffect("SetReadOnly");
    }
    std::string Backup(const std::string& connection, const std::string& backupPath,
                       const std::function<void()>& started, const RequestLineSink& onLine,
                       const std::function<void()>& onReply) override
    {
        Call("Backup");
        started();
        const std::string source = PathOf(connection);
        if (!std::filesystem::exists(source))
            return "I/O error during \"open\" operation for file \"" + source + "\"";
        std::vector<std::string> lines{"gbak:readied database " + source + " for backup"};
        for (const auto& [table, rows] : tables)
            lines.push_back("gbak:    writing table " + table);
        for (const auto& [table, rows] : tables) {
            lines.push_back("gbak:    writing data for table " + table);
            lines.push_back("gbak:" + std::to_string(rows) + " records written");
        }
        WriteFileText(backupPath, ReadFileText(source));
        return Emit(lines, backupFailsAfter, onLine, onReply, "gbak: ERROR:Error reading data from the connection.");
    }
    std::string Restore(const std::string& backupPath, const std::string& newConnection, int, int,
                        const std::function<void()>& started, const RequestLineSink& onLine,
                        const std::function<void()>& onReply) override
    {
        Call("Restore");
        started();
        if (!std::filesystem::exists(backupPath))
            return "gbak: ERROR:cannot open backup file " + backupPath;
        std::vector<std::string> lines{"gbak:opened file " + backupPath};
        for (const auto& [table, rows] : tables) {
            lines.push_back("gbak:restoring table " + table);
            const auto restored = restoredRows.find(table);
            lines.push_back("gbak:restoring data for table " + table);
            lines.push_back("gbak:   " + std::to_string(restored == restoredRows.end() ? rows : restored->second) +
                            " records restored");
        }
        WriteDatabase(PathOf(newConnection), "rebuilt");
        return Emit(lines, restoreFailsAfter, onLine, onReply, restoreError);
    }
    RunReportDatabase ReportDatabase(const std::string&, const std::string&) noexcept override { return Settings(); }
    void NameDatabase(const std::string& connection) override { databaseName = connection; }
    std::string DatabaseName() const override { return databaseName; }
    void PauseBeforeRetry() override { calls.push_back("PauseBeforeRetry"); }
    // Each health reading names the database it found at the path and its mode then.
    std::optional<DatabaseHealth> ReadHealth(const std::string& connection, const std::string& localPath,
                                             bool withTables) noexcept override
    {
        const std::string path = PathOf(connection);
        if (!std::filesystem::exists(path))
            return std::nullopt;
        healthReads.push_back(Field(path, "name") + " " + Field(path, "mode") + (withTables ? " tables" : "") +
                              (localPath == path ? "" : " elsewhere"));
        DatabaseHealth health;
        health.nextTransaction = static_cast<std::int64_t>(healthReads.size());
        health.oldestTransaction = 0;
        return health;
    }
    std::vector<std::string> healthReads;

    int CallCount(const std::string& name) const
    {
        int count = 0;
        for (const std::string& call : calls)
            count += call == name ? 1 : 0;
        return count;
    }

private:
    std::string PathOf(const std::string& connection) const
    {
        const std::string path = SplitDatabaseLocation(connection).path;
        const auto alias = aliases.find(path);
        return alias == aliases.end() ? path : alias->second;
    }

    static RunReportDatabase Settings()
    {
        RunReportDatabase settings;
        settings.pageSize = 8192;
        settings.sweepInterval = 20000;
        settings.forcedWrites = true;
        settings.readOnly = false;
        settings.dialect = 3;
        return settings;
    }

    void Call(const std::string& name)
    {
        if (beforeCall)
            beforeCall(name);
        calls.push_back(name);
        if (goneAfter >= 0 && static_cast<int>(calls.size()) > goneAfter)
            throw Exception("Error reading data from the connection.");
        if (const auto at = raiseAt.find(name); at != raiseAt.end() && CallCount(name) == at->second)
            throw Exception(name + " refusé par le serveur");
        if (const auto from = raiseFrom.find(name); from != raiseFrom.end() && CallCount(name) >= from->second)
            throw Exception(name + " refusé par le serveur");
    }

    void AfterEffect(const std::string& name) const
    {
        if (failAfterEffect.count(name) > 0)
            throw Exception(name + ": database shutdown");
    }

    void SetMode(const std::string& connection, fib::TShutdownMode mode) const
    {
        const std::string path = PathOf(connection);
        if (!std::filesystem::exists(path))
            throw Exception("I/O error during \"open\" operation for file \"" + path + "\"");
        const char* text = mode == fib::TShutdownMode::Full     ? "full"
                           : mode == fib::TShutdownMode::Multi  ? "multi"
                           : mode == fib::TShutdownMode::Single ? "single"
                                                                : "online";
        WriteDatabase(path, Field(path, "name"), text, Field(path, "access"));
    }

    // One reply a line, as a server that answers each line at once.
    static std::string Emit(const std::vector<std::string>& lines, int failAfter, const RequestLineSink& onLine,
                            const std::function<void()>& onReply, const std::string& error)
    {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (failAfter >= 0 && static_cast<int>(i) == failAfter)
                return lines.empty() || i == 0 ? error : lines[i - 1] + "\n" + error;
            onLine(lines[i]);
            onReply();
        }
        return failAfter >= 0 && failAfter >= static_cast<int>(lines.size()) ? error : "";
    }
};

} // namespace morvane::test
