#pragma once
// The maintenance requests that copy no data: the statistics report, the four
// database settings, the server's own properties, and the validation component
// the main window carries but never starts.

#include "fib/IB_Services.h"

namespace morvane::fib {

class TpFIBStatisticalService : public TpFIBControlAndQueryService {
public:
    using TpFIBControlAndQueryService::TpFIBControlAndQueryService;

    std::string DatabaseName;
    TStatOptions Options;
    // Sent only with StatTables in Options.
    std::string TableNames;

protected:
    void BuildStartBuffer() override;
};

// One database setting per request; each returns once the server has applied it.
class TpFIBConfigService : public TpFIBControlService {
public:
    using TpFIBControlService::TpFIBControlService;

    std::string DatabaseName;

    // Settings go through the four operations below: client error 71.
    void ServiceStart() override;

    void SetPageBuffers(std::int32_t pageBuffers);
    void SetSweepInterval(std::int32_t sweepInterval);
    void SetReserveSpace(bool reserve);
    void SetAsyncMode(bool async);
    void SetReadOnly(bool readOnly);
    // The database shut down to a level, or brought back to a lower one.
    void Shutdown(TShutdownMode mode, TShutdownWait wait, std::int32_t seconds);
    void BringOnline(TShutdownMode mode);

private:
    void Send(ServiceBuffer request);
};

enum class TPropertyOption { Database, License, LicenseMask, ConfigParameters, Version };
using TPropertyOptions = OptionSet<TPropertyOption>;

class TpFIBServerProperties : public TpFIBCustomService {
public:
    using TpFIBCustomService::TpFIBCustomService;

    // Kept for the caller; neither query consults it.
    TPropertyOptions Options;

    // Configuration values and server directories into ConfigParams.
    void Fetch();
    // Attachment and database counts and the names of the databases in use.
    void FetchDatabaseInfo();

    const TConfigParams& ConfigParams() const noexcept { return configParams_; }
    const TDatabaseInfo& DatabaseInfo() const noexcept { return databaseInfo_; }

private:
    TConfigParams configParams_;
    TDatabaseInfo databaseInfo_;
};

enum class TValidateOption { LimboTransactions, CheckDB, IgnoreChecksum, KillShadows, MendDB, SweepDB, ValidateDB,
                             ValidateFull };
using TValidateOptions = OptionSet<TValidateOption>;
enum class TTransactionGlobalAction { CommitGlobal, RollbackGlobal, RecoverTwoPhaseGlobal, NoGlobalAction };

// Carried by the main window with its properties, never started: it builds no
// request, so a start is refused as an empty one (client error 69).
class TpFIBValidationService : public TpFIBControlAndQueryService {
public:
    using TpFIBControlAndQueryService::TpFIBControlAndQueryService;

    std::string DatabaseName;
    TValidateOptions Options;
    TTransactionGlobalAction GlobalAction = TTransactionGlobalAction::CommitGlobal;
};

} // namespace morvane::fib
