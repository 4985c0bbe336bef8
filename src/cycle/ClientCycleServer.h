#pragma once
// The cycle's server port over the client library: the window's components and
// requests of the cycle's own, with the cycle's credentials.

#include "cycle/CycleServer.h"
#include "cycle/DatabaseControl.h"

namespace morvane {

namespace fib {
class TpFIBDatabase;
class TpFIBStatisticalService;
class TpFIBConfigService;
class TpFIBBackupService;
class TpFIBRestoreService;
class TpFIBServerProperties;
} // namespace fib

// The window's components the cycle drives; the window owns them.
struct CycleComponents {
    fib::TpFIBDatabase& database;
    fib::TpFIBStatisticalService& statistics;
    fib::TpFIBConfigService& config;
    fib::TpFIBBackupService& backup;
    fib::TpFIBRestoreService& restore;
    fib::TpFIBServerProperties& serverProperties;
};

class TClientCycleServer final : public ICycleServer {
public:
    TClientCycleServer(CycleComponents components, std::string user, std::string password);

    std::string DatabaseFile(const std::string& connection) override;
    DatabaseFacts Facts(const std::string& connection, bool forcedDisconnection, RunReportDatabase& settings) override;
    void SendWorkstationsAway(const std::string& connection, bool unattended,
                              const std::function<void(const std::string&)>& progress) override;
    std::vector<std::string> ForeignAttachments(const std::string& connection) override;
    void Shutdown(const std::string& connection, fib::TShutdownMode mode, fib::TShutdownWait wait) override;
    void ShutdownAfterTransactions(const std::string& connection, fib::TShutdownMode mode, int seconds) override;
    void BringOnline(const std::string& connection, fib::TShutdownMode mode) override;
    void BringOnlineFromShutdown(const std::string& connection, fib::TShutdownMode mode) override;
    std::string Attributes(const std::string& connection) override;
    std::vector<std::string> HeaderLines(const std::string& connection) override;
    std::chrono::milliseconds WaitUntilUnreached(const std::string& connection, std::chrono::milliseconds interval,
                                                 std::chrono::milliseconds limit) override;
    AttachedReading ReadAttached(const std::string& connection, bool withKept) override;
    std::optional<CatalogueIndex> ReadCatalogueIndex(const std::string& connection, const std::string& name) override;
    void WriteSettings(const std::string& connection, const DatabaseSettings& settings,
                       const std::function<void(SettingItem, bool done)>& mark) override;
    void SetReadOnly(const std::string& connection, bool readOnly) override;
    std::string Backup(const std::string& connection, const std::string& backupPath,
                       const std::function<void()>& started, const RequestLineSink& onLine,
                       const std::function<void()>& onReply) override;
    std::string Restore(const std::string& backupPath, const std::string& newConnection, int pageSize,
                        int pageBuffers, const std::function<void()>& started, const RequestLineSink& onLine,
                        const std::function<void()>& onReply) override;
    RunReportDatabase ReportDatabase(const std::string& connection, const std::string& localPath) noexcept override;
    std::optional<DatabaseHealth> ReadHealth(const std::string& connection, const std::string& localPath,
                                             bool tables) noexcept override;
    void NameDatabase(const std::string& connection) override;
    std::string DatabaseName() const override;
    void PauseBeforeRetry() override;

private:
    CycleComponents components_;
    std::string user_;
    std::string password_;
    TDatabaseControl control_;
};

} // namespace morvane
