#include "database/Global_FIB_Services.h"

#include "core/Exception.h"
#include "core/Text.h"
#include "fib/fib.h"
#include "database/Global_FIB.h"

#include <memory>

namespace morvane {

std::string QuoteUserName(std::string_view user)
{
    if (user.empty())
        throw Exception("Nom d'utilisateur vide : l'utilisateur ne peut pas être créé");
    std::string quoted = "\"";
    for (const char c : UpperCase(user)) {
        if (static_cast<unsigned char>(c) < 32)
            throw Exception("Nom d'utilisateur invalide : l'utilisateur ne peut pas être créé");
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string QuotePassword(std::string_view password)
{
    std::string quoted = "'";
    for (const char c : password) {
        if (c == '\0')
            throw Exception("Mot de passe invalide : l'utilisateur ne peut pas être créé");
        if (c == '\'')
            quoted += '\'';
        quoted += c;
    }
    return quoted + "'";
}

bool TGlobalFIBService::CreateUser(const std::string& databaseName, const std::string& user,
                                   const std::string& password, bool grantAdministratorRole)
{
    // Both texts are checked before anything reaches the server: the user name and
    // password go into the statements as a quoted identifier and a quoted literal.
    const std::string createUser = "Create User " + QuoteUserName(user) + " PASSWORD " + QuotePassword(password);
    const std::string grantRole = std::string("grant ") + AdministratorRoleName + " to " + QuoteUserName(user);

    auto database = std::make_unique<fib::TpFIBDatabase>(nullptr);
    database->SetName("DatabaseForSecurity");
    database->SetDBName(databaseName);
    database->DBParams().Add("lc_ctype=ISO8859_1");
    database->DBParams().Add(std::string("user_name=") + SiteAdministratorUser);
    database->DBParams().Add(std::string("password=") + SiteAdministratorPassword);
    database->SetSQLDialect(3);
    database->SetLibraryName(fib::DefaultClientLibraryName);
    GlobalFIB().ConnectDatabase(*database, false);

    fib::TpFIBTransaction& transaction = GlobalFIB().NewTransaction(*database, *database, false, true);
    transaction.StartTransaction();
    transaction.ExecuteImmediate(createUser);
    try {
        transaction.Commit();
    } catch (const fib::EFIBError&) {
        // The server checks a new user at commit (an existing name fails there). The
        // failure is raised after the rollback: going on would grant the role to a
        // user this call did not create.
        transaction.Rollback();
        throw;
    }
    if (grantAdministratorRole) {
        transaction.StartTransaction();
        transaction.ExecuteImmediate(grantRole);
        transaction.Commit();
    }
    database->Close();
    return true;
}

} // namespace morvane
