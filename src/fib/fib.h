#pragma once
// The exceptions of the Firebird access layer and its numbered client messages.
// A failed client call becomes EFIBInterBaseError, a check of the layer itself
// EFIBClientError; both compose their Message from the same fields.

#include "core/Component.h"
#include "core/Exception.h"
#include "core/Format.h"

#include <ibase.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane::fib {

class IIBClientLibrary;

// The platform's database error class; every error of the access layer is one.
MORVANE_DECLARE_EXCEPTION(EDatabaseError, Exception);

// The fields of an access-layer error, in the order the system lists them.
struct FIBErrorFields {
    std::int32_t SqlCode = 0;
    std::int32_t ServerErrorCode = 0;
    std::string SenderName;
    std::string SqlMessage;
    std::string ServerMessage;
    std::string ExtraMessage;
    std::string BaseMessage;
    // The component that made the failed call; only valid while that component lives.
    const TComponent* Sender = nullptr;
};

class EFIBError : public EDatabaseError {
public:
    explicit EFIBError(FIBErrorFields fields);

    std::int32_t SqlCode() const noexcept { return fields_.SqlCode; }
    std::int32_t ServerErrorCode() const noexcept { return fields_.ServerErrorCode; }
    const std::string& SenderName() const noexcept { return fields_.SenderName; }
    const std::string& SqlMessage() const noexcept { return fields_.SqlMessage; }
    const std::string& ServerMessage() const noexcept { return fields_.ServerMessage; }
    const std::string& ExtraMessage() const noexcept { return fields_.ExtraMessage; }
    const std::string& BaseMessage() const noexcept { return fields_.BaseMessage; }
    const TComponent* Sender() const noexcept { return fields_.Sender; }

    std::string ClassName() const override { return "EFIBError"; }

private:
    FIBErrorFields fields_;
};

MORVANE_DECLARE_EXCEPTION(EFIBInterBaseError, EFIBError);
MORVANE_DECLARE_EXCEPTION(EFIBClientError, EFIBError);

// The composed Message: "<owner path>:\r\n" when the path has at least two
// characters, then the SQL message, the server message, the extra and the base message.
std::string ComposeFIBErrorMessage(const FIBErrorFields& fields);

// isc_sql_interprete text made presentable: "\n" pairs removed, first letter upper
// case, a final "." followed by CR LF when the text did not end with one.
std::string NormaliseSqlMessage(std::string_view text);
// Adds one isc_interprete line to the server message: empty lines are skipped,
// the first letter goes upper case, and the line ends with "." and CR LF.
void AppendServerMessageLine(std::string& message, std::string_view line);

// The numbered texts of the layer's own checks; the number is masked to 7 bits,
// numbers past the table give the text of 0.
inline constexpr int ClientErrorCount = 79;
std::string_view ClientErrorTable(int number);

// Numbers of the messages the layer raises, named after their meaning.
enum ClientError : int {
    fibUnknownError = 0,
    fibNotPermitted = 2,
    fibOperationCancelled = 7,
    fibDPBConstantNotSupported = 8,
    fibDPBConstantUnknown = 9,
    fibTPBConstantNotSupported = 10,
    fibTPBConstantUnknown = 11,
    fibDatabaseClosed = 12,
    fibDatabaseOpen = 13,
    fibDatabaseNameMissing = 14,
    fibNotInTransaction = 15,
    fibInTransaction = 16,
    fibNoDatabasesInTransaction = 18,
    fibTransactionNotAssigned = 22,
    fibXSQLDAIndexOutOfRange = 23,
    fibCantPerformWhenOpen = 28,
    fibCantPerformWhenClosed = 29,
    fibUnknownSQLDataType = 30,
    fibInvalidDataConversion = 33,
    fibEmptyQuery = 37,
    fibFieldNotFound = 41,
    fibSQLDialectInvalid = 61,
    fibServiceNotAttached = 65,
    fibServiceAttached = 66,
    fibServerNameMissing = 67,
    fibQueryParamsError = 68,
    fibStartParamsError = 69,
    fibOutputParsingError = 70,
    fibUseSpecificProcedures = 71,
    fibSPBConstantNotSupported = 72,
    fibSPBConstantUnknown = 73,
    // A parameter value that does not fit the length field of its buffer.
    fibParameterTooLong = 74,
};

// Raises EFIBClientError with the table's text formatted with the arguments
// ("%s" takes a text, "%d" an integer).
template <typename... Args>
[[noreturn]] void RaiseClientError(int number, const Args&... args)
{
    FIBErrorFields fields;
    fields.SqlCode = number;
    fields.BaseMessage = FormatText(std::string(ClientErrorTable(number)).c_str(), args...);
    throw EFIBClientError(std::move(fields));
}

// True when a client call left an error in its status vector.
inline bool Failed(const ISC_STATUS* status) noexcept { return status[0] == 1 && status[1] != 0; }

// Raises EFIBInterBaseError from the status vector, interpreted by the binding that
// made the failed call; without a vector, the calling thread's is read.
[[noreturn]] void RaiseServerError(IIBClientLibrary& library, ISC_STATUS* status, const TComponent* sender);
[[noreturn]] void RaiseServerError(IIBClientLibrary& library, const TComponent* sender);

// The one step after every client call: the call fills status (the thread's vector
// as a rule), and a failure is raised as the server's error with sender in it.
void Check(IIBClientLibrary& library, ISC_STATUS* status, const TComponent* sender);

// The same, running onFailure first to drop what the failed call leaves behind. The
// cleanup must not raise and must not write into status: the error comes from there.
template <typename OnFailure>
void Check(IIBClientLibrary& library, ISC_STATUS* status, const TComponent* sender, OnFailure&& onFailure)
{
    if (!Failed(status))
        return;
    static_assert(noexcept(onFailure()), "a cleanup that raises would hide the server's error");
    onFailure();
    RaiseServerError(library, status, sender);
}

} // namespace morvane::fib
