#pragma once
// What the cycle asks of the Firebird server, in one interface: the database's
// checks, sending the workstations away, shutting it down and bringing it back,
// looking for other attachments, the settings write, the backup and the restore
// with their output lines, and the readings of the verification. The program's
// implementation works over the client library; the cycle's unit tests drive the
// steps through a fake of it. A connection is a DB File text, in any of the forms of
// DatabaseLocation.h.

#include "cycle/CycleRequest.h"
#include "cycle/CycleView.h"
#include "cycle/DatabaseChecks.h"
#include "cycle/RestoreFailure.h"
#include "cycle/RunReport.h"
#include "fib/IB_ServicesBuffers.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

// One output line of a backup or a restore, as the server sends it.
using RequestLineSink = std::function<void(const std::string& line)>;

// One attachment of a database the cycle itself opened: who else is attached and,
// when asked for, what the rebuilt database must keep of it.
struct AttachedReading {
    std::vector<std::string> others;
    std::optional<RunReportDatabase> settings; // the header settings an attachment reads
    std::vector<std::string> inactiveIndexes;  // with the settings: the user indexes kept inactive
};

class ICycleServer {
public:
    virtual ~ICycleServer() = default;

    // The file the server opens for connection (an alias, a link or any other name of
    // it), as the server names it; raises when the server cannot tell (no file there).
    virtual std::string DatabaseFile(const std::string& connection) = 0;
    // What decides whether the database can be rebuilt as it is, and its settings for
    // the run report (all but the file's size).
    virtual DatabaseFacts Facts(const std::string& connection, bool forcedDisconnection,
                                RunReportDatabase& settings) = 0;
    // The site's command tables ask the workstations to leave; every progress line
    // goes to progress. Raises when a refusal stops it.
    virtual void SendWorkstationsAway(const std::string& connection, bool unattended,
                                      const std::function<void(const std::string&)>& progress) = 0;
    // The attachments other than the one that asks.
    virtual std::vector<std::string> ForeignAttachments(const std::string& connection) = 0;
    virtual void Shutdown(const std::string& connection, fib::TShutdownMode mode, fib::TShutdownWait wait) = 0;
    // New transactions refused, the running ones given `seconds` to end, then every
    // attachment cut; raises when a transaction is still running after that.
    virtual void ShutdownAfterTransactions(const std::string& connection, fib::TShutdownMode mode, int seconds) = 0;
    // Back to mode (Normal: online); nothing to do for a database already online.
    virtual void BringOnline(const std::string& connection, fib::TShutdownMode mode) = 0;
    // For a database the cycle itself shut down: its header need not be read first.
    virtual void BringOnlineFromShutdown(const std::string& connection, fib::TShutdownMode mode) = 0;
    // The header's "Attributes" value ("force write, full shutdown", ...).
    virtual std::string Attributes(const std::string& connection) = 0;
    // The header report's lines.
    virtual std::vector<std::string> HeaderLines(const std::string& connection) = 0;
    // Tries connection every interval until it no longer reaches a database, for
    // limit at most; the time waited.
    virtual std::chrono::milliseconds WaitUntilUnreached(const std::string& connection,
                                                         std::chrono::milliseconds interval,
                                                         std::chrono::milliseconds limit) = 0;
    // One attachment of the database, closed again; withKept: the settings and the
    // inactive indexes too.
    virtual AttachedReading ReadAttached(const std::string& connection, bool withKept) = 0;
    // What the catalogue of the database at connection says of an index, or of the
    // constraint it backs: what a failed restore named. None when it has neither.
    virtual std::optional<CatalogueIndex> ReadCatalogueIndex(const std::string& connection,
                                                             const std::string& name) = 0;
    // The four settings, in their order; mark tells the window which one is changed.
    virtual void WriteSettings(const std::string& connection, const DatabaseSettings& settings,
                               const std::function<void(SettingItem, bool done)>& mark) = 0;
    virtual void SetReadOnly(const std::string& connection, bool readOnly) = 0;
    // The requests run to their end: started is told once the server has the
    // request, every output line goes to onLine, and onReply is told once each reply
    // of the server has been read, lines or none (the server answers at least every
    // second while the request works without output). The text is what the server
    // said of a failure, in its order; empty when the request succeeded. An error
    // before the request started raises.
    virtual std::string Backup(const std::string& connection, const std::string& backupPath,
                               const std::function<void()>& started, const RequestLineSink& onLine,
                               const std::function<void()>& onReply) = 0;
    virtual std::string Restore(const std::string& backupPath, const std::string& newConnection, int pageSize,
                                int pageBuffers, const std::function<void()>& started, const RequestLineSink& onLine,
                                const std::function<void()>& onReply) = 0;
    // The database at connection for the run report; what cannot be read stays empty.
    virtual RunReportDatabase ReportDatabase(const std::string& connection, const std::string& localPath) noexcept = 0;
    // The health figures of the database at connection, read through the statistics
    // service (tables: every data page too); nothing when they cannot be read: a
    // reading must never stop the cycle it describes.
    virtual std::optional<DatabaseHealth> ReadHealth(const std::string& /*connection*/,
                                                     const std::string& /*localPath*/, bool /*tables*/) noexcept
    {
        return std::nullopt;
    }
    // The window's database component names connection (the window's buttons act on it).
    virtual void NameDatabase(const std::string& connection) = 0;
    // What the window's database component names now.
    virtual std::string DatabaseName() const = 0;
    // A pause before the server is asked again (a request still finishing on the file).
    virtual void PauseBeforeRetry() = 0;
};

} // namespace morvane
