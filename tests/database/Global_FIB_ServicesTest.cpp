#include "core/Text.h"
#include "fib/fib.h"
#include "database/Global_FIB.h"
#include "database/Global_FIB_Services.h"
#include "support/DbCommandTables.h"
#include "support/FirebirdServer.h"
#include "support/FreshDatabase.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::fib;
using namespace morvane::test;

namespace {

// What the server knows of a user: "<admin flag>" or empty when there is no such user.
std::string UserRecord(const FreshDatabase& fresh, std::string literalName)
{
    for (std::size_t quote = literalName.find('\''); quote != std::string::npos;
         quote = literalName.find('\'', quote + 2))
        literalName.insert(quote, 1, '\'');
    const auto lines = OutputLines(fresh.Sql("SET HEADING OFF;\nselect 'U' || iif(sec$admin, 1, 0) from sec$users "
                                             "where sec$user_name = '" + literalName + "';"));
    for (const auto& line : lines)
        if (!line.empty() && line[0] == 'U')
            return line.substr(1);
    return {};
}

// Attaches as the user (with a role when given) and returns CURRENT_ROLE.
std::string CurrentRole(const FreshDatabase& fresh, const std::string& user, const std::string& password,
                        const std::string& role)
{
    TpFIBDatabase database;
    database.SetDBName(fresh.ConnectionString());
    database.ConnectParams().SetUserName(user);
    database.ConnectParams().SetPassword(password);
    database.ConnectParams().SetRoleName(role);
    GlobalFIB().ConnectDatabase(database, false);
    auto query = GlobalFIB().NewQuery(database, true, "select current_role from RDB$DATABASE", true);
    query->Transaction()->StartTransaction();
    query->Execute();
    return Trim(query->Column(0).AsText());
}

// Attaches as the user with the role, in UTF-8, and returns CURRENT_USER and CURRENT_ROLE.
std::pair<std::string, std::string> CurrentUserAndRole(const FreshDatabase& fresh, const std::string& user,
                                                       const std::string& password, const std::string& role)
{
    TpFIBDatabase database;
    database.SetDBName(fresh.ConnectionString());
    database.ConnectParams().SetCharSet("UTF8");
    database.ConnectParams().SetUserName(user);
    database.ConnectParams().SetPassword(password);
    database.ConnectParams().SetRoleName(role);
    GlobalFIB().ConnectDatabase(database, false);
    auto query = GlobalFIB().NewQuery(database, true, "select current_user, current_role from RDB$DATABASE", true);
    query->Transaction()->StartTransaction();
    query->Execute();
    return {Trim(query->Column(0).AsText()), Trim(query->Column(1).AsText())};
}

// Drops users a test may have created, whatever the test's outcome.
class UsersCleanup {
public:
    explicit UsersCleanup(const FreshDatabase& fresh) : fresh_(fresh) {}
    ~UsersCleanup()
    {
        for (const auto& name : quotedNames_)
            ServerUser::Drop(fresh_, name);
    }
    UsersCleanup(const UsersCleanup&) = delete;
    UsersCleanup& operator=(const UsersCleanup&) = delete;
    void Add(const std::string& user) { quotedNames_.push_back(QuoteUserName(user)); }

private:
    const FreshDatabase& fresh_;
    std::vector<std::string> quotedNames_;
};

} // namespace

TEST(GlobalFIBServiceServer, CreatedUserAttachesWithTheAdministratorRole)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    CreateAdministratorRole(fresh);
    UsersCleanup cleanup(fresh);
    const std::string user = UniqueUserName("jd");
    cleanup.Add(user);
    const std::string password = "it's";

    EXPECT_TRUE(TGlobalFIBService::CreateUser(fresh.ConnectionString(), user, password));
    EXPECT_EQ(UserRecord(fresh, UpperCase(user)), "0");
    EXPECT_EQ(CurrentRole(fresh, user, password, AdministratorRoleName), "ROLE_ADMINISTRATEUR");
    // The server refuses an existing name at commit: no role for a user this call did not make.
    const std::string existing = UniqueUserName("OLD");
    ServerUser old(fresh, existing, "old");
    EXPECT_THROW(TGlobalFIBService::CreateUser(fresh.ConnectionString(), existing, "new"), EFIBInterBaseError);
    EXPECT_EQ(CurrentRole(fresh, existing, "old", AdministratorRoleName), "NONE");
}

