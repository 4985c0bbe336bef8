#include "cycle/ClientCycleServer.h"

#include "core/Exception.h"
#include "cycle/CycleContents.h"
#include "cycle/CycleDatabaseFile.h"
#include "cycle/RequestErrors.h"
#include "cycle/SettingsWrite.h"
#include "database/FIB_Deconnexion.h"
#include "fib/IB_ServicesBackup.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/ServiceReplySize.h"
#include "fib/pFIBDatabase.h"
#include "session/DatabaseLocation.h"
#include "session/HealthReading.h"
#include "session/ProgramLog.h"
#include "session/SessionGuards.h"

#include <thread>

namespace morvane {

namespace {

// Reads the request's output to its end; whatever happens, its session ends here:
// the next request must not ride a broken one.
std::string RunRequest(fib::TpFIBBackupRestoreService& service, const std::function<void()>& started,
                       const RequestLineSink& onLine, const std::function<void()>& onReply)
{
    ServiceSessionGuard session(service);
    if (!service.Active())
        service.Attach();
    service.ServiceStart();
    if (started)
        started();
    // In bulk: a verbose output of tens of thousands of lines in a few dozen round
    // trips, and a few replies a second while it trickles.
    fib::TServiceReplySize replySize;
    const auto nextChunk = [&] {
        const auto asked = std::chrono::steady_clock::now();
        std::string chunk = service.GetNextChunk(1, replySize.Next());
        replySize.Took(chunk.size(), std::chrono::steady_clock::now() - asked);
        return chunk;
    };
    const std::string errors = ReadRequestOutputInBulk([&] { return service.Eof(); }, nextChunk, onLine, onReply);
    // A request the server failed has already lost its service: the session guard
    // ends what is left.
    if (errors.empty())
        service.Detach();
    return errors;
}

} // namespace

TClientCycleServer::TClientCycleServer(CycleComponents components, std::string user, std::string password)
    : components_(components), user_(std::move(user)), password_(std::move(password)),
      control_(components.config, components.statistics, ServiceUserParams(user_, password_),
               components.database.DBParams(), components.database.SQLDialect())
{
}

std::string TClientCycleServer::DatabaseFile(const std::string& connection)
{
    try {
        return ReadDatabaseFileName(connection, components_.database.DBParams(), components_.database.SQLDialect());
    } catch (const std::exception&) {
        // A database shut down refuses the attachment; its header still names the file.
        const std::string file = HeaderDatabaseFile(HeaderLines(connection));
        if (file.empty())
            throw;
        return file;
    }
}

DatabaseFacts TClientCycleServer::Facts(const std::string& connection, bool forcedDisconnection,
                                        RunReportDatabase& settings)
{
    return control_.Facts(connection, user_, forcedDisconnection, settings);
}

void TClientCycleServer::SendWorkstationsAway(const std::string& connection, bool unattended,
                                              const std::function<void(const std::string&)>& progress)
{
    fib::TpFIBDatabase& database = components_.database;
    morvane::NameDatabase(database, connection);
    // A refusal must not leave the program attached to the database it stopped on.
    AttachmentGuard attachment(database);
    DeconnexionUsers(database, nullptr, unattended, progress);
    database.SetConnected(false);
}

std::vector<std::string> TClientCycleServer::ForeignAttachments(const std::string& connection)
{
    return control_.ForeignAttachments(connection);
}

void TClientCycleServer::Shutdown(const std::string& connection, fib::TShutdownMode mode, fib::TShutdownWait wait)
{
    control_.Shutdown(connection, mode, wait, 0);
}

void TClientCycleServer::ShutdownAfterTransactions(const std::string& connection, fib::TShutdownMode mode,
                                                   int seconds)
{
    control_.Shutdown(connection, mode, fib::TShutdownWait::Transactions, seconds);
}

void TClientCycleServer::BringOnline(const std::string& connection, fib::TShutdownMode mode)
{
    control_.BringOnline(connection, mode);
}

void TClientCycleServer::BringOnlineFromShutdown(const std::string& connection, fib::TShutdownMode mode)
{
    control_.BringOnlineFromShutdown(connection, mode);
}

std::string TClientCycleServer::Attributes(const std::string& connection) { return control_.Attributes(connection); }

std::vector<std::string> TClientCycleServer::HeaderLines(const std::string& connection)
{
    return ReadHeaderLines(components_.statistics, ServiceUserParams(user_, password_), connection);
}

std::chrono::milliseconds TClientCycleServer::WaitUntilUnreached(const std::string& connection,
                                                                 std::chrono::milliseconds interval,
                                                                 std::chrono::milliseconds limit)
{
    return control_.WaitUntilUnreached(connection, interval, limit);
}

AttachedReading TClientCycleServer::ReadAttached(const std::string& connection, bool withKept)
{
    fib::TpFIBDatabase database(nullptr);
    PrepareOwnAttachment(database, connection, components_.database.DBParams(), components_.database.SQLDialect());
    AttachmentGuard attachment(database);
    database.SetConnected(true);
    AttachedReading reading;
    reading.others = ReadForeignAttachments(database);
    if (withKept) {
        reading.settings = ReadAttachedSettings(database);
        reading.inactiveIndexes = ReadInactiveIndexes(database);
    }
    return reading;
}

std::optional<CatalogueIndex> TClientCycleServer::ReadCatalogueIndex(const std::string& connection,
                                                                     const std::string& name)
{
    fib::TpFIBDatabase database(nullptr);
    PrepareOwnAttachment(database, connection, components_.database.DBParams(), components_.database.SQLDialect());
    AttachmentGuard attachment(database);
    database.SetConnected(true);
    return morvane::ReadCatalogueIndex(database, name);
}

void TClientCycleServer::WriteSettings(const std::string& connection, const DatabaseSettings& settings,
                                       const std::function<void(SettingItem, bool done)>& mark)
{
    WriteDatabaseSettings(components_.config, connection, ServiceUserParams(user_, password_), settings, mark);
}

void TClientCycleServer::SetReadOnly(const std::string& connection, bool readOnly)
{
    control_.SetReadOnly(connection, readOnly);
}

std::string TClientCycleServer::Backup(const std::string& connection, const std::string& backupPath,
                                       const std::function<void()>& started, const RequestLineSink& onLine,
                                       const std::function<void()>& onReply)
{
    fib::TpFIBBackupService& service = components_.backup;
    service.BackupFile.Clear();
    const DatabaseLocation location = SplitDatabaseLocation(connection);
    service.SetServerName(location.server);
    service.DatabaseName = location.path;
    service.SetParams(ServiceUserParams(user_, password_));
    // The backup's own attachment must not add a row to an audit table through an
    // ON CONNECT trigger: the rebuilt database would not be the one that was counted.
    service.Options.Include(fib::TBackupOption::NoDatabaseTriggers);
    service.BackupFile.Add(backupPath);
    // Its output names every table with the rows written: what the restore must give back.
    service.Verbose = true;
    return RunRequest(service, started, onLine, onReply);
}

std::string TClientCycleServer::Restore(const std::string& backupPath, const std::string& newConnection,
                                        int pageSize, int pageBuffers, const std::function<void()>& started,
                                        const RequestLineSink& onLine, const std::function<void()>& onReply)
{
    fib::TpFIBRestoreService& service = components_.restore;
    service.DatabaseName.Clear();
    service.BackupFile.Clear();
    const DatabaseLocation location = SplitDatabaseLocation(newConnection);
    service.SetServerName(location.server);
    service.DatabaseName.Add(location.path);
    service.PageBuffers = pageBuffers;
    service.PageSize = pageSize;
    service.SetParams(ServiceUserParams(user_, password_));
    service.BackupFile.Add(backupPath);
    service.Verbose = true;
    // Open to writes first, so that a read-only database keeps the space it reserves
    // on its pages; the cycle makes it read-only again before its verification.
    service.ReadWrite = true;
    return RunRequest(service, started, onLine, onReply);
}

RunReportDatabase TClientCycleServer::ReportDatabase(const std::string& connection,
                                                     const std::string& localPath) noexcept
{
    const fib::TpFIBDatabase& database = components_.database;
    const RunReportDatabase attached =
        ReadReportDatabase(connection, database.DBParams(), database.SQLDialect(), localPath);
    RunReportDatabase header;
    try {
        header = ReadHeaderSettings(HeaderLines(connection));
    } catch (const std::exception&) {
        // A header that cannot be read (no file at the path) leaves its values empty.
    }
    return PreferHeaderValues(header, attached);
}

std::optional<DatabaseHealth> TClientCycleServer::ReadHealth(const std::string& connection,
                                                             const std::string& localPath, bool tables) noexcept
{
    try {
        return ReadDatabaseHealth(ServiceUserParams(user_, password_), connection, tables, localPath);
    } catch (const std::exception& error) {
        ProgramLogQuietly(std::string("Santé de la base non lue : ") + error.what(), 5);
        return std::nullopt;
    }
}

void TClientCycleServer::NameDatabase(const std::string& connection)
{
    morvane::NameDatabase(components_.database, connection);
}

std::string TClientCycleServer::DatabaseName() const { return components_.database.DBName(); }

void TClientCycleServer::PauseBeforeRetry() { std::this_thread::sleep_for(std::chrono::seconds(1)); }

} // namespace morvane
