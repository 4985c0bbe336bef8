#include "database/Global_FIB.h"

#include "core/Format.h"
#include "core/Text.h"
#include "fib/fib.h"
#include "fib/pFIBProps.h"
#include "database/Global_FIB_Services.h"
#include "global/Global_Utils.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace morvane {

using fib::TpFIBDatabase;
using fib::TpFIBQuery;
using fib::TpFIBTransaction;

const std::string ConnectErrorSeparator = "\r" + std::string(29, '-') + "\r";

namespace {

constexpr ISC_STATUS isc_io_error_code = 335544344;
constexpr ISC_STATUS isc_network_error_code = 335544721;
constexpr ISC_STATUS isc_shutdown_code = 335544528;
constexpr ISC_STATUS isc_login_code = 335544472;
constexpr ISC_STATUS isc_except_code = 335544517;

std::vector<std::string> ReadLines(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        RaiseLastOSError();
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad())
        RaiseLastOSError();
    return SplitLines(text.str());
}

std::string WithoutTrailingSeparator(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

// The caller's parameter lines, put back on every path out of the provisioning.
class ParamsRestorer {
public:
    explicit ParamsRestorer(TpFIBDatabase& database) : database_(database), saved_(database.DBParams()) {}
    ~ParamsRestorer() { database_.DBParams() = saved_; }
    ParamsRestorer(const ParamsRestorer&) = delete;
    ParamsRestorer& operator=(const ParamsRestorer&) = delete;

private:
    TpFIBDatabase& database_;
    fib::TDBParams saved_;
};

} // namespace

ConnectionProfile ParseConnectionProfile(const std::vector<std::string>& lines)
{
    ConnectionProfile profile;
    bool named = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const auto equals = line.find('=');
        if (!named && equals != std::string::npos && SameText(std::string_view(line).substr(0, equals), "DatabaseName")) {
            profile.DatabaseName = line.substr(equals + 1);
            named = true;
        }
        if (i == 0)
            continue; // the first line is never a parameter
        const std::string trimmed = Trim(line);
        if (!trimmed.empty() && trimmed[0] != '#')
            profile.Params.push_back(line);
    }
    return profile;
}

std::vector<std::string> ConnectionProfileCandidates(const std::string& programFolder, const std::string& title,
                                                     const std::string& profileName)
{
    if (!profileName.empty())
        return {programFolder + "/" + profileName, profileName};
    return {programFolder + "/Database" + title + ".ini", programFolder + "/Database.ini"};
}

std::string FindConnectionProfile(const std::string& programFolder, const std::string& title,
                                  const std::string& profileName)
{
    for (const auto& candidate : ConnectionProfileCandidates(programFolder, title, profileName)) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate;
    }
    // The folder and the file name joined as this system's paths join them.
    const std::string missing = (profileName.empty() ? programFolder : profileName) +
                                std::filesystem::path::preferred_separator + "Database.ini";
    throw Exception(FormatText("Le fichier \"%s\" est inexistant.", missing));
}

TPersistentQueries::~TPersistentQueries()
{
    try {
        if (transaction_->Active())
            transaction_->Commit();
    } catch (const std::exception&) {
        // A destructor cannot report; the transaction rolls back as it is freed.
    }
}

TGlobalFIB::~TGlobalFIB()
{
    while (!persistentQueries_.empty())
        persistentQueries_.pop_back(); // from the last to the first
}

TGlobalFIB& GlobalFIB()
{
    static TGlobalFIB instance;
    return instance;
}

void TGlobalFIB::LoadConnectionProfile(TpFIBDatabase& database, const std::string& profileName)
{
    LoadConnectionProfileFrom(database, profileName, WithoutTrailingSeparator(ProgramFolder()), ApplicationTitle());
}

std::string TGlobalFIB::ConnectionProfilePath(const std::string& profileName) const
{
    return FindConnectionProfile(WithoutTrailingSeparator(ProgramFolder()), ApplicationTitle(), profileName);
}

void TGlobalFIB::LoadConnectionProfileFrom(TpFIBDatabase& database, const std::string& profileName,
                                           const std::string& programFolder, const std::string& title)
{
    const std::string path = FindConnectionProfile(programFolder, title, profileName);
    // The whole file is read before the component changes, so a failure leaves it as it was.
    const ConnectionProfile profile = ParseConnectionProfile(ReadLines(path));
    database.SetDBName(profile.DatabaseName);
    for (const auto& line : profile.Params)
        database.DBParams().Add(line);
}

std::optional<std::string> ConnectionTriggerRefusal(fib::TpFIBDatabase& database,
                                                    const fib::EFIBInterBaseError& error)
{
    if (error.ServerErrorCode() != isc_except_code)
        return std::nullopt;
    // The program's own attachments leave the connection triggers out, but the server
    // allows that only to SYSDBA and the database's owner.
    return "Un trigger de connexion de la base refuse l'utilisateur " +
           fib::TConnectParams(database.DBParams()).UserName() +
           " (seuls SYSDBA et le propriétaire de la base passent outre)" + ConnectErrorSeparator +
           error.ServerMessage();
}

