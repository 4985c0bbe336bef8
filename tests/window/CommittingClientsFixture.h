#pragma once
// The unattended program's fixture with what committing clients need: a COMMITS
// table and an ordinary user allowed to write into it, dropped at the end.

#include "CycleProgramFixture.h"

#include "support/FileText.h"

#include <filesystem>
#include <unistd.h>
#include <string>

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
            RunAdministratorScript("DROP USER " + ClientUser + ";\nCOMMIT;\n", SysdbaPassword);
        CycleProgramTest::TearDown();
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
