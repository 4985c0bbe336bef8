#include "fib/FIBDatabaseInfo.h"

#include <algorithm>

namespace morvane::fib {

namespace {
constexpr std::uint8_t InfoUserNames = 53; // isc_info_user_names
constexpr std::size_t MaxUserName = 511;
} // namespace

std::int64_t VaxInteger(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > 8)
        return 0;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    // Sign-extend from the width received, as the client does for 1, 2 and 4 bytes.
    if (!bytes.empty() && bytes.size() < 8 && (bytes.back() & 0x80) != 0)
        value |= ~std::uint64_t{0} << (8 * bytes.size());
    return static_cast<std::int64_t>(value);
}

std::optional<std::int32_t> DecodeInfoInt(std::span<const std::uint8_t> reply)
{
    if (reply.size() < 3)
        return std::nullopt;
    const auto length = static_cast<std::size_t>(VaxInteger(reply.subspan(1, 2)) & 0xFFFF);
    if (length > reply.size() - 3)
        return std::nullopt;
    return static_cast<std::int32_t>(VaxInteger(reply.subspan(3, length)));
}

std::optional<std::int32_t> DecodeInfoItem(std::span<const std::uint8_t> reply, std::uint8_t item)
{
    if (reply.empty() || reply[0] != item)
        return std::nullopt;
    return DecodeInfoInt(reply);
}

TStringList DecodeUserNames(std::span<const std::uint8_t> reply)
{
    TStringList names;
    std::size_t position = 0;
    while (position + 4 <= reply.size() && reply[position] == InfoUserNames) {
        const std::size_t length = reply[position + 3];
        const std::size_t start = position + 4;
        if (length > reply.size() - start)
            break; // a name cut by the end of the reply is not a name
        const auto name = reply.subspan(start, std::min(length, MaxUserName));
        names.Add(std::string(name.begin(), name.end()));
        position = start + length;
    }
    return names;
}

} // namespace morvane::fib
