#pragma once
// The database utility class of the site library: loading the connection profile
// into a database component, attaching with texts the operator understands, and
// creating transactions and queries with the site's fixed settings.

#include "core/Component.h"
#include "core/Exception.h"
#include "fib/fib.h"
#include "fib/pFIBDatabase.h"
#include "fib/pFIBQuery.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// What a connection profile holds: the database name and the lines to pass on.
struct ConnectionProfile {
    std::string DatabaseName;
    std::vector<std::string> Params;
};

// Reads the profile's lines: the first "DatabaseName=" line (name compared without
// regard to case, nothing trimmed) gives the database name; every line after the
// first that is neither blank nor a "#" comment is a parameter, unchanged.
ConnectionProfile ParseConnectionProfile(const std::vector<std::string>& lines);

// The files tried for a profile, in order. programFolder has no trailing separator.
std::vector<std::string> ConnectionProfileCandidates(const std::string& programFolder, const std::string& title,
                                                     const std::string& profileName);
// The first candidate that exists; raises "Le fichier "<folder>/Database.ini" est inexistant."
// (the folder, or the profile name when one was given, joined with the native separator).
std::string FindConnectionProfile(const std::string& programFolder, const std::string& title,
                                  const std::string& profileName);

// The separator between an attach failure's explanation and the server's text.
extern const std::string ConnectErrorSeparator;

// The operator's message when a connection trigger of the site refused the
// database's attachment (an exception raised in ON CONNECT); nothing for any other
// error.
std::optional<std::string> ConnectionTriggerRefusal(fib::TpFIBDatabase& database,
                                                    const fib::EFIBInterBaseError& error);

// A set of queries sharing one transaction, committed when the set goes.
class TPersistentQueries {
public:
    explicit TPersistentQueries(std::unique_ptr<fib::TpFIBTransaction> transaction)
        : transaction_(std::move(transaction))
    {
    }
    ~TPersistentQueries();
    TPersistentQueries(const TPersistentQueries&) = delete;
    TPersistentQueries& operator=(const TPersistentQueries&) = delete;

    std::vector<fib::TpFIBQuery*>& Queries() noexcept { return queries_; }
    fib::TpFIBTransaction& Transaction() noexcept { return *transaction_; }

private:
    std::vector<fib::TpFIBQuery*> queries_; // not owned
    std::unique_ptr<fib::TpFIBTransaction> transaction_;
};

class TGlobalFIB {
public:
    ~TGlobalFIB();
    TGlobalFIB(const TGlobalFIB&) = delete;
    TGlobalFIB& operator=(const TGlobalFIB&) = delete;

    // Finds the profile (named by DATABASEINI, or Database<title>.ini, then
    // Database.ini beside the program), sets DBName and appends its parameter lines.
    void LoadConnectionProfile(fib::TpFIBDatabase& database, const std::string& profileName);
    // The file LoadConnectionProfile reads (raises as it does when there is none).
    std::string ConnectionProfilePath(const std::string& profileName) const;
    // The same with the program folder and title given (the program passes its own).
    void LoadConnectionProfileFrom(fib::TpFIBDatabase& database, const std::string& profileName,
                                   const std::string& programFolder, const std::string& title);

    // Attaches; a refusal raises a text naming the cause in French. With
    // provisionUser a refused login creates the user with the password tried.
    void ConnectDatabase(fib::TpFIBDatabase& database, bool provisionUser);

    // A transaction with one of the four fixed presets, not started. Owned by
    // owner, or by the caller in the form without owner.
    fib::TpFIBTransaction& NewTransaction(TComponent& owner, fib::TpFIBDatabase& database, bool readOnly, bool noWait);
    std::unique_ptr<fib::TpFIBTransaction> NewTransaction(fib::TpFIBDatabase& database, bool readOnly, bool noWait);

    // A query on database and transaction with its SQL text; nothing is prepared.
    fib::TpFIBQuery& NewQuery(TComponent& owner, fib::TpFIBDatabase& database, fib::TpFIBTransaction* transaction,
                              std::string_view sql);
    std::unique_ptr<fib::TpFIBQuery> NewQuery(fib::TpFIBDatabase& database, fib::TpFIBTransaction* transaction,
                                              std::string_view sql);
    // A query that owns its own transaction (preset from readOnly and noWait).
    fib::TpFIBQuery& NewQuery(TComponent& owner, fib::TpFIBDatabase& database, bool readOnly, std::string_view sql,
                              bool noWait);
    std::unique_ptr<fib::TpFIBQuery> NewQuery(fib::TpFIBDatabase& database, bool readOnly, std::string_view sql,
                                              bool noWait);

private:
    friend TGlobalFIB& GlobalFIB();
    TGlobalFIB() = default;

    bool ProvisionUser(fib::TpFIBDatabase& database);

    std::vector<std::unique_ptr<TPersistentQueries>> persistentQueries_;
};

// The one instance, created on first use and destroyed at program end.
TGlobalFIB& GlobalFIB();

// Sets a transaction's parameters to the preset of the two flags.
void ApplyTransactionPreset(fib::TFIBTransaction& transaction, bool readOnly, bool noWait);

} // namespace morvane
