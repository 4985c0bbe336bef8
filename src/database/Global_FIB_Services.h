#pragma once
// Creation of database users on the server, under the site's administrator account.

#include <string>
#include <string_view>

namespace morvane {

// The site's system-administrator account.
inline constexpr const char* SiteAdministratorUser = "SYSDBA";
inline constexpr const char* SiteAdministratorPassword = "plumtavern";
inline constexpr const char* AdministratorRoleName = "role_administrateur";

// The user name as the statements write it, so the user created is the one that
// logs in under that name: a plain identifier (ASCII letters, digits, _ and $,
// starting with a letter) unquoted, for the server upper-cases it as it does a
// login name; a reserved word quoted in upper case; anything else quoted as
// written, inner double quotes doubled. Names that are empty or hold control
// characters are refused.
std::string QuoteUserName(std::string_view user);
// The password as a quoted literal, inner single quotes doubled. A zero byte is refused.
std::string QuotePassword(std::string_view password);

class TGlobalFIBService {
public:
    TGlobalFIBService() = delete;

    // Creates the user with the password on the server of databaseName and, when
    // asked, grants it the administrator role. True when it returns; failures raise.
    static bool CreateUser(const std::string& databaseName, const std::string& user, const std::string& password,
                           bool grantAdministratorRole = true);
};

} // namespace morvane
