#include "fib/pFIBProps.h"

#include "core/Text.h"

namespace morvane::fib {

// The whole name is compared, not its beginning: "password_enc" must not be read
// as the password.
int TConnectParams::IndexOfParam(std::string_view name) const
{
    for (std::size_t i = 0; i < params_.Count(); ++i) {
        std::string lineName = LowerCase(Trim(TStringList::NameOf(params_[i])));
        if (lineName.starts_with("isc_dpb_"))
            lineName.erase(0, 8);
        if (lineName == name)
            return static_cast<int>(i);
    }
    return -1;
}

std::string TConnectParams::Read(std::string_view name) const
{
    // A name given twice is attached with its later value (the connection profile's
    // lines come after the design-time ones), and read so too.
    std::string value;
    for (std::size_t i = 0; i < params_.Count(); ++i) {
        std::string lineName = LowerCase(Trim(TStringList::NameOf(params_[i])));
        if (lineName.starts_with("isc_dpb_"))
            lineName.erase(0, 8);
        if (lineName == name)
            value = TStringList::ValueOf(params_[i]);
    }
    return value;
}

void TConnectParams::Write(std::string_view name, std::string_view value)
{
    const int index = IndexOfParam(name);
    std::string line = std::string(name) + "=" + std::string(value);
    if (index < 0) {
        if (!value.empty())
            params_.Add(std::move(line));
    } else if (value.empty()) {
        params_.Delete(static_cast<std::size_t>(index));
    } else {
        params_[static_cast<std::size_t>(index)] = std::move(line);
    }
}

void TConnectParams::SetCharSet(std::string_view value) { Write("lc_ctype", UpperCase(value)); }

} // namespace morvane::fib
