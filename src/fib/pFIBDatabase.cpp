#include "fib/pFIBDatabase.h"

namespace morvane::fib {

void TpFIBDatabase::DoConnect()
{
    if (BeforeConnect)
        BeforeConnect(*this);
    TFIBDatabase::DoConnect();
}

void TpFIBDatabase::DoDisconnect(bool force) { TFIBDatabase::DoDisconnect(force); }

void TpFIBTransaction::StartTransaction()
{
    if (Active())
        return;
    if (BeforeStart)
        BeforeStart(*this);
    TFIBTransaction::StartTransaction();
    if (AfterStart)
        AfterStart(*this);
}

void TpFIBTransaction::EndTransaction(TTransactionAction action, bool force)
{
    if (BeforeEnd)
        BeforeEnd(*this, action);
    TFIBTransaction::EndTransaction(action, force);
    if (AfterEnd)
        AfterEnd(*this, action);
}

void TpFIBTransaction::StatementNotify(TFIBQuery& query, bool before)
{
    const auto& callback = before ? BeforeSQLExecute : AfterSQLExecute;
    if (callback)
        callback(*this, query);
}

} // namespace morvane::fib
