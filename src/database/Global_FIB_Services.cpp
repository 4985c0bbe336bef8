#include "database/Global_FIB_Services.h"

#include "core/Exception.h"
#include "core/Text.h"
#include "fib/fib.h"
#include "database/Global_FIB.h"

#include <algorithm>
#include <iterator>
#include <memory>

namespace morvane {

namespace {

// Firebird 3's reserved words (each refused by the server as a plain alias): a name
// spelled as one of them is no plain identifier.
constexpr std::string_view ReservedWords[] = {
    "ADD", "ADMIN", "ALL", "ALTER", "AND", "ANY", "AS", "AT", "AVG", "BEGIN", "BETWEEN", "BIGINT", "BIT_LENGTH",
    "BLOB", "BOOLEAN", "BOTH", "BY", "CASE", "CAST", "CHAR", "CHAR_LENGTH", "CHARACTER", "CHARACTER_LENGTH",
    "CHECK", "CLOSE", "COLLATE", "COLUMN", "COMMIT", "CONNECT", "CONSTRAINT", "CORR", "COUNT", "COVAR_POP",
    "COVAR_SAMP", "CREATE", "CROSS", "CURRENT", "CURRENT_CONNECTION", "CURRENT_DATE", "CURRENT_ROLE",
    "CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_TRANSACTION", "CURRENT_USER", "CURSOR", "DATE", "DAY", "DEC",
    "DECIMAL", "DECLARE", "DEFAULT", "DELETE", "DELETING", "DETERMINISTIC", "DISCONNECT", "DISTINCT", "DOUBLE",
    "DROP", "ELSE", "END", "ESCAPE", "EXECUTE", "EXISTS", "EXTERNAL", "EXTRACT", "FALSE", "FETCH", "FILTER",
    "FLOAT", "FOR", "FOREIGN", "FROM", "FULL", "FUNCTION", "GDSCODE", "GLOBAL", "GRANT", "GROUP", "HAVING", "HOUR",
    "IN", "INDEX", "INNER", "INSENSITIVE", "INSERT", "INSERTING", "INT", "INTEGER", "INTO", "IS", "JOIN",
    "LEADING", "LEFT", "LIKE", "LONG", "LOWER", "MAX", "MERGE", "MIN", "MINUTE", "MONTH",
    "NATIONAL", "NATURAL", "NCHAR", "NO", "NOT", "NULL", "NUMERIC", "OCTET_LENGTH", "OF", "OFFSET", "ON", "ONLY",
    "OPEN", "OR", "ORDER", "OUTER", "OVER", "PARAMETER", "PLAN", "POSITION", "POST_EVENT", "PRECISION",
    "PRIMARY", "PROCEDURE", "RDB$DB_KEY", "RDB$RECORD_VERSION", "REAL", "RECORD_VERSION", "RECREATE",
    "RECURSIVE", "REFERENCES", "REGR_AVGX", "REGR_AVGY", "REGR_COUNT", "REGR_INTERCEPT", "REGR_R2",
    "REGR_SLOPE", "REGR_SXX", "REGR_SXY", "REGR_SYY", "RELEASE", "RETURN", "RETURNING_VALUES", "RETURNS",
    "REVOKE", "RIGHT", "ROLLBACK", "ROW", "ROW_COUNT", "ROWS", "SAVEPOINT", "SCROLL", "SECOND", "SELECT",
    "SENSITIVE", "SET", "SIMILAR", "SMALLINT", "SOME", "SQLCODE", "SQLSTATE", "START", "STDDEV_POP",
    "STDDEV_SAMP", "SUM", "TABLE", "THEN", "TIME", "TIMESTAMP", "TO", "TRAILING", "TRIGGER", "TRIM", "TRUE",
    "UNION", "UNIQUE", "UNKNOWN", "UPDATE", "UPDATING", "UPPER", "USER", "USING", "VALUE", "VALUES", "VAR_POP",
    "VAR_SAMP", "VARCHAR", "VARIABLE", "VARYING", "VIEW", "WHEN", "WHERE", "WHILE", "WITH", "YEAR",
};

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Letters, digits, _ and $, starting with a letter: the server reads it unquoted.
bool IsRegularIdentifier(std::string_view name)
{
    if (name.empty() || !IsAsciiLetter(name.front()))
        return false;
    for (const char c : name)
        if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '_' && c != '$')
            return false;
    return true;
}

std::string Delimited(std::string_view name)
{
    std::string quoted = "\"";
    for (const char c : name) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

std::string QuoteUserName(std::string_view user)
{
    if (user.empty())
        throw Exception("Nom d'utilisateur vide : l'utilisateur ne peut pas être créé");
    for (const char c : user)
        if (static_cast<unsigned char>(c) < 32)
            throw Exception("Nom d'utilisateur invalide : l'utilisateur ne peut pas être créé");
    if (!IsRegularIdentifier(user))
        return Delimited(user);
    // A reserved word must be quoted, but a login under it is upper-cased like any
    // plain name: the quotes hold the form the login arrives in.
    const std::string upper = UpperCase(user);
    if (std::ranges::find(ReservedWords, upper) != std::end(ReservedWords))
        return Delimited(upper);
    return std::string(user);
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
    // password go into the statements as an identifier and a quoted literal.
    const std::string createUser = "Create User " + QuoteUserName(user) + " PASSWORD " + QuotePassword(password);
    const std::string grantRole = std::string("grant ") + AdministratorRoleName + " to " + QuoteUserName(user);

    auto database = std::make_unique<fib::TpFIBDatabase>(nullptr);
    database->SetName("DatabaseForSecurity");
    database->SetDBName(databaseName);
    // UTF-8 like every text of the program: a name or password in another set would
    // reach the server as different characters.
    database->ConnectParams().SetCharSet("UTF8");
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
