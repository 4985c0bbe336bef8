#pragma once
// What the cycle asks of the server about the database as a whole: shut it down,
// bring it back online, read its header's attributes, list who else is attached.
// Every request goes through the services API or an attachment, with the cycle's
// credentials: no password on any command line.

#include "core/TextList.h"
#include "cycle/DatabaseChecks.h"
#include "cycle/RunReport.h"
#include "fib/IB_ServicesBuffers.h"
#include "fib/pFIBProps.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace morvane {

namespace fib {
class TpFIBConfigService;
class TpFIBStatisticalService;
}

// True when a header's attributes say the database is shut down at any level.
bool AttributesSayShutDown(const std::string& attributes);
// The shutdown level a header's attributes show (Normal: online).
fib::TShutdownMode ShutdownModeOf(const std::string& attributes);

// The lines of the header statistics report of connection (a DB File text), as the
// statistics service gives them. Errors of the service propagate.
std::vector<std::string> ReadHeaderLines(fib::TpFIBStatisticalService& statistics, const TStringList& userParams,
                                         const std::string& connection);

class TDatabaseControl {
public:
    TDatabaseControl(fib::TpFIBConfigService& config, fib::TpFIBStatisticalService& statistics,
                     TStringList userParams, fib::TDBParams attachParams, int dialect);

    // connection: a DB File text (server, colon, path) naming the database.
    void Shutdown(const std::string& connection, fib::TShutdownMode mode, fib::TShutdownWait wait, int seconds);
    void BringOnline(const std::string& connection, fib::TShutdownMode mode = fib::TShutdownMode::Normal);
    // For a database the cycle itself has shut down: its header need not be read first.
    void BringOnlineFromShutdown(const std::string& connection, fib::TShutdownMode mode);
    // Needs the database to itself.
    void SetReadOnly(const std::string& connection, bool readOnly);
    // The header's "Attributes" value ("force write, full shutdown", ...).
    std::string Attributes(const std::string& connection);
    // What decides whether the cycle can rebuild the database as it is, and with the
    // same header report and attachment, its settings for the run report (all but the
    // file's size; those an attachment reads stay empty when it is shut down).
    DatabaseFacts Facts(const std::string& connection, const std::string& runUser, bool forcedDisconnection,
                        RunReportDatabase& settings);
    // The attachments other than the one that asks.
    std::vector<std::string> ForeignAttachments(const std::string& connection);
    // True when an attachment to connection reaches a database, let in or refused as
    // shut down; false when the server finds no file there. The server goes on
    // reaching a database moved away from a path by that path while it still holds
    // it open under it.
    bool ReachesDatabase(const std::string& connection);
    // Tries connection every interval until it no longer reaches a database, for
    // limit at most; the time waited (none when the first try reached nothing).
    std::chrono::milliseconds WaitUntilUnreached(const std::string& connection, std::chrono::milliseconds interval,
                                                 std::chrono::milliseconds limit);

private:
    // One request on the configuration service, in a session of its own.
    void OnConfigService(const std::string& connection, const std::function<void(fib::TpFIBConfigService&)>& request);

    fib::TpFIBConfigService& config_;
    fib::TpFIBStatisticalService& statistics_;
    TStringList userParams_;
    fib::TDBParams attachParams_;
    int dialect_;
};

} // namespace morvane
