#include "fib/FIBDatabase.h"

#include "fib/FIBDatabaseInfo.h"
#include "fib/FIBQuery.h"
#include "fib/fib.h"

#include <algorithm>
#include <mutex>

namespace morvane::fib {

namespace {

// Two databases never attach at the same moment.
std::mutex& AttachLock()
{
    static std::mutex lock;
    return lock;
}

constexpr std::size_t InfoReplySize = 512;
constexpr std::size_t UserNamesReplySize = 20480;
constexpr ISC_STATUS isc_adm_task_denied_code = 335544788; // isc_adm_task_denied

} // namespace

TFIBDatabase::TFIBDatabase(TComponent* owner)
    : TComponent(owner), internalTransaction_(std::make_unique<TFIBTransaction>(nullptr))
{
    TFIBTransaction& internal = *internalTransaction_;
    internal.SetDefaultDatabase(this);
    internal.TimeoutAction = TTransactionAction::TACommit;
    internal.Timeout = 1000;
    internal.TPBMode = TTPBMode::tpbDefault;
    internal.TRParams() = TStringList{"write", "isc_tpb_nowait", "read_committed", "rec_version"};
}

TFIBDatabase::~TFIBDatabase()
{
    try {
        if (Connected())
            DoDisconnect(true);
    } catch (const std::exception&) {
        // A destructor cannot report: the handle below is released quietly instead.
    }
    for (TFIBQuery* query : std::vector<TFIBQuery*>(queries_))
        query->DatabaseGone();
    for (TFIBTransaction* transaction : std::vector<TFIBTransaction*>(transactions_))
        transaction->DatabaseGone();
    queries_.clear();
    transactions_.clear();
}

void TFIBDatabase::SetDBName(std::string name)
{
    if (Connected())
        RaiseClientError(fibDatabaseOpen);
    dbName_ = std::move(name);
}

void TFIBDatabase::SetLibraryName(std::string name)
{
    if (Connected())
        RaiseClientError(fibDatabaseOpen);
    if (name != libraryName_)
        library_.reset(); // the next attach loads the new file
    libraryName_ = std::move(name);
}

void TFIBDatabase::SetSQLDialect(int dialect)
{
    if (dialect < 1 || (Connected() && dialect > databaseDialect_))
        RaiseClientError(fibSQLDialectInvalid);
    sqlDialect_ = dialect;
}

IIBClientLibrary& TFIBDatabase::Library()
{
    if (!library_)
        library_ = std::make_shared<TIBClientLibrary>(libraryName_);
    return *library_;
}

void TFIBDatabase::SetConnected(bool connected)
{
    if (connected) {
        if (!Connected())
            DoConnect();
    } else {
        Close();
    }
}

void TFIBDatabase::Close()
{
    if (Connected())
        DoDisconnect(false);
    attachmentId_ = -1;
}

void TFIBDatabase::DoConnect()
{
    {
        std::lock_guard guard(AttachLock());
        Attach();
    }
    attachmentId_ = GetDatabaseInfoInt(isc_info_attachment_id_item);
    ReadDialect();
    if (SynchronizeTime)
        MeasureServerTime();
}

void TFIBDatabase::Attach()
{
    if (Connected())
        RaiseClientError(fibDatabaseOpen);
    if (dbName_.empty())
        RaiseClientError(fibDatabaseNameMissing);
    IIBClientLibrary& library = Library();
    if (UseLoginPrompt && !(OnLogin && OnLogin(*this)))
        RaiseClientError(fibOperationCancelled);
    if (!dpbBuilt_ || dpbSource_ != dbParams_.Lines() || dpbNoTriggers_ != NoDatabaseTriggers) {
        dpb_ = BuildDpb(dbParams_);
        // The program's texts are UTF-8. Without this item the client converts the
        // file name, user and password from the process's locale, which is plain ASCII
        // under a scheduler, and refuses a user name with an accent.
        dpb_.insert(dpb_.end(), {static_cast<std::uint8_t>(isc_dpb_utf8_filename), 0});
        if (NoDatabaseTriggers)
            dpb_.insert(dpb_.end(), {static_cast<std::uint8_t>(isc_dpb_no_db_triggers), 1, 1});
        dpbSource_ = dbParams_.Lines();
        dpbNoTriggers_ = NoDatabaseTriggers;
        dpbBuilt_ = true;
    }
    if (dbName_.size() > 0x7FFF)
        RaiseClientError(fibParameterTooLong, std::string("DBName"));
    ISC_STATUS* status = StatusVector();
    const auto attach = [&](std::size_t dpbLength) {
        library.isc_attach_database(status, static_cast<short>(dbName_.size()), dbName_.c_str(),
                                    handle_.Receive(library_), static_cast<short>(dpbLength),
                                    reinterpret_cast<const ISC_SCHAR*>(dpb_.data()));
    };
    attach(dpb_.size());
    // Only SYSDBA and the owner may leave the connection triggers out: any other user
    // attaches as the site's clients do, its triggers fired (the item is the last
    // three bytes of the parameters).
    if (NoDatabaseTriggers && Failed(status) && status[1] == isc_adm_task_denied_code) {
        handle_.Forget();
        attach(dpb_.size() - 3);
    }
    Check(library, status, this, [this]() noexcept { handle_.Forget(); });
}

void TFIBDatabase::ReadDialect()
{
    const auto reply = DatabaseInfo(isc_info_db_sql_dialect_item, InfoReplySize);
    databaseDialect_ = DecodeInfoItem(reply, isc_info_db_sql_dialect_item).value_or(1);
    if (databaseDialect_ < sqlDialect_)
        sqlDialect_ = databaseDialect_;
}

void TFIBDatabase::MeasureServerTime()
{
    TFIBTransaction& internal = *internalTransaction_;
    const bool started = !internal.Active();
    if (started)
        internal.StartTransaction();
    TDateTime serverTime = 0;
    {
        TFIBQuery query(nullptr);
        query.SetDatabase(this);
        query.SetTransaction(&internal);
        query.SetSQLText(sqlDialect_ >= 2 ? "SELECT CAST('NOW' AS TIMESTAMP) from RDB$DATABASE"
                                          : "SELECT CAST('NOW' AS DATE) from RDB$DATABASE");
        query.Execute();
        serverTime = query.Column(0).AsDateTime();
        query.Close();
    }
    if (started)
        internal.Commit();
    serverTimeOffset_ = Now() - serverTime;
}

void TFIBDatabase::DoDisconnect(bool force)
{
    // End this database's transactions first: a detach with open ones is refused.
    for (TFIBTransaction* transaction : std::vector<TFIBTransaction*>(transactions_)) {
        if (!transaction->Active())
            continue;
        TTransactionAction action = transaction->TimeoutAction;
        if (action == TTransactionAction::TACommitRetaining)
            action = TTransactionAction::TACommit;
        else if (action == TTransactionAction::TARollbackRetaining)
            action = TTransactionAction::TARollback;
        transaction->EndTransaction(action, true);
    }
    for (TFIBQuery* query : std::vector<TFIBQuery*>(queries_)) {
        if (force) {
            query->FreeHandle();
        } else {
            query->Close();
            query->FreeHandle(); // a statement does not outlive its attachment
        }
    }
    IIBClientLibrary& library = Library();
    ISC_STATUS* status = StatusVector();
    library.isc_detach_database(status, handle_.Address());
    if (!force) // a forced disconnection ends without the server's word
        Check(library, status, this);
    handle_.Forget();
}

std::vector<std::uint8_t> TFIBDatabase::DatabaseInfo(std::uint8_t item, std::size_t replySize)
{
    std::vector<std::uint8_t> reply(replySize, 0);
    ISC_STATUS* status = StatusVector();
    const ISC_SCHAR request = static_cast<ISC_SCHAR>(item);
    IIBClientLibrary& library = Library();
    library.isc_database_info(status, handle_.Address(), static_cast<short>(1), &request,
                              static_cast<short>(reply.size()), reinterpret_cast<ISC_SCHAR*>(reply.data()));
    Check(library, status, this);
    return reply;
}

int TFIBDatabase::GetDatabaseInfoInt(int item)
{
    const auto reply = DatabaseInfo(static_cast<std::uint8_t>(item), InfoReplySize);
    const auto value = DecodeInfoInt(reply);
    if (!value)
        RaiseClientError(fibOutputParsingError);
    return *value;
}

const TStringList& TFIBDatabase::AttachedUsers()
{
    const auto reply = DatabaseInfo(static_cast<std::uint8_t>(isc_info_user_names), UserNamesReplySize);
    attachedUsers_ = DecodeUserNames(reply);
    return attachedUsers_;
}

void TFIBDatabase::RegisterTransaction(TFIBTransaction* transaction)
{
    if (std::find(transactions_.begin(), transactions_.end(), transaction) == transactions_.end())
        transactions_.push_back(transaction);
}

void TFIBDatabase::UnregisterTransaction(TFIBTransaction* transaction) noexcept
{
    std::erase(transactions_, transaction);
}

void TFIBDatabase::RegisterQuery(TFIBQuery* query)
{
    if (std::find(queries_.begin(), queries_.end(), query) == queries_.end())
        queries_.push_back(query);
}

void TFIBDatabase::UnregisterQuery(TFIBQuery* query) noexcept { std::erase(queries_, query); }

} // namespace morvane::fib
