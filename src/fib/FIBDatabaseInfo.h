#pragma once
// Decoders of the information replies of the server. Pure functions over the bytes
// received; none of them reads past the end of the reply.

#include "core/TextList.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace morvane::fib {

// The little-endian integer of n bytes (n up to 8; more gives 0), as isc_vax_integer.
std::int64_t VaxInteger(std::span<const std::uint8_t> bytes);

// An integer item reply: a 2-byte length at offset 1, the value at offset 3. The item
// byte is not compared. Empty when the reply is too short for the length it states.
std::optional<std::int32_t> DecodeInfoInt(std::span<const std::uint8_t> reply);

// The value of the first item of the reply when it is the expected item, else empty.
std::optional<std::int32_t> DecodeInfoItem(std::span<const std::uint8_t> reply, std::uint8_t item);

// The isc_info_user_names reply: one name per attachment, each at most 511
// characters; the walk stops at the first other item or at the end of the bytes.
TStringList DecodeUserNames(std::span<const std::uint8_t> reply);

} // namespace morvane::fib
