#pragma once
// The connection profile's database and credentials as the program reads them
// before the window exists, outside the cycle.

#include <optional>
#include <string>

namespace morvane {

// The parameter lines the window's database component starts with; the connection
// profile's lines follow them (and win where they name the same parameter).
inline constexpr const char* DesignTimeDatabaseParams =
    "lc_ctype=ISO8859_1\npassword=plumtavern\nsql_role_name=role_administrateur\nuser_name=SYSDBA\n";

// The credentials a run's requests use: the profile's user and password when it
// names them, else the built-in ones.
struct RunCredentials {
    std::string user;
    std::string password;
};

// The profile's DB File text and credentials; nothing when the profile cannot be
// read (the window then says why, as it always has).
struct ProfileDatabase {
    std::string dbFile;
    RunCredentials credentials;
};
std::optional<ProfileDatabase> ReadProfileDatabase(const std::string& profileName) noexcept;

} // namespace morvane