TEST(GlobalFIBServiceServer, WithoutTheRoleOnlyTheUserIsCreated)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh; // no role_administrateur: a grant would fail
    UsersCleanup cleanup(fresh);
    const std::string user = UniqueUserName("NOROLE");
    cleanup.Add(user);
    EXPECT_TRUE(TGlobalFIBService::CreateUser(fresh.ConnectionString(), user, "pw", false));
    EXPECT_EQ(CurrentRole(fresh, user, "pw", ""), "NONE");
}

TEST(GlobalFIBServiceServer, HostileUserNameAndPasswordExecuteNothing)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    CreateAdministratorRole(fresh);
    UsersCleanup cleanup(fresh);
    const std::string victim = UniqueUserName("EVIL");
    // Pasted into the statement as it stands, this would create the user with the
    // attacker's password (user names have at most 31 characters).
    const std::string hostileName = victim + " PASSWORD 'k' --";
    cleanup.Add(hostileName);
    cleanup.Add(victim);
    TGlobalFIBService::CreateUser(fresh.ConnectionString(), hostileName, "pw", false);
    EXPECT_EQ(UserRecord(fresh, victim), "") << "no user of the injected name";
    EXPECT_EQ(UserRecord(fresh, hostileName), "0") << "the whole text is one user name, as written";

    const std::string user = UniqueUserName("PW");
    cleanup.Add(user);
    const std::string hostilePassword = "x' GRANT ADMIN ROLE --";
    TGlobalFIBService::CreateUser(fresh.ConnectionString(), user, hostilePassword, false);
    EXPECT_EQ(UserRecord(fresh, user), "0") << "not an administrator";
    EXPECT_EQ(CurrentRole(fresh, user, hostilePassword, ""), "NONE") << "the password is the whole text";
}

TEST(GlobalFIBServiceServer, RefusedLoginIsProvisionedAndAttachesAsThatUser)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    CreateAdministratorRole(fresh);
    UsersCleanup cleanup(fresh);
    const std::string user = UniqueUserName("PROV");
    cleanup.Add(user);

    TpFIBDatabase database;
    database.SetDBName(fresh.ConnectionString());
    database.ConnectParams().SetUserName(user);
    database.ConnectParams().SetPassword("secret");
    const TDBParams before = database.DBParams();
    GlobalFIB().ConnectDatabase(database, true);
    ASSERT_TRUE(database.Connected());
    EXPECT_EQ(database.DBParams(), before);
    EXPECT_EQ(database.AttachedUsers(), TStringList{UpperCase(user)}) << "attached as the user, not SYSDBA";
}

TEST(GlobalFIBServiceServer, FailedProvisioningRestoresTheCallerAndReportsTheLogin)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh; // no role: the grant fails after the administrator attached
    UsersCleanup cleanup(fresh);
    const std::string user = UniqueUserName("FAIL");
    cleanup.Add(user);

    TpFIBDatabase database;
    database.SetDBName(fresh.ConnectionString());
    database.ConnectParams().SetUserName(user);
    database.ConnectParams().SetPassword("secret");
    const TDBParams before = database.DBParams();
    try {
        GlobalFIB().ConnectDatabase(database, true);
        FAIL() << "reported success";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message().rfind("EFIBInterBaseError\r-----------------------------\r", 0), 0u) << e.Message();
    }
    EXPECT_FALSE(database.Connected()) << "never left attached as the administrator";
    EXPECT_EQ(database.DBParams(), before);
}

TEST(GlobalFIBServiceServer, NamesAndPasswordsOutsidePlainIdentifiersLogInAsGiven)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    FreshDatabase fresh;
    CreateAdministratorRole(fresh);
    UsersCleanup cleanup(fresh);
    struct Case { std::string user; std::string password; };
    const Case cases[] = {
        {UniqueUserName("jérôme"), "mötdepässe"}, // non-ASCII text, kept as written
        {UniqueUserName("qa21.dot"), "pw"},        // delimited: the dot and the lower case stay
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user);
        cleanup.Add(c.user);
        EXPECT_TRUE(TGlobalFIBService::CreateUser(fresh.ConnectionString(), c.user, c.password));
        EXPECT_EQ(CurrentUserAndRole(fresh, c.user, c.password, AdministratorRoleName),
                  std::make_pair(c.user, std::string("ROLE_ADMINISTRATEUR")));
    }
    EXPECT_EQ(UserRecord(fresh, cases[1].user), "0");
}
