#pragma once
// Database objects the database tests share: the command tables of the workstation
// disconnection protocol, the site's administrator role, and databases made with a
// chosen page size. Everything goes through isql-fb as SYSDBA.

#include "support/FreshDatabase.h"

#include <string>
#include <vector>

namespace morvane::test {

// The generator GEN_ID_GLB5020 and the tables Glb5020 and Glb5020Resultat.
const std::string& CommandTablesDdl();
void CreateCommandTables(const FreshDatabase& database);

// The role the site's administrators are granted.
inline constexpr const char* AdministratorRole = "role_administrateur";
void CreateAdministratorRole(const FreshDatabase& database);

// A further database in the folder of database, created through the server with
// the page size given; returns its connection string.
std::string CreateDatabaseWithPageSize(const FreshDatabase& database, const std::string& fileName, int pageSize,
                                       int dialect = 3);

// Runs gfix as SYSDBA with the arguments, then the connection string; raises
// std::runtime_error with its output when it fails.
std::string RunGfix(const std::vector<std::string>& arguments, const std::string& connectionString);

// A server user that exists for the life of the object (dropped afterwards). Users
// belong to the whole server: give each a name of its own (UniqueUserName). The drop
// never raises, so a failed test cannot end the process while it cleans up.
class ServerUser {
public:
    ServerUser(const FreshDatabase& database, std::string name, std::string password);
    ~ServerUser();
    ServerUser(const ServerUser&) = delete;
    ServerUser& operator=(const ServerUser&) = delete;
    const std::string& Name() const noexcept { return name_; }

    // Lets the user create databases; taken back before the user is dropped.
    void AllowCreatingDatabases();

    // Drops a user by name, ignoring a user that does not exist.
    static void Drop(const FreshDatabase& database, const std::string& name) noexcept;

private:
    const FreshDatabase& database_;
    std::string name_;
    bool createsDatabases_ = false;
};

// A user name no other test run uses at the same time (letters and digits).
std::string UniqueUserName(const std::string& prefix);

} // namespace morvane::test
