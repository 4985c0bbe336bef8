#include "support/DbCommandTables.h"

#include "support/FirebirdServer.h"
#include "support/ToolRunner.h"

#include <atomic>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace morvane::test {

const std::string& CommandTablesDdl()
{
    static const std::string ddl =
        "CREATE GENERATOR GEN_ID_GLB5020;\n"
        "CREATE TABLE Glb5020 (ID_GLB5020 INTEGER NOT NULL PRIMARY KEY, TODO CHAR(1), COMMANDE VARCHAR(20));\n"
        "CREATE TABLE Glb5020Resultat (ID INTEGER, id_glb5020 INTEGER, POSTE VARCHAR(63));\n"
        "COMMIT;\n";
    return ddl;
}

void CreateCommandTables(const FreshDatabase& database) { database.Sql(CommandTablesDdl()); }

void CreateAdministratorRole(const FreshDatabase& database)
{
    database.Sql(std::string("CREATE ROLE ") + AdministratorRole + ";\nCOMMIT;");
}

std::string CreateDatabaseWithPageSize(const FreshDatabase& database, const std::string& fileName, int pageSize,
                                       int dialect)
{
    const std::string connection = std::string(ServerHost) + ":" + database.Folder().File(fileName);
    const std::string script = database.Folder().File("create-" + fileName + ".sql");
    {
        std::ofstream file(script);
        file << "SET SQL DIALECT " << dialect << ";\n";
        file << "CREATE DATABASE '" << connection << "' USER '" << SysdbaUser << "' PASSWORD '" << SysdbaPassword
             << "' PAGE_SIZE " << pageSize << " DEFAULT CHARACTER SET ISO8859_1;\n";
    }
    const ToolResult result = RunTool({"isql-fb", "-q", "-i", script});
    if (result.ExitCode != 0)
        throw std::runtime_error("cannot create " + connection + ": " + result.Output);
    return connection;
}

std::string RunGfix(const std::vector<std::string>& arguments, const std::string& connectionString)
{
    std::vector<std::string> argv{"gfix"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    argv.push_back(connectionString);
    const ToolResult result = RunTool(argv, SysdbaEnvironment());
    if (result.ExitCode != 0)
        throw std::runtime_error("gfix failed on " + connectionString + ": " + result.Output);
    return result.Output;
}

ServerUser::ServerUser(const FreshDatabase& database, std::string name, std::string password)
    : database_(database), name_(std::move(name))
{
    database_.Sql("CREATE USER " + name_ + " PASSWORD '" + password + "';\nCOMMIT;");
}

ServerUser::~ServerUser()
{
    if (createsDatabases_) {
        try {
            database_.Sql("REVOKE CREATE DATABASE FROM USER " + name_ + ";\nCOMMIT;");
        } catch (const std::exception&) {
            // Dropped all the same below.
        }
    }
    Drop(database_, name_);
}

void ServerUser::AllowCreatingDatabases()
{
    createsDatabases_ = true;
    database_.Sql("GRANT CREATE DATABASE TO USER " + name_ + ";\nCOMMIT;");
}

void ServerUser::Drop(const FreshDatabase& database, const std::string& name) noexcept
{
    try {
        database.Sql("DROP USER " + name + ";\nCOMMIT;");
    } catch (const std::exception&) {
        // The user was never created or is gone already: nothing to clean.
    }
}

std::string UniqueUserName(const std::string& prefix)
{
    static std::atomic<int> counter{0};
    return prefix + std::to_string(::getpid()) + "X" + std::to_string(counter++);
}

} // namespace morvane::test
