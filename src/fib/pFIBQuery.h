#pragma once
// The statement class the program uses: the base statement with its options.

#include "fib/FIBQuery.h"

namespace morvane::fib {

enum class TpFIBQueryOption : unsigned {
    qoStartTransaction = 1u << 0,
    qoAutoCommit = 1u << 1,
    qoTrimCharFields = 1u << 2,
    qoNoForceIsNull = 1u << 3,
    qoFreeHandleAfterExecute = 1u << 4,
};

// A set of options; the program sets none of them.
class TpFIBQueryOptions {
public:
    bool Contains(TpFIBQueryOption option) const noexcept { return (bits_ & static_cast<unsigned>(option)) != 0; }
    void Include(TpFIBQueryOption option) noexcept { bits_ |= static_cast<unsigned>(option); }
    void Exclude(TpFIBQueryOption option) noexcept { bits_ &= ~static_cast<unsigned>(option); }
    bool Empty() const noexcept { return bits_ == 0; }

private:
    unsigned bits_ = 0;
};

class TpFIBQuery : public TFIBQuery {
public:
    using TFIBQuery::TFIBQuery;

    // Kept for callers; none of the program's statements sets an option, and the
    // statement runs as described by its base either way.
    TpFIBQueryOptions Options;
};

} // namespace morvane::fib
