#include "fib/FIBQuery.h"

#include "core/Text.h"
#include "fib/FIBDatabase.h"
#include "fib/FIBDatabaseInfo.h"
#include "fib/fib.h"

#include <array>

namespace morvane::fib {

namespace {

// True when the failed status carries the code anywhere among its error codes.
bool StatusHolds(const ISC_STATUS* status, ISC_STATUS code)
{
    for (int i = 0; i + 1 < ISC_STATUS_LENGTH && status[i] != isc_arg_end;) {
        const ISC_STATUS kind = status[i];
        if (kind == isc_arg_gds && status[i + 1] == code)
            return true;
        i += kind == isc_arg_cstring ? 3 : 2;
    }
    return false;
}

constexpr ISC_STATUS isc_req_no_trans_code = 335544572; // a fetch past the cursor's end
constexpr ISC_STATUS isc_dsql_cursor_err_code = 335544485;
constexpr ISC_STATUS isc_dsql_cursor_close_err_code = 335544577;

} // namespace

TFIBQuery::TFIBQuery(TComponent* owner) : TComponent(owner)
{
    if (auto* database = dynamic_cast<TFIBDatabase*>(owner))
        SetDatabase(database);
    if (auto* transaction = dynamic_cast<TFIBTransaction*>(owner))
        SetTransaction(transaction);
}

TFIBQuery::~TFIBQuery()
{
    FreeHandle();
    if (database_ != nullptr)
        database_->UnregisterQuery(this);
    if (transaction_ != nullptr)
        transaction_->UnregisterQuery(this);
}

void TFIBQuery::SetDatabase(TFIBDatabase* database)
{
    if (database == database_)
        return;
    FreeHandle();
    if (database_ != nullptr)
        database_->UnregisterQuery(this);
    database_ = database;
    if (database_ != nullptr)
        database_->RegisterQuery(this);
}

void TFIBQuery::SetTransaction(TFIBTransaction* transaction)
{
    if (transaction == transaction_)
        return;
    Close();
    if (transaction_ != nullptr)
        transaction_->UnregisterQuery(this);
    transaction_ = transaction;
    if (transaction_ != nullptr)
        transaction_->RegisterQuery(this);
}

void TFIBQuery::DatabaseGone() noexcept
{
    FreeHandle();
    database_ = nullptr;
}

void TFIBQuery::TransactionGone() noexcept
{
    open_ = atEnd_ = rowCurrent_ = false;
    transaction_ = nullptr;
}

void TFIBQuery::SetSQL(const TStringList& lines)
{
    if (open_)
        RaiseClientError(fibCantPerformWhenOpen, std::string("change sql text"), OwnerPath());
    FreeHandle();
    sql_ = lines;
}

void TFIBQuery::SetSQLText(std::string_view text)
{
    TStringList lines;
    lines.SetText(text);
    SetSQL(lines);
}

void TFIBQuery::FreeHandle() noexcept
{
    statement_.Reset();
    open_ = atEnd_ = rowCurrent_ = false;
    statementType_ = SQLUnknown;
    output_.Clear();
    input_.Clear();
}

unsigned short TFIBQuery::Dialect() const { return static_cast<unsigned short>(database_->SQLDialect()); }

void TFIBQuery::CheckTransaction() const
{
    if (transaction_ == nullptr)
        RaiseClientError(fibTransactionNotAssigned, OwnerPath());
}

void TFIBQuery::Prepare()
{
    Close();
    CheckTransaction();
    const std::string text = sql_.Text("\n");
    if (Trim(text).empty())
        RaiseClientError(fibEmptyQuery, std::string("Prepare"));
    if (database_ == nullptr)
        RaiseClientError(fibDatabaseClosed, OwnerPath());
    FreeHandle();
    output_.Resize(1);
    input_.Resize(1);
    IIBClientLibrary& library = database_->Library();
    ISC_STATUS* status = StatusVector();
    const auto freeHandle = [this]() noexcept { FreeHandle(); };
    library.isc_dsql_alloc_statement2(status, database_->HandleAddress(), statement_.Receive(database_->SharedLibrary()));
    Check(library, status, this, [this]() noexcept { statement_.Forget(); });
    // The statement handle is owned from here on: a failure below frees it.
    library.isc_dsql_prepare(status, transaction_->HandleAddress(), statement_.Address(), static_cast<unsigned short>(0),
                             text.c_str(), Dialect(), output_.Get());
    Check(library, status, this, freeHandle);
    ReadStatementType();
    switch (statementType_) {
    case SQLGetSegment: case SQLPutSegment: case SQLStartTransaction:
        FreeHandle();
        RaiseClientError(fibNotPermitted);
    case SQLSelectForUpdate: {
        const std::string cursor = "fibcursor" + std::to_string(reinterpret_cast<std::uintptr_t>(this));
        library.isc_dsql_set_cursor_name(status, statement_.Address(), cursor.c_str(), static_cast<unsigned short>(0));
        Check(library, status, this, freeHandle);
        break;
    }
    default:
        break;
    }
    Describe();
}

void TFIBQuery::ReadStatementType()
{
    static constexpr ISC_SCHAR item = isc_info_sql_stmt_type;
    std::array<std::uint8_t, 8> reply{};
    IIBClientLibrary& library = database_->Library();
    ISC_STATUS* status = StatusVector();
    library.isc_dsql_sql_info(status, statement_.Address(), static_cast<short>(1), &item,
                              static_cast<short>(reply.size()), reinterpret_cast<ISC_SCHAR*>(reply.data()));
    Check(library, status, this, [this]() noexcept { FreeHandle(); });
    const auto type = DecodeInfoItem(reply, isc_info_sql_stmt_type);
    if (!type) {
        FreeHandle();
        RaiseClientError(fibUnknownError);
    }
    statementType_ = *type;
}

void TFIBQuery::Describe()
{
    IIBClientLibrary& library = database_->Library();
    ISC_STATUS* status = StatusVector();
    const auto describe = [&](SqlDescriptor& descriptor, bool bind) {
        for (;;) {
            if (bind)
                library.isc_dsql_describe_bind(status, statement_.Address(), static_cast<unsigned short>(1), descriptor.Get());
            else
                library.isc_dsql_describe(status, statement_.Address(), static_cast<unsigned short>(1), descriptor.Get());
            Check(library, status, this, [this]() noexcept { FreeHandle(); });
            if (descriptor.Count() <= descriptor.Capacity())
                break;
            descriptor.Resize(descriptor.Count()); // more columns than room: enlarge and describe again
        }
        descriptor.AllocateData();
    };
    switch (statementType_) {
    case SQLSelect: case SQLInsert: case SQLUpdate: case SQLDelete: case SQLExecProcedure: case SQLSelectForUpdate:
        describe(input_, true);
        input_.SetAllNull(); // the program's statements take no parameters
        break;
    default:
        break;
    }
    switch (statementType_) {
    case SQLSelect: case SQLExecProcedure: case SQLSelectForUpdate:
        describe(output_, false);
        break;
    default:
        output_.Resize(1);
        break;
    }
}

void TFIBQuery::Execute()
{
    CheckTransaction();
    if (!Prepared())
        Prepare();
    if (database_ == nullptr)
        RaiseClientError(fibDatabaseClosed, OwnerPath());
    IIBClientLibrary& library = database_->Library();
    ISC_STATUS* status = StatusVector();
    XSQLDA* input = input_.Count() > 0 ? input_.Get() : nullptr;
    transaction_->StatementNotify(*this, true);
    switch (statementType_) {
    case SQLSelect: case SQLSelectForUpdate:
        Close();
        library.isc_dsql_execute(status, transaction_->HandleAddress(), statement_.Address(), Dialect(), input);
        Check(library, status, this);
        open_ = true;
        atEnd_ = rowCurrent_ = false;
        if (GoToFirstRecordOnExecute)
            Next();
        break;
    case SQLExecProcedure:
        library.isc_dsql_execute2(status, transaction_->HandleAddress(), statement_.Address(), Dialect(), input,
                                  output_.Get());
        Check(library, status, this);
        rowCurrent_ = true;
        break;
    case SQLCommit:
        transaction_->Commit();
        break;
    case SQLRollback:
        transaction_->Rollback();
        break;
    default:
        library.isc_dsql_execute(status, transaction_->HandleAddress(), statement_.Address(), Dialect(), input);
        Check(library, status, this);
        break;
    }
    if (transaction_ != nullptr)
        transaction_->StatementNotify(*this, false);
}

void TFIBQuery::Next()
{
    if (!open_)
        RaiseClientError(fibCantPerformWhenClosed, std::string("fetch next record"), OwnerPath());
    if (atEnd_)
        return;
    IIBClientLibrary& library = database_->Library();
    ISC_STATUS* status = StatusVector();
    const ISC_STATUS result = library.isc_dsql_fetch(status, statement_.Address(), Dialect(), output_.Get());
    if (result == 0) {
        rowCurrent_ = true;
        return;
    }
    rowCurrent_ = false;
    if (result == 100 || StatusHolds(status, isc_req_no_trans_code)) {
        atEnd_ = true;
        return;
    }
    // Keep the failed status: closing calls the client again.
    std::array<ISC_STATUS, ISC_STATUS_LENGTH> saved{};
    std::copy(status, status + ISC_STATUS_LENGTH, saved.begin());
    try {
        Close();
    } catch (const EFIBError&) {
        // The fetch's own error is the one to report.
    }
    Check(library, saved.data(), this);
}

void TFIBQuery::Close()
{
    if (!open_)
        return;
    open_ = atEnd_ = rowCurrent_ = false;
    if (statement_.Null() || database_ == nullptr)
        return;
    IIBClientLibrary& library = database_->Library();
    ISC_STATUS* status = StatusVector();
    library.isc_dsql_free_statement(status, statement_.Address(), static_cast<unsigned short>(DSQL_close));
    // A cursor the server has closed already is closed as asked.
    if (!StatusHolds(status, isc_dsql_cursor_err_code) && !StatusHolds(status, isc_dsql_cursor_close_err_code))
        Check(library, status, this);
}

TFIBColumn TFIBQuery::Column(int index) const
{
    if (index < 0 || index >= ColumnCount())
        RaiseClientError(fibFieldNotFound, "Field No: " + std::to_string(index));
    return TFIBColumn(output_.Var(index), rowCurrent_);
}

} // namespace morvane::fib
