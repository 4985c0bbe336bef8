#include "fib/pFIBDatabase.h"
#include "support/CommandLineGuard.h"
#include "database/Global_FIB.h"
#include "database/Global_FIB_Services.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace morvane;
using namespace morvane::fib;

namespace {

void WriteFile(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Runs the test from another current folder and comes back.
class CurrentFolderGuard {
public:
    explicit CurrentFolderGuard(const std::string& folder) : saved_(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~CurrentFolderGuard()
    {
        std::error_code error;
        std::filesystem::current_path(saved_, error);
    }
    CurrentFolderGuard(const CurrentFolderGuard&) = delete;
    CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

private:
    std::filesystem::path saved_;
};

// A program folder with the program's path set on the command line.
class ConnectionProfileFiles : public ::testing::Test {
protected:
    std::string Folder() const { return folder_.Path() + "/prog"; }
    std::string Load(const std::string& profileName)
    {
        morvane::testing::CommandLineGuard commandLine({Folder() + "/morvane"});
        GlobalFIB().LoadConnectionProfile(database_, profileName);
        return database_.DBName();
    }

    test::TemporaryFolder folder_;
    TpFIBDatabase database_;
};

} // namespace

TEST(ConnectionProfile, FirstLineCommentsBlanksAndTheDatabaseName)
{
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        std::string databaseName;
        std::vector<std::string> params;
    };
    const Case cases[] = {
        {"site profile",
         {"DatabaseName=127.0.0.1:/data/BD.FDB", "user_name=SYSDBA", "", "   ", "  # comment", "#x",
          "  lc_ctype=ISO8859_1", "password=a=b"},
         "127.0.0.1:/data/BD.FDB",
         {"user_name=SYSDBA", "  lc_ctype=ISO8859_1", "password=a=b"}},
        {"name on a later line is also a parameter",
         {"user_name=SYSDBA", "DatabaseName=srv:D:\\X.FDB"},
         "srv:D:\\X.FDB",
         {"DatabaseName=srv:D:\\X.FDB"}},
        {"case does not matter, the value is everything after the first =",
         {"databasename=a=b "},
         "a=b ",
         {}},
        {"a blank before = is part of the name", {"DatabaseName =x", "DATABASENAME=y"}, "y", {"DATABASENAME=y"}},
        {"the first DatabaseName line wins", {"x", "DatabaseName=1", "DatabaseName=2"}, "1",
         {"DatabaseName=1", "DatabaseName=2"}},
        {"no name", {"user_name=SYSDBA", "\tpassword=p"}, "", {"\tpassword=p"}},
        {"empty file", {}, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ConnectionProfile profile = ParseConnectionProfile(c.lines);
        EXPECT_EQ(profile.DatabaseName, c.databaseName);
        EXPECT_EQ(profile.Params, c.params);
    }
}

TEST_F(ConnectionProfileFiles, DefaultProfilesBesideTheProgram)
{
    WriteFile(Folder() + "/Database.ini", "DatabaseName=plain\r\nuser_name=A\r\n");
    EXPECT_EQ(Load(""), "plain");
    EXPECT_EQ(database_.DBParams(), (TDBParams{"lc_ctype=ISO8859_1", "user_name=A"}))
        << "the component's own lines stay first";

    WriteFile(Folder() + "/DatabaseMorvane.ini", "DatabaseName=titled\nuser_name=B\n");
    TpFIBDatabase other;
    morvane::testing::CommandLineGuard commandLine({Folder() + "/morvane"});
    GlobalFIB().LoadConnectionProfile(other, "");
    EXPECT_EQ(other.DBName(), "titled") << "Database<title>.ini comes before Database.ini";
}

TEST_F(ConnectionProfileFiles, NamedProfileBesideTheProgramThenAsGiven)
{
    WriteFile(Folder() + "/site.ini", "DatabaseName=beside\n");
    WriteFile(folder_.Path() + "/cwd/site.ini", "DatabaseName=current\n");
    WriteFile(folder_.Path() + "/conf/other.ini", "DatabaseName=absolute\npassword=x\n");
    CurrentFolderGuard current(folder_.Path() + "/cwd");
    EXPECT_EQ(Load("site.ini"), "beside");
    TpFIBDatabase second;
    morvane::testing::CommandLineGuard commandLine({Folder() + "/morvane"});
    GlobalFIB().LoadConnectionProfile(second, folder_.Path() + "/conf/other.ini");
    EXPECT_EQ(second.DBName(), "absolute");
    EXPECT_EQ(second.DBParams(), (TDBParams{"lc_ctype=ISO8859_1", "password=x"}));
}

TEST_F(ConnectionProfileFiles, MissingProfileNamesTheFileAndLeavesTheComponent)
{
    std::filesystem::create_directories(Folder());
    database_.SetDBName("before");
    try {
        Load("");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Le fichier \"" + Folder() + "/Database.ini\" est inexistant.");
    }
    try {
        Load("foo.ini");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Le fichier \"foo.ini/Database.ini\" est inexistant.");
    }
    EXPECT_EQ(database_.DBName(), "before");
    EXPECT_EQ(database_.DBParams(), TDBParams{"lc_ctype=ISO8859_1"});
}

