#pragma once
// The unattended program's fixture with what committing clients need: a COMMITS
// table and an ordinary user allowed to write into it, dropped at the end.

#include "CycleProgramFixture.h"

#include "support/FileText.h"

#include <chrono>
#include <filesystem>
#include <set>
#include <unistd.h>
#include <string>
#include <thread>
#include <vector>

namespace morvane::test {

// Users belong to the whole server: each test process has its own, so that tests run
// side by side neither create it twice nor drop it under each other's clients.
inline const std::string ClientUser = "MORVANE_CLIENT_" + std::to_string(::getpid());
inline const std::string ClientPassword = "client21";

class CommittingClientsTest : public CycleProgramTest {
protected:
    void SetUp() override
    {
        CycleProgramTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        database_->Sql("CREATE TABLE COMMITS (CLIENT_ID INTEGER NOT NULL, SEQ INTEGER NOT NULL, "
                       "PRIMARY KEY (CLIENT_ID, SEQ));\nCOMMIT;\n"
                       "CREATE OR ALTER USER " + ClientUser + " PASSWORD '" + ClientPassword + "';\n"
                       "GRANT ALL ON COMMITS TO " + ClientUser + ";\nCOMMIT;\n");
    }
    void TearDown() override
    {
        if (database_)
            DropClientUser();
        CycleProgramTest::TearDown();
    }

    // The user belongs to the whole server: it goes whatever the test did, asked again
    // while the server still lists it (another test changing the users at that moment),
    // and a test that cannot drop it says so.
    void DropClientUser() const
    {
        std::string said;
        for (int attempt = 0; attempt < 10; ++attempt) {
            said = RunAdministratorScript("DROP USER " + ClientUser + ";\nCOMMIT;\n", SysdbaPassword).Output;
            const ToolResult left = RunAdministratorScript(
                "SELECT 'users ' || COUNT(*) FROM SEC$USERS WHERE SEC$USER_NAME = '" + ClientUser + "';\n",
                SysdbaPassword);
            if (left.Output.find("users 0") != std::string::npos)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        ADD_FAILURE() << "the test's server user " << ClientUser << " is still there: " << said;
    }

    // Where the committing clients note each commit they were told succeeded.
    std::string Commits() const { return programFolder_.File("commits.txt"); }

    // Every commit a client noted, missing from the database at its path.
    std::vector<std::string> LostCommits() const
    {
        std::set<std::string> present;
        for (const std::string& line :
             OutputLines(database_->Sql("SELECT 'row ' || CLIENT_ID || ' ' || SEQ FROM COMMITS;")))
            if (line.rfind("row ", 0) == 0)
                present.insert(line.substr(4));
        std::vector<std::string> lost;
        for (const std::string& commit : ReadFileLines(Commits()))
            if (present.count(commit) == 0)
                lost.push_back(commit);
        return lost;
    }

    // Runs statements as SYSDBA with the password given in the script's CONNECT line:
    // nothing secret on a command line, not even the test's own.
    ToolResult RunAdministratorScript(const std::string& statements, const std::string& password) const
    {
        const std::string file = programFolder_.File("administrator.sql");
        WriteFileText(file, "CONNECT '" + database_->ConnectionString() + "' USER 'SYSDBA' PASSWORD '" + password +
                                "';\n" + statements);
        const ToolResult result = RunTool({"isql-fb", "-q", "-ch", "UTF8", "-i", file});
        std::filesystem::remove(file);
        return result;
    }
};

} // namespace morvane::test