void TGlobalFIB::ConnectDatabase(TpFIBDatabase& database, bool provisionUser)
{
    std::string message;
    try {
        database.SetConnected(true);
    } catch (const fib::EFIBInterBaseError& e) {
        switch (e.ServerErrorCode()) {
        case isc_io_error_code:
            message = "Le chemin de la base de données est erroné" + ConnectErrorSeparator + e.ServerMessage();
            break;
        case isc_network_error_code:
            message = "L'adresse du serveur de base de données est erronée" + ConnectErrorSeparator + e.ServerMessage();
            break;
        case isc_shutdown_code:
            message = "La base de données n'est pas actuellement en ligne.  Veuillez contacter Calvenor." +
                      ConnectErrorSeparator + e.ServerMessage();
            break;
        case isc_except_code:
            message = ConnectionTriggerRefusal(database, e).value_or(e.Message());
            break;
        case isc_login_code:
            message = e.ClassName() + ConnectErrorSeparator + e.Message();
            // Attached, after provisioning, only counts when attached as the caller.
            if (provisionUser && !ProvisionUser(database))
                throw Exception(message);
            break;
        default:
            throw;
        }
    } catch (const Exception& e) {
        message = e.ClassName() + ConnectErrorSeparator + e.Message();
    }
    if (!database.Connected())
        throw Exception(message);
}

// Creates the refused user with the password that was tried, through the site's
// administrator account, then attaches as that user. Whatever happens, the
// component ends with the caller's own parameter lines; true only when it is
// attached under the caller's user.
bool TGlobalFIB::ProvisionUser(TpFIBDatabase& database)
{
    const std::string user = database.ConnectParams().UserName();
    const std::string password = database.ConnectParams().Password();
    bool created = false;
    {
        ParamsRestorer restorer(database);
        database.ConnectParams().SetUserName(SiteAdministratorUser);
        database.ConnectParams().SetPassword(SiteAdministratorPassword);
        try {
            ConnectDatabase(database, false);
            created = TGlobalFIBService::CreateUser(database.DBName(), user, password, true);
        } catch (const Exception&) {
            // The caller is shown the login error; this failure only means no user was made.
        }
        try {
            database.Close();
        } catch (const Exception&) {
            // An administrator attachment that will not detach must not pass for the caller's.
        }
    }
    if (database.Connected())
        return false; // still attached as the administrator: not the caller's attachment
    if (created) {
        try {
            ConnectDatabase(database, false);
        } catch (const Exception&) {
            // The caller reports the original login error.
        }
    }
    return database.Connected();
}

void ApplyTransactionPreset(fib::TFIBTransaction& transaction, bool readOnly, bool noWait)
{
    transaction.TPBMode = fib::TTPBMode::tpbDefault;
    transaction.TimeoutAction = fib::TTransactionAction::TACommit;
    transaction.TRParams() = TStringList{readOnly ? "read" : "write", noWait ? "nowait" : "wait",
                                         noWait ? "rec_version" : "no_rec_version", "read_committed"};
}

TpFIBTransaction& TGlobalFIB::NewTransaction(TComponent& owner, TpFIBDatabase& database, bool readOnly, bool noWait)
{
    auto& transaction = owner.CreateOwned<TpFIBTransaction>();
    transaction.SetDefaultDatabase(&database);
    ApplyTransactionPreset(transaction, readOnly, noWait);
    return transaction;
}

std::unique_ptr<TpFIBTransaction> TGlobalFIB::NewTransaction(TpFIBDatabase& database, bool readOnly, bool noWait)
{
    auto transaction = std::make_unique<TpFIBTransaction>(nullptr);
    transaction->SetDefaultDatabase(&database);
    ApplyTransactionPreset(*transaction, readOnly, noWait);
    return transaction;
}

namespace {
void SetUpQuery(TpFIBQuery& query, TpFIBDatabase& database, fib::TpFIBTransaction* transaction, std::string_view sql)
{
    query.SetDatabase(&database);
    query.SetTransaction(transaction);
    query.SetSQLText(sql);
}
} // namespace

TpFIBQuery& TGlobalFIB::NewQuery(TComponent& owner, TpFIBDatabase& database, TpFIBTransaction* transaction,
                                 std::string_view sql)
{
    auto& query = owner.CreateOwned<TpFIBQuery>();
    SetUpQuery(query, database, transaction, sql);
    return query;
}

std::unique_ptr<TpFIBQuery> TGlobalFIB::NewQuery(TpFIBDatabase& database, TpFIBTransaction* transaction,
                                                 std::string_view sql)
{
    auto query = std::make_unique<TpFIBQuery>(nullptr);
    SetUpQuery(*query, database, transaction, sql);
    return query;
}

TpFIBQuery& TGlobalFIB::NewQuery(TComponent& owner, TpFIBDatabase& database, bool readOnly, std::string_view sql,
                                 bool noWait)
{
    TpFIBQuery& query = NewQuery(owner, database, nullptr, sql);
    query.SetTransaction(&NewTransaction(query, database, readOnly, noWait));
    return query;
}

std::unique_ptr<TpFIBQuery> TGlobalFIB::NewQuery(TpFIBDatabase& database, bool readOnly, std::string_view sql,
                                                 bool noWait)
{
    auto query = NewQuery(database, nullptr, sql);
    query->SetTransaction(&NewTransaction(*query, database, readOnly, noWait));
    return query;
}

} // namespace morvane
