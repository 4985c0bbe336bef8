#pragma once
// The database attachment and its transactions. A database owns its own client
// binding and attachment handle; a transaction runs on one database.

#include "core/Component.h"
#include "core/DateTime.h"
#include "core/TextList.h"
#include "fib/FIBDatabaseDpb.h"
#include "fib/ClientHandles.h"
#include "fib/IB_Intf.h"
#include "fib/pFIBProps.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace morvane::fib {

class TFIBTransaction;
class TFIBQuery;

// Information items the program reads.
inline constexpr int isc_info_page_size_item = 14;
inline constexpr int isc_info_num_buffers_item = 15;
inline constexpr int isc_info_attachment_id_item = 22;
inline constexpr int isc_info_sweep_interval_item = 31;
inline constexpr int isc_info_no_reserve_item = 34;
inline constexpr int isc_info_forced_writes_item = 52;
inline constexpr int isc_info_db_sql_dialect_item = 62;
inline constexpr int isc_info_db_read_only_item = 63;

enum class TTransactionAction { TARollback, TARollbackRetaining, TACommit, TACommitRetaining };
enum class TTPBMode { tpbDefault, tpbReadCommitted, tpbRepeatableRead };

class TFIBDatabase : public TComponent {
public:
    explicit TFIBDatabase(TComponent* owner = nullptr);
    ~TFIBDatabase() override;

    const std::string& DBName() const noexcept { return dbName_; }
    void SetDBName(std::string name);
    TDBParams& DBParams() noexcept { return dbParams_; }
    const TDBParams& DBParams() const noexcept { return dbParams_; }
    TConnectParams& ConnectParams() noexcept { return connectParams_; }

    int SQLDialect() const noexcept { return sqlDialect_; }
    // Below 1, or above the attached database's own dialect: client error 61.
    void SetSQLDialect(int dialect);
    const std::string& LibraryName() const noexcept { return libraryName_; }
    void SetLibraryName(std::string name);

    bool UseLoginPrompt = false;
    // Asked before attaching when UseLoginPrompt is set; false cancels (client error 7).
    std::function<bool(TFIBDatabase&)> OnLogin;
    std::uint32_t Timeout = 0; // idle detach timer; kept for the caller, this program never arms it
    bool SynchronizeTime = true;
    // The database's triggers ON CONNECT and ON DISCONNECT are not fired for this
    // attachment (the server allows it to SYSDBA and the owner): a maintenance tool's
    // own attachments must not add rows to the site's audit tables between two counts.
    bool NoDatabaseTriggers = false;

    bool Connected() const noexcept { return !handle_.Null(); }
    void SetConnected(bool connected);
    void Open() { SetConnected(true); }
    void Close();

    // One integer information item. Not checked against the attachment: a detached
    // database sends a null handle and the client's refusal is raised.
    int GetDatabaseInfoInt(int item);
    // The user name of every attachment, the program's own included.
    const TStringList& AttachedUsers();

    int AttachmentId() const noexcept { return attachmentId_; }
    TDateTime ServerTimeOffset() const noexcept { return serverTimeOffset_; }
    TFIBTransaction& InternalTransaction() noexcept { return *internalTransaction_; }

    // For the transactions and statements of this database.
    FB_API_HANDLE* HandleAddress() noexcept { return handle_.Address(); }
    IIBClientLibrary& Library();
    std::shared_ptr<IIBClientLibrary> SharedLibrary() const { return library_; }
    void RegisterTransaction(TFIBTransaction* transaction);
    void UnregisterTransaction(TFIBTransaction* transaction) noexcept;
    void RegisterQuery(TFIBQuery* query);
    void UnregisterQuery(TFIBQuery* query) noexcept;

protected:
    virtual void DoConnect();
    virtual void DoDisconnect(bool force);

private:
    void Attach();
    void ReadDialect();
    void MeasureServerTime();
    std::vector<std::uint8_t> DatabaseInfo(std::uint8_t item, std::size_t replySize);

    std::string dbName_;
    TDBParams dbParams_{"lc_ctype=ISO8859_1"};
    TConnectParams connectParams_{dbParams_};
    int sqlDialect_ = 3;
    int databaseDialect_ = 3;
    std::string libraryName_ = DefaultClientLibraryName;
    std::shared_ptr<IIBClientLibrary> library_;
    DatabaseHandle handle_;
    ParameterBuffer dpb_;
    std::vector<std::string> dpbSource_; // the lines the DPB was last built from
    bool dpbBuilt_ = false;
    bool dpbNoTriggers_ = false;
    int attachmentId_ = -1;
    TStringList attachedUsers_;
    TDateTime serverTimeOffset_ = 0;
    std::vector<TFIBTransaction*> transactions_;
    std::vector<TFIBQuery*> queries_;
    std::unique_ptr<TFIBTransaction> internalTransaction_;
};

class TFIBTransaction : public TComponent {
public:
    explicit TFIBTransaction(TComponent* owner = nullptr);
    ~TFIBTransaction() override;

    TFIBDatabase* DefaultDatabase() const noexcept { return database_; }
    void SetDefaultDatabase(TFIBDatabase* database);
    TStringList& TRParams() noexcept { return trParams_; }
    const TStringList& TRParams() const noexcept { return trParams_; }
    TTPBMode TPBMode = TTPBMode::tpbReadCommitted;
    TTransactionAction TimeoutAction = TTransactionAction::TARollback;
    std::uint32_t Timeout = 0; // idle timer; kept for the caller, this program never arms it

    bool Active() const noexcept { return !handle_.Null(); }
    FB_API_HANDLE* HandleAddress() noexcept { return handle_.Address(); }

    virtual void StartTransaction();
    virtual void Commit();
    virtual void Rollback();
    virtual void CommitRetaining();
    virtual void RollbackRetaining();
    // Ends an active transaction with action; forced, a failed commit is followed by
    // a rollback and the transaction ends inactive in any case.
    virtual void EndTransaction(TTransactionAction action, bool force);
    // Called before (true) and after (false) each statement of a query.
    virtual void StatementNotify(TFIBQuery& query, bool before);

    void ExecuteImmediate(const std::string& text);

    void RegisterQuery(TFIBQuery* query);
    void UnregisterQuery(TFIBQuery* query) noexcept;
    // The database is being destroyed: forget it.
    void DatabaseGone() noexcept;

private:
    void CheckActive() const;
    void CloseQueries();
    void Finish(TTransactionAction action);

    TFIBDatabase* database_ = nullptr;
    TStringList trParams_;
    TransactionHandle handle_;
    ParameterBuffer tpb_;
    std::vector<std::string> tpbSource_;
    bool tpbBuilt_ = false;
    std::vector<TFIBQuery*> queries_;
};

} // namespace morvane::fib
