#include "fib/fib.h"

#include "fib/IB_Intf.h"

#include <array>

namespace morvane::fib {

namespace {

// The numbers nothing in the program raises belong to facilities it does not use;
// they share one neutral text.
constexpr std::string_view UnusedNumberText = "Operation not supported by this access layer.";

constexpr std::array<std::string_view, ClientErrorCount> BuildClientErrorTable()
{
    std::array<std::string_view, ClientErrorCount> table{};
    table.fill(UnusedNumberText);
    table[0] = "Unknown error.";
    table[2] = "Not permitted.";
    table[7] = "Operation cancelled at user's request.";
    table[8] = "DPB Constant (isc_dpb_%s) is unsupported.";
    table[9] = "DPB Constant (%s) is unknown.";
    table[10] = "TPB Constant (isc_tpb_%s) is unsupported.";
    table[11] = "TPB Constant (%s) is unknown.";
    table[12] = "%s: Cannot perform operation -- DB is not open.";
    table[13] = "Cannot perform operation -- DB is currently open.";
    table[14] = "Database name is missing.";
    table[15] = "%s :Transaction is not active.";
    table[16] = "%s :Transaction is active.";
    table[18] = "%s :No databases are listed in transaction component.";
    table[22] = "Transaction not assigned for %s.";
    table[23] = "XSQLDA index out of range.";
    table[28] = "Can't %s because %s dataset open.";
    table[29] = "Can't %s because %s dataset closed.";
    table[30] = "Unknown SQL Data type (%d).";
    table[33] = "Invalid data conversion.";
    table[37] = "Can't %s , because  query is empty";
    table[41] = "Field \"%s\" not found.";
    table[61] = "SQL Dialect invalid";
    table[65] = "Cannot perform operation -- service is not attached";
    table[66] = "Cannot perform operation -- service is attached";
    table[67] = "Server Name Missing";
    table[68] = "Query Parameters missing or incorrect";
    table[69] = "Start Parameters missing or incorrect";
    table[70] = "Unexpected Output buffer value";
    table[71] = "Generic ServiceStart not applicable: Use Specific Procedures to set configuration params";
    table[72] = "SPB Constant Not supported";
    table[73] = "SPB Constant Unknown";
    table[74] = "Parameter %s is too long for its buffer";
    return table;
}

constexpr auto ClientErrorTexts = BuildClientErrorTable();

constexpr bool IsAsciiLower(char c) { return c >= 'a' && c <= 'z'; }

void UpperFirst(std::string& text)
{
    if (!text.empty() && IsAsciiLower(text.front()))
        text.front() = static_cast<char>(text.front() - 'a' + 'A');
}

} // namespace

EFIBError::EFIBError(FIBErrorFields fields)
    : EDatabaseError(ComposeFIBErrorMessage(fields)), fields_(std::move(fields))
{
}

std::string ComposeFIBErrorMessage(const FIBErrorFields& fields)
{
    std::string message;
    if (fields.SenderName.size() >= 2)
        message += fields.SenderName + ":\r\n";
    message += fields.SqlMessage;
    message += fields.ServerMessage;
    if (!fields.ExtraMessage.empty())
        message += fields.ExtraMessage;
    message += fields.BaseMessage;
    return message;
}

std::string NormaliseSqlMessage(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            ++i;
            continue;
        }
        result += text[i];
    }
    if (result.empty())
        return result;
    UpperFirst(result);
    if (result.back() != '.')
        result += ".\r\n";
    return result;
}

void AppendServerMessageLine(std::string& message, std::string_view line)
{
    if (line.empty())
        return;
    std::string text(line);
    UpperFirst(text);
    message += text;
    if (message.back() != '.')
        message += '.';
    message += "\r\n";
}

std::string_view ClientErrorTable(int number)
{
    const int masked = number & 0x7F;
    return masked < ClientErrorCount ? ClientErrorTexts[static_cast<std::size_t>(masked)] : ClientErrorTexts[0];
}

void RaiseServerError(IIBClientLibrary& library, const TComponent* sender)
{
    RaiseServerError(library, StatusVector(), sender);
}

void Check(IIBClientLibrary& library, ISC_STATUS* status, const TComponent* sender)
{
    if (Failed(status))
        RaiseServerError(library, status, sender);
}

void RaiseServerError(IIBClientLibrary& library, ISC_STATUS* status, const TComponent* sender)
{
    FIBErrorFields fields;
    fields.SqlCode = static_cast<std::int32_t>(library.isc_sqlcode(status));
    fields.ServerErrorCode = static_cast<std::int32_t>(status[1]);

    // The client writes at most the length it is given; the larger buffer is a margin.
    std::string buffer(20480, '\0');
    library.isc_sql_interprete(static_cast<short>(fields.SqlCode), buffer.data(), static_cast<short>(1024));
    fields.SqlMessage = NormaliseSqlMessage(std::string_view(buffer.c_str()));

    ISC_STATUS* cursor = status;
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), '\0');
        if (library.isc_interprete(buffer.data(), &cursor) <= 0)
            break;
        AppendServerMessageLine(fields.ServerMessage, std::string_view(buffer.c_str()));
    }

    if (sender != nullptr)
        fields.SenderName = sender->OwnerPath();
    fields.Sender = sender;
    throw EFIBInterBaseError(std::move(fields));
}

} // namespace morvane::fib