TEST(GlobalFIB, TransactionPresetsFollowTheTwoFlags)
{
    struct Case { bool readOnly; bool noWait; TStringList lines; };
    const Case cases[] = {
        {false, false, {"write", "wait", "no_rec_version", "read_committed"}},
        {false, true, {"write", "nowait", "rec_version", "read_committed"}},
        {true, false, {"read", "wait", "no_rec_version", "read_committed"}},
        {true, true, {"read", "nowait", "rec_version", "read_committed"}},
    };
    TpFIBDatabase database;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.Text(","));
        const auto transaction = GlobalFIB().NewTransaction(database, c.readOnly, c.noWait);
        EXPECT_EQ(transaction->TRParams(), c.lines);
        EXPECT_EQ(transaction->TPBMode, TTPBMode::tpbDefault);
        EXPECT_EQ(transaction->TimeoutAction, TTransactionAction::TACommit);
        EXPECT_EQ(transaction->DefaultDatabase(), &database);
        EXPECT_FALSE(transaction->Active());
        EXPECT_EQ(transaction->Owner(), nullptr);
    }
}

TEST(GlobalFIB, QueriesBelongToTheirOwnerAndTheSecondFormOwnsItsTransaction)
{
    TpFIBDatabase database;
    TComponent form;
    TpFIBTransaction& shared = GlobalFIB().NewTransaction(form, database, false, true);
    TpFIBQuery& bound = GlobalFIB().NewQuery(form, database, &shared, "select 1 from RDB$DATABASE");
    EXPECT_EQ(bound.Owner(), &form);
    EXPECT_EQ(bound.Transaction(), &shared);
    EXPECT_EQ(bound.Database(), &database);
    EXPECT_EQ(bound.SQL(), TStringList{"select 1 from RDB$DATABASE"});
    EXPECT_FALSE(bound.Prepared());
    EXPECT_EQ(form.ComponentCount(), 2u);

    auto own = GlobalFIB().NewQuery(database, true, "", false);
    ASSERT_NE(own->Transaction(), nullptr);
    EXPECT_EQ(own->Transaction()->Owner(), own.get());
    EXPECT_EQ(own->Transaction()->TRParams(), (TStringList{"read", "wait", "no_rec_version", "read_committed"}));
    EXPECT_EQ(own->ComponentCount(), 1u);
    own.reset(); // frees the transaction with it (the sanitizer build reports a leak otherwise)
}

TEST(GlobalFIBService, UserNamesAndPasswordsAreQuotedOrRefused)
{
    struct Case { const char* user; const char* quoted; };
    const Case users[] = {
        // Plain identifiers go unquoted: the server upper-cases them, as it does the login.
        {"JDUPONT", "JDUPONT"},
        {"jdupont", "jdupont"},
        {"a1_$b", "a1_$b"},
        // Anything else is delimited and kept as written.
        {"x PASSWORD 'p' GRANT ADMIN ROLE --", "\"x PASSWORD 'p' GRANT ADMIN ROLE --\""},
        {"a\"b;c", "\"a\"\"b;c\""},
        {"qa21.dot", "\"qa21.dot\""},
        {"1abc", "\"1abc\""},
        {"_abc", "\"_abc\""},
        {"jérôme21", "\"jérôme21\""},
        // A reserved word needs quotes; inside them, the form a login under it arrives in.
        {"user", "\"USER\""},
        {"Select", "\"SELECT\""},
    };
    for (const auto& c : users)
        EXPECT_EQ(QuoteUserName(c.user), c.quoted) << c.user;
    EXPECT_THROW(QuoteUserName(""), Exception);
    EXPECT_THROW(QuoteUserName("a\nb"), Exception);
    EXPECT_EQ(QuotePassword("p'; drop--"), "'p''; drop--'");
    EXPECT_EQ(QuotePassword(""), "''");
    EXPECT_THROW(QuotePassword(std::string("a\0b", 3)), Exception);
}
