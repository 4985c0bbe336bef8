#pragma once
// The published XSQLDA/XSQLVAR descriptors of a statement, owned with the buffers
// their columns point at, and the conversions of a column value to integer and text.

#include "core/DateTime.h"

#include <ibase.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace morvane::fib {

class SqlDescriptor {
public:
    explicit SqlDescriptor(int capacity = 1) { Resize(capacity); }
    SqlDescriptor(const SqlDescriptor&) = delete;
    SqlDescriptor& operator=(const SqlDescriptor&) = delete;

    XSQLDA* Get() noexcept { return reinterpret_cast<XSQLDA*>(memory_.get()); }
    const XSQLDA* Get() const noexcept { return reinterpret_cast<const XSQLDA*>(memory_.get()); }
    int Capacity() const noexcept { return Get()->sqln; }
    // The number of columns the statement has (may exceed the capacity before a resize).
    int Count() const noexcept { return Get()->sqld; }
    // The columns held: the smaller of count and capacity.
    int Held() const noexcept { return Count() < Capacity() ? Count() : Capacity(); }

    // A fresh, empty descriptor with room for capacity columns (at least 1).
    void Resize(int capacity);
    // Forgets the described columns (keeps the memory): no column is held afterwards.
    void Clear() noexcept { Get()->sqld = 0; }
    // Gives every described column a value buffer and a null indicator.
    void AllocateData();
    // Marks every column NULL (input parameters the program never fills).
    void SetAllNull() noexcept;

    const XSQLVAR& Var(int index) const noexcept { return Get()->sqlvar[index]; }

private:
    std::unique_ptr<std::int64_t[]> memory_;
    std::vector<std::unique_ptr<std::int64_t[]>> data_;
    std::vector<short> indicators_;
};

// Conversions of one column value; hasRow false means there is no current row.
// Integer: NULL or no row gives 0; scaled integers truncated toward zero and kept
// in 32 bits; floats truncated; text parsed; anything else client error 33.
std::int32_t ColumnAsInteger(const XSQLVAR& var, bool hasRow);
// Text: NULL or no row gives ""; integers in decimal (with their scale); text as is.
std::string ColumnAsText(const XSQLVAR& var, bool hasRow);
// A TIMESTAMP, DATE or TIME column as days since 1899-12-30; NULL or no row gives 0.
TDateTime ColumnAsDateTime(const XSQLVAR& var, bool hasRow);
bool ColumnIsNull(const XSQLVAR& var, bool hasRow) noexcept;

} // namespace morvane::fib
