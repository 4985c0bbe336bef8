#pragma once
// The database and transaction classes the program uses: the base components with
// the callbacks a caller may hang on attaching and on the transaction's steps.

#include "fib/FIBDatabase.h"

#include <functional>

namespace morvane::fib {

class TpFIBDatabase : public TFIBDatabase {
public:
    using TFIBDatabase::TFIBDatabase;

    std::function<void(TpFIBDatabase&)> BeforeConnect;

protected:
    void DoConnect() override;
    void DoDisconnect(bool force) override;
};

class TpFIBTransaction : public TFIBTransaction {
public:
    using TFIBTransaction::TFIBTransaction;

    std::function<void(TpFIBTransaction&)> BeforeStart;
    std::function<void(TpFIBTransaction&)> AfterStart;
    std::function<void(TpFIBTransaction&, TTransactionAction)> BeforeEnd;
    std::function<void(TpFIBTransaction&, TTransactionAction)> AfterEnd;
    std::function<void(TpFIBTransaction&, TFIBQuery&)> BeforeSQLExecute;
    std::function<void(TpFIBTransaction&, TFIBQuery&)> AfterSQLExecute;

    void StartTransaction() override;
    void EndTransaction(TTransactionAction action, bool force) override;
    void StatementNotify(TFIBQuery& query, bool before) override;
};

} // namespace morvane::fib
