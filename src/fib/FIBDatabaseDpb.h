#pragma once
// The database and transaction parameter buffers, built from name=value lines by
// tables of names, codes and encodings. Pure functions: no client call.

#include "core/TextList.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::fib {

using ParameterBuffer = std::vector<std::uint8_t>;

// The DPB item names by code (1 to 83); code 18 has no name and is never matched.
inline constexpr int DpbLastCode = 83;
std::string_view DpbName(int code);
// The code of a lower-cased, prefix-stripped name, 0 when the table does not know it.
int DpbCode(std::string_view name);

// Builds the DPB from the lines: each line is trimmed and written back, empty lines
// are skipped, names are compared in lower case without their "isc_dpb_" prefix.
// A name given again drops the earlier item: the later line's item is written, at
// its own place.
// Raises client error 8 for a known name that cannot be sent, 9 for an unknown one.
ParameterBuffer BuildDpb(TStringList& params);

// The TPB item names by code (1 to 21).
inline constexpr int TpbLastCode = 21;
std::string_view TpbName(int code);
int TpbCode(std::string_view name);

// Builds the TPB: empty when there are no lines, else version 3 and one item per
// non-empty line. Raises client error 10 for a refused item, 11 for an unknown one.
ParameterBuffer BuildTpb(TStringList& params);

} // namespace morvane::fib
