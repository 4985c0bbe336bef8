#pragma once
// A statement run in a transaction of a database: prepared from its text, executed
// by its statement type, and read column by column over the published descriptors.

#include "core/Component.h"
#include "core/TextList.h"
#include "fib/ClientHandles.h"
#include "fib/FIBQuerySqlda.h"

#include <cstdint>
#include <string>

namespace morvane::fib {

class TFIBDatabase;
class TFIBTransaction;

// Statement types of isc_info_sql_stmt_type.
enum SqlStatementType : int {
    SQLUnknown = 0, SQLSelect = 1, SQLInsert = 2, SQLUpdate = 3, SQLDelete = 4, SQLDDL = 5,
    SQLGetSegment = 6, SQLPutSegment = 7, SQLExecProcedure = 8, SQLStartTransaction = 9,
    SQLCommit = 10, SQLRollback = 11, SQLSelectForUpdate = 12,
};

// One output column of the current row; valid until the query moves or closes.
class TFIBColumn {
public:
    TFIBColumn(const XSQLVAR& var, bool hasRow) : var_(var), hasRow_(hasRow) {}
    std::int32_t AsInteger() const { return ColumnAsInteger(var_, hasRow_); }
    std::string AsText() const { return ColumnAsText(var_, hasRow_); }
    TDateTime AsDateTime() const { return ColumnAsDateTime(var_, hasRow_); }
    bool IsNull() const noexcept { return ColumnIsNull(var_, hasRow_); }
    std::string Name() const { return std::string(var_.aliasname, static_cast<std::size_t>(var_.aliasname_length)); }

private:
    const XSQLVAR& var_;
    bool hasRow_;
};

class TFIBQuery : public TComponent {
public:
    // The owner is also the database or the transaction when it is one.
    explicit TFIBQuery(TComponent* owner = nullptr);
    ~TFIBQuery() override;

    TFIBDatabase* Database() const noexcept { return database_; }
    void SetDatabase(TFIBDatabase* database);
    TFIBTransaction* Transaction() const noexcept { return transaction_; }
    void SetTransaction(TFIBTransaction* transaction);

    const TStringList& SQL() const noexcept { return sql_; }
    // Refused while a select is open (client error 28); otherwise unprepares.
    void SetSQL(const TStringList& lines);
    void SetSQLText(std::string_view text);

    bool GoToFirstRecordOnExecute = true;
    bool ParamCheck = true;

    int StatementType() const noexcept { return statementType_; }
    bool Prepared() const noexcept { return !statement_.Null(); }
    bool Open() const noexcept { return open_; }
    bool AtEnd() const noexcept { return atEnd_; }
    bool RowCurrent() const noexcept { return rowCurrent_; }

    void Prepare();
    void Execute();
    void Next();
    void Close();
    // Frees the statement handle; the next Execute prepares again.
    void FreeHandle() noexcept;

    int ColumnCount() const noexcept { return output_.Held(); }
    // Out of range: client error 41 "Field "Field No: <index>" not found.".
    TFIBColumn Column(int index) const;

    // The database or transaction is being destroyed: forget it.
    void DatabaseGone() noexcept;
    void TransactionGone() noexcept;

private:
    void CheckTransaction() const;
    void ReadStatementType();
    void Describe();
    unsigned short Dialect() const;

    TFIBDatabase* database_ = nullptr;
    TFIBTransaction* transaction_ = nullptr;
    TStringList sql_;
    StatementHandle statement_;
    int statementType_ = SQLUnknown;
    SqlDescriptor input_;
    SqlDescriptor output_;
    bool open_ = false;
    bool atEnd_ = false;
    bool rowCurrent_ = false;
};

} // namespace morvane::fib
