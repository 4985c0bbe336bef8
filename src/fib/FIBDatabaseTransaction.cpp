#include "fib/FIBDatabase.h"
#include "fib/FIBQuery.h"
#include "fib/fib.h"

#include <algorithm>

namespace morvane::fib {

namespace {
// One entry of isc_start_multiple's vector, laid out as the client reads it
// (ibase.h does not declare it).
struct TransactionEntry {
    FB_API_HANDLE* database;
    int tpbLength;
    const ISC_SCHAR* tpb;
};
} // namespace

TFIBTransaction::TFIBTransaction(TComponent* owner) : TComponent(owner) {}

TFIBTransaction::~TFIBTransaction()
{
    if (Active()) {
        try {
            EndTransaction(TTransactionAction::TARollback, true);
        } catch (const std::exception&) {
            // A destructor cannot report; the handle member rolls back quietly.
        }
    }
    for (TFIBQuery* query : std::vector<TFIBQuery*>(queries_))
        query->TransactionGone();
    if (database_ != nullptr)
        database_->UnregisterTransaction(this);
}

void TFIBTransaction::SetDefaultDatabase(TFIBDatabase* database)
{
    if (database == database_)
        return;
    if (Active())
        RaiseClientError(fibInTransaction, OwnerPath());
    if (database_ != nullptr)
        database_->UnregisterTransaction(this);
    database_ = database;
    if (database_ != nullptr)
        database_->RegisterTransaction(this);
}

void TFIBTransaction::DatabaseGone() noexcept
{
    handle_.Reset();
    database_ = nullptr;
}

void TFIBTransaction::RegisterQuery(TFIBQuery* query)
{
    if (std::find(queries_.begin(), queries_.end(), query) == queries_.end())
        queries_.push_back(query);
}

void TFIBTransaction::UnregisterQuery(TFIBQuery* query) noexcept { std::erase(queries_, query); }

void TFIBTransaction::CheckActive() const
{
    if (!Active())
        RaiseClientError(fibNotInTransaction, OwnerPath());
}

void TFIBTransaction::CloseQueries()
{
    for (TFIBQuery* query : std::vector<TFIBQuery*>(queries_))
        query->Close();
}

void TFIBTransaction::StartTransaction()
{
    if (Active())
        return;
    if (TPBMode == TTPBMode::tpbReadCommitted)
        trParams_ = TStringList{"write", "isc_tpb_nowait", "read_committed", "rec_version"};
    else if (TPBMode == TTPBMode::tpbRepeatableRead)
        trParams_ = TStringList{"write", "isc_tpb_nowait", "concurrency"};
    if (database_ == nullptr)
        RaiseClientError(fibNoDatabasesInTransaction, OwnerPath());
    if (!database_->Connected())
        RaiseClientError(fibDatabaseClosed, database_->OwnerPath());
    if (!tpbBuilt_ || tpbSource_ != trParams_.Lines()) {
        tpb_ = BuildTpb(trParams_);
        tpbSource_ = trParams_.Lines();
        tpbBuilt_ = true;
    }
    TransactionEntry entry{};
    entry.database = database_->HandleAddress();
    entry.tpbLength = static_cast<int>(tpb_.size());
    entry.tpb = tpb_.empty() ? nullptr : reinterpret_cast<const ISC_SCHAR*>(tpb_.data());
    IIBClientLibrary& library = database_->Library();
    ISC_STATUS* status = StatusVector();
    library.isc_start_multiple(status, handle_.Receive(database_->SharedLibrary()), static_cast<short>(1), &entry);
    Check(library, status, this, [this]() noexcept { handle_.Forget(); });
}

void TFIBTransaction::Finish(TTransactionAction action)
{
    CheckActive();
    CloseQueries();
    IIBClientLibrary& library = database_->Library();
    ISC_STATUS* status = StatusVector();
    switch (action) {
    case TTransactionAction::TACommit: library.isc_commit_transaction(status, handle_.Address()); break;
    case TTransactionAction::TARollback: library.isc_rollback_transaction(status, handle_.Address()); break;
    case TTransactionAction::TACommitRetaining: library.isc_commit_retaining(status, handle_.Address()); break;
    case TTransactionAction::TARollbackRetaining: library.isc_rollback_retaining(status, handle_.Address()); break;
    }
    Check(library, status, this); // a refused end leaves the transaction active
    if (action == TTransactionAction::TACommit || action == TTransactionAction::TARollback)
        handle_.Forget();
}

void TFIBTransaction::Commit() { Finish(TTransactionAction::TACommit); }
void TFIBTransaction::Rollback() { Finish(TTransactionAction::TARollback); }
void TFIBTransaction::CommitRetaining() { Finish(TTransactionAction::TACommitRetaining); }
void TFIBTransaction::RollbackRetaining() { Finish(TTransactionAction::TARollbackRetaining); }

void TFIBTransaction::EndTransaction(TTransactionAction action, bool force)
{
    if (!force) {
        Finish(action);
        return;
    }
    if (!Active())
        return;
    try {
        Finish(action);
        return;
    } catch (const EFIBError&) {
        // Forced: whatever the commit said, the transaction must end; roll back below.
    }
    try {
        if (Active())
            Finish(TTransactionAction::TARollback);
    } catch (const EFIBError&) {
        // The rollback was refused as well: drop the handle, the server ends it with the attachment.
    }
    handle_.Forget();
}

void TFIBTransaction::StatementNotify(TFIBQuery&, bool) {}

void TFIBTransaction::ExecuteImmediate(const std::string& text)
{
    CheckActive();
    IIBClientLibrary& library = database_->Library();
    ISC_STATUS* status = StatusVector();
    library.isc_dsql_execute_immediate(status, database_->HandleAddress(), handle_.Address(),
                                       static_cast<unsigned short>(0), text.c_str(),
                                       static_cast<unsigned short>(database_->SQLDialect()), nullptr);
    Check(library, status, this);
}

} // namespace morvane::fib
