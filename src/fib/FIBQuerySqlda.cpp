#include "fib/FIBQuerySqlda.h"

#include "core/Text.h"
#include "fib/fib.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace morvane::fib {

namespace {

std::size_t WordsFor(std::size_t bytes) { return (bytes + sizeof(std::int64_t) - 1) / sizeof(std::int64_t); }

int BaseType(const XSQLVAR& var) noexcept { return var.sqltype & ~1; }

template <typename T>
T Read(const XSQLVAR& var)
{
    if (var.sqldata == nullptr || static_cast<std::size_t>(var.sqllen) < sizeof(T))
        RaiseClientError(fibInvalidDataConversion);
    T value;
    std::memcpy(&value, var.sqldata, sizeof(T));
    return value;
}

// The text of a CHAR or VARCHAR column; a VARCHAR length beyond its buffer is cut there.
std::string ReadText(const XSQLVAR& var)
{
    if (var.sqldata == nullptr || var.sqllen < 0)
        return {};
    if (BaseType(var) == SQL_TEXT)
        return std::string(var.sqldata, static_cast<std::size_t>(var.sqllen));
    std::uint16_t length = 0;
    std::memcpy(&length, var.sqldata, sizeof length);
    const auto size = std::min<std::size_t>(length, static_cast<std::size_t>(var.sqllen));
    return std::string(var.sqldata + sizeof length, size);
}

std::int64_t ReadInteger(const XSQLVAR& var)
{
    switch (BaseType(var)) {
    case SQL_SHORT: return Read<std::int16_t>(var);
    case SQL_LONG: return Read<std::int32_t>(var);
    default: return Read<std::int64_t>(var);
    }
}

bool IsInteger(int type) { return type == SQL_SHORT || type == SQL_LONG || type == SQL_INT64; }

} // namespace

void SqlDescriptor::Resize(int capacity)
{
    if (capacity < 1)
        capacity = 1;
    const std::size_t bytes = XSQLDA_LENGTH(static_cast<std::size_t>(capacity));
    memory_ = std::make_unique<std::int64_t[]>(WordsFor(bytes)); // zero-filled
    data_.clear();
    indicators_.clear();
    XSQLDA* sqlda = Get();
    sqlda->version = SQLDA_VERSION1;
    sqlda->sqln = static_cast<ISC_SHORT>(capacity);
}

void SqlDescriptor::AllocateData()
{
    const int held = Held();
    data_.clear();
    data_.reserve(static_cast<std::size_t>(held));
    indicators_.assign(static_cast<std::size_t>(held), 0);
    for (int i = 0; i < held; ++i) {
        XSQLVAR& var = Get()->sqlvar[i];
        std::size_t bytes = var.sqllen > 0 ? static_cast<std::size_t>(var.sqllen) : 0;
        if (BaseType(var) == SQL_VARYING)
            bytes += sizeof(std::uint16_t);
        data_.push_back(std::make_unique<std::int64_t[]>(WordsFor(bytes) + 1));
        var.sqldata = reinterpret_cast<ISC_SCHAR*>(data_.back().get());
        // Ask for a null indicator on every column, nullable or not.
        var.sqltype = static_cast<ISC_SHORT>(var.sqltype | 1);
        var.sqlind = &indicators_[static_cast<std::size_t>(i)];
    }
}

void SqlDescriptor::SetAllNull() noexcept
{
    for (auto& indicator : indicators_)
        indicator = -1;
}

bool ColumnIsNull(const XSQLVAR& var, bool hasRow) noexcept
{
    return !hasRow || ((var.sqltype & 1) != 0 && var.sqlind != nullptr && *var.sqlind < 0);
}

std::int32_t ColumnAsInteger(const XSQLVAR& var, bool hasRow)
{
    if (ColumnIsNull(var, hasRow))
        return 0;
    const int type = BaseType(var);
    if (IsInteger(type)) {
        std::int64_t value = ReadInteger(var);
        for (int scale = var.sqlscale; scale < 0; ++scale)
            value /= 10; // integer division truncates toward zero
        for (int scale = var.sqlscale; scale > 0; --scale)
            value = static_cast<std::int64_t>(static_cast<std::uint64_t>(value) * 10u);
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
    }
    if (type == SQL_FLOAT || type == SQL_DOUBLE || type == SQL_D_FLOAT) {
        const double value = type == SQL_FLOAT ? Read<float>(var) : Read<double>(var);
        // Out of range (or not a number) has no 32-bit value to truncate to.
        if (!(value > -2147483649.0 && value < 2147483648.0))
            RaiseClientError(fibInvalidDataConversion);
        return static_cast<std::int32_t>(value);
    }
    if (type == SQL_TEXT || type == SQL_VARYING) {
        int value = 0;
        // A CHAR column is padded with blanks to its length; the padding is not content.
        const std::string text = type == SQL_TEXT ? TrimRight(ReadText(var)) : ReadText(var);
        if (!TryStrToInt(text, value))
            RaiseClientError(fibInvalidDataConversion);
        return value;
    }
    RaiseClientError(fibInvalidDataConversion);
}

std::string ColumnAsText(const XSQLVAR& var, bool hasRow)
{
    if (ColumnIsNull(var, hasRow))
        return {};
    const int type = BaseType(var);
    if (type == SQL_TEXT || type == SQL_VARYING)
        return ReadText(var);
    if (IsInteger(type)) {
        const std::int64_t value = ReadInteger(var);
        if (var.sqlscale >= 0) {
            std::string text = std::to_string(value);
            if (value != 0)
                text.append(static_cast<std::size_t>(var.sqlscale), '0');
            return text;
        }
        // A scaled value: the digits with the decimal point placed by the scale.
        const auto decimals = static_cast<std::size_t>(-var.sqlscale);
        const bool negative = value < 0;
        std::string digits = std::to_string(negative ? -static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value));
        if (digits.size() <= decimals)
            digits.insert(0, decimals + 1 - digits.size(), '0');
        digits.insert(digits.size() - decimals, ".");
        return negative ? "-" + digits : digits;
    }
    if (type == SQL_FLOAT || type == SQL_DOUBLE || type == SQL_D_FLOAT) {
        const double value = type == SQL_FLOAT ? Read<float>(var) : Read<double>(var);
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.15g", value);
        return buffer;
    }
    RaiseClientError(fibInvalidDataConversion);
}

TDateTime ColumnAsDateTime(const XSQLVAR& var, bool hasRow)
{
    if (ColumnIsNull(var, hasRow))
        return 0;
    // The server counts days from 1858-11-17, 15018 days before 1899-12-30, and
    // times in ten-thousandths of a second.
    constexpr double DayOffset = 15018.0;
    constexpr double TicksPerDay = 86400.0 * 10000.0;
    switch (BaseType(var)) {
    case SQL_TIMESTAMP: {
        const auto stamp = Read<ISC_TIMESTAMP>(var);
        return stamp.timestamp_date - DayOffset + stamp.timestamp_time / TicksPerDay;
    }
    case SQL_TYPE_DATE:
        return Read<ISC_DATE>(var) - DayOffset;
    case SQL_TYPE_TIME:
        return Read<ISC_TIME>(var) / TicksPerDay;
    default:
        RaiseClientError(fibInvalidDataConversion);
    }
}

} // namespace morvane::fib
