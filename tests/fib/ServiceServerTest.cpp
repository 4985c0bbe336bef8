// The service components against the real Firebird server, each test on a fresh
// database; the server's own tools (fbstat, isql-fb, fbsvcmgr) are the oracles.

#include "fib/IB_ServicesBackup.h"
#include "fib/ServiceOutputLines.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/fib.h"
#include "support/FirebirdServer.h"
#include "support/FreshDatabase.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

using namespace morvane;
using namespace morvane::fib;
using morvane::test::FreshDatabase;

namespace {

const TStringList SysdbaParams = {std::string("user_name=") + test::SysdbaUser,
                                  std::string("password=") + test::SysdbaPassword};

// The main window's way of setting up a service component.
template <typename Service>
Service& MakeService(TComponent& form, const std::string& name, const std::string& serverName = test::ServerHost)
{
    auto& service = form.CreateOwned<Service>();
    service.SetName(name);
    service.SetLoginPrompt(false);
    service.SetServerName(serverName);
    service.SetParams(SysdbaParams);
    return service;
}

std::vector<std::string> ReadOutput(TpFIBControlAndQueryService& service)
{
    std::vector<std::string> lines;
    while (!service.Eof()) {
        const std::string line = service.GetNextLine();
        if (!service.Eof())
            lines.push_back(line);
    }
    return lines;
}

// The report without what changes from one run to the next: the tool's own time
// stamps, and the attachment counter that every attach (the tool's own included) moves.
// Backs the database up to backupFile, then restores it beside itself as
// "<path>_Morvane" with page size 8192 and 2000 page buffers, as the cycle does;
// returns the restored file's path.
std::string BackupThenRestore(TComponent& form, const FreshDatabase& db, const std::string& backupFile,
                              const std::string& serverName)
{
    auto& backup = MakeService<TpFIBBackupService>(form, "BackupService1", serverName);
    backup.DatabaseName = db.Path();
    backup.BackupFile = {backupFile};
    backup.Options = {TBackupOption::NoGarbageCollection};
    backup.Attach();
    backup.ServiceStart();
    EXPECT_EQ(backup.ActionCode(), 1);
    ReadOutput(backup);
    backup.Detach();

    const std::string restored = db.Path() + "_Morvane";
    auto& restore = MakeService<TpFIBRestoreService>(form, "RestoreService1", serverName);
    restore.BackupFile = {backupFile};
    restore.DatabaseName = {restored};
    restore.PageSize = 8192;
    restore.PageBuffers = 2000;
    restore.Options = {TRestoreOption::Replace};
    restore.Attach();
    restore.ServiceStart();
    EXPECT_EQ(restore.ActionCode(), 2);
    ReadOutput(restore);
    restore.Detach();
    return restored;
}

std::vector<std::string> MeaningfulHeaderLines(const std::vector<std::string>& lines)
{
    std::vector<std::string> kept;
    for (std::string line : lines) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty() || line.find("Gstat execution time") != std::string::npos ||
            line.find("Gstat completion time") != std::string::npos ||
            line.find("Next attachment ID") != std::string::npos)
            continue;
        kept.push_back(line);
    }
    return kept;
}

std::vector<std::string> HeaderReport(TComponent& form, const std::string& databaseName, const std::string& serverName)
{
    auto& stats = MakeService<TpFIBStatisticalService>(form, "FIBStatisticalService", serverName);
    stats.DatabaseName = databaseName;
    stats.Options = {TStatOption::HeaderPages};
    stats.Attach();
    stats.ServiceStart();
    auto lines = ReadOutput(stats);
    stats.Detach();
    return lines;
}

class ServiceServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MORVANE_REQUIRE_FIREBIRD_SERVER();
        form.SetName("FormMorvane");
    }
    TComponent form;
};

} // namespace

TEST_F(ServiceServerTest, HeaderStatisticsAreWhatFbstatPrints)
{
    FreshDatabase db;
    const auto report = HeaderReport(form, db.Path(), test::ServerHost);
    const auto oracle = db.HeaderStatistics();
    ASSERT_EQ(oracle.ExitCode, 0) << oracle.Output;
    const auto expected = MeaningfulHeaderLines(test::OutputLines(oracle.Output));
    EXPECT_GT(expected.size(), 10u);
    EXPECT_EQ(MeaningfulHeaderLines(report), expected);
    // The main window names the database by its whole connection text, server included.
    TComponent window;
    EXPECT_EQ(MeaningfulHeaderLines(HeaderReport(window, db.ConnectionString(), test::ServerHost)), expected);
}

TEST_F(ServiceServerTest, TextNotifyGetsEveryLineThenTheEmptyOne)
{
    FreshDatabase db;
    auto& stats = MakeService<TpFIBStatisticalService>(form, "FIBStatisticalService");
    stats.DatabaseName = db.Path();
    stats.Options = {TStatOption::HeaderPages};
    std::vector<std::string> lines;
    stats.OnTextNotify = [&](TComponent& sender, const std::string& line) {
        EXPECT_EQ(&sender, &stats);
        lines.push_back(line);
    };
    stats.Attach();
    stats.ServiceStart();
    EXPECT_TRUE(stats.Eof());
    stats.Detach();
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), ""), 1);
    // After the end the output is not asked for again: this works even detached.
    EXPECT_EQ(stats.GetNextLine(), "");
}

// A verbose backup's output read in bulk, in replies of any size, gives the lines
// the line-by-line read gives, byte for byte; a request that fails gives its last lines, then its error.
TEST_F(ServiceServerTest, OutputReadInBulkIsTheOutputReadLineByLine)
{
    FreshDatabase db;
    db.Sql("CREATE TABLE T1 (ID INTEGER);\nCREATE SEQUENCE S1;\nCOMMIT;\n"
           "INSERT INTO T1 SELECT 1 FROM RDB$RELATIONS;\nCOMMIT;\n");
    // replySize 0: line by line. A reader that pauses between replies lets the request
    // end while output is still waiting in the server.
    const auto backupLines = [&](std::int32_t replySize, std::chrono::milliseconds pause = {}) {
        const bool inBulk = replySize > 0;
        auto& backup = MakeService<TpFIBBackupService>(form, "Backup" + std::to_string(replySize));
        backup.DatabaseName = db.Path();
        backup.BackupFile = {db.Folder().File("both.fbk")};
        backup.Options = {};
        backup.Verbose = true;
        backup.Attach();
        backup.ServiceStart();
        std::vector<std::string> lines;
        if (inBulk) {
            ServiceOutputLines splitter;
            while (!backup.Eof()) {
                for (std::string& line : splitter.Feed(backup.GetNextChunk(1, replySize)))
                    lines.push_back(std::move(line));
                std::this_thread::sleep_for(pause);
            }
            if (auto last = splitter.Finish())
                lines.push_back(*last);
        } else {
            lines = ReadOutput(backup);
        }
        backup.Detach();
        return lines;
    };
    const std::vector<std::string> lineByLine = backupLines(0);
    ASSERT_GT(lineByLine.size(), 20u);
    // Replies of any size, down to a few bytes that cut every line.
    for (const std::int32_t replySize : {TpFIBControlAndQueryService::ChunkReplySize, 256, 16})
        EXPECT_EQ(backupLines(replySize), lineByLine) << replySize;
    EXPECT_EQ(backupLines(256, std::chrono::milliseconds(20)), lineByLine) << "a slow reader";

    auto& stats = MakeService<TpFIBStatisticalService>(form, "FIBStatisticalService");
    stats.DatabaseName = "/nonexistent/folder/none.fdb";
    stats.Options = {TStatOption::HeaderPages};
    stats.Attach();
    try {
        stats.ServiceStart();
        while (!stats.Eof())
            stats.GetNextChunk();
        FAIL() << "statistics of a missing database succeeded";
    } catch (const EFIBInterBaseError& error) {
        EXPECT_NE(error.Message().find("/nonexistent/folder/none.fdb"), std::string::npos) << error.Message();
    }
    EXPECT_FALSE(stats.Active());
}

TEST_F(ServiceServerTest, EachSetterChangesTheHeader)
{
    struct Case {
        const char* name;
        std::function<void(TpFIBConfigService&)> apply;
        const char* label;
        std::function<bool(const std::string&)> shows;
    };
    const Case cases[] = {
        {"page buffers", [](auto& s) { s.SetPageBuffers(3000); }, "Page buffers",
         [](const std::string& v) { return v == "3000"; }},
        {"sweep interval", [](auto& s) { s.SetSweepInterval(4321); }, "Sweep interval",
         [](const std::string& v) { return v == "4321"; }},
        {"no reserve", [](auto& s) { s.SetReserveSpace(false); }, "Attributes",
         [](const std::string& v) { return v.find("no reserve") != std::string::npos; }},
        {"async writes", [](auto& s) { s.SetAsyncMode(true); }, "Attributes",
         [](const std::string& v) { return v.find("force write") == std::string::npos; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FreshDatabase db;
        const auto before = db.HeaderStatistics();
        ASSERT_FALSE(c.shows(test::HeaderValue(before.Output, c.label))) << before.Output;

        auto& config = MakeService<TpFIBConfigService>(form, "ConfigService1");
        config.DatabaseName = db.Path();
        config.Attach();
        c.apply(config);
        config.Detach();

        const auto after = db.HeaderStatistics();
        EXPECT_TRUE(c.shows(test::HeaderValue(after.Output, c.label))) << after.Output;
    }
}

TEST_F(ServiceServerTest, FourSettingsBackToBackOnOneSession)
{
    // The main window sends all four, one after the other, over one session; a
    // setter that returned before the server finished would find the service busy.
    FreshDatabase db;
    auto& config = MakeService<TpFIBConfigService>(form, "ConfigService1");
    config.DatabaseName = db.Path();
    config.Attach();
    for (int round = 0; round < 3; ++round) {
        const bool last = round == 2;
        config.SetPageBuffers(last ? 1500 : 1000 + round);
        config.SetSweepInterval(last ? 9000 : round);
        config.SetReserveSpace(last);
        config.SetAsyncMode(!last);
    }
    config.Detach();
    const auto header = db.HeaderStatistics().Output;
    EXPECT_EQ(test::HeaderValue(header, "Page buffers"), "1500");
    EXPECT_EQ(test::HeaderValue(header, "Sweep interval"), "9000");
    const auto attributes = test::HeaderValue(header, "Attributes");
    EXPECT_NE(attributes.find("force write"), std::string::npos) << attributes;
    EXPECT_EQ(attributes.find("no reserve"), std::string::npos) << attributes;
}

TEST_F(ServiceServerTest, BackupThenRestoreChangesPageSizeAndBuffersAndKeepsTheRows)
{
    FreshDatabase db(FreshDatabase::Access::Server, "BD.FDB", 4096);
    db.Sql("CREATE TABLE ITEMS (ID INTEGER NOT NULL PRIMARY KEY, LABEL VARCHAR(40));\n"
           "COMMIT;\n"
           "SET TERM ^;\n"
           "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN\n"
           "  WHILE (I < 2500) DO BEGIN INSERT INTO ITEMS VALUES (:I, 'row ' || :I); I = I + 1; END\n"
           "END^\n"
           "SET TERM ;^\n"
           "COMMIT;");
    ASSERT_EQ(test::HeaderValue(db.HeaderStatistics().Output, "Page size"), "4096");

    const std::string restored = BackupThenRestore(form, db, db.Folder().File("Morvane.fbk"), test::ServerHost);

    const auto header = FreshDatabase::HeaderStatisticsOf(restored);
    ASSERT_EQ(header.ExitCode, 0) << header.Output;
    EXPECT_EQ(test::HeaderValue(header.Output, "Page size"), "8192");
    EXPECT_EQ(test::HeaderValue(header.Output, "Page buffers"), "2000");
    const std::string count =
        db.SqlOn(std::string(test::ServerHost) + ":" + restored,
                 "SELECT COUNT(*), SUM(ID), MAX(LABEL) FROM ITEMS;");
    EXPECT_NE(count.find("2500"), std::string::npos) << count;
    EXPECT_NE(count.find("3123750"), std::string::npos) << count; // 0 + 1 + ... + 2499
}

TEST_F(ServiceServerTest, FetchGivesTheServersRootDirectory)
{
    const auto oracle = test::RunTool({"fbsvcmgr", std::string(test::ServerHost) + ":service_mgr", "info_get_env"},
                                      test::SysdbaEnvironment());
    ASSERT_EQ(oracle.ExitCode, 0) << oracle.Output;
    const std::string prefix = "Server root: ";
    const auto start = oracle.Output.find(prefix);
    ASSERT_NE(start, std::string::npos) << oracle.Output;
    const std::string root = test::OutputLines(oracle.Output.substr(start + prefix.size())).front();

    auto& properties = MakeService<TpFIBServerProperties>(form, "IBServerProperties");
    properties.Attach();
    properties.Fetch();
    properties.Detach();
    EXPECT_EQ(properties.ConfigParams().RootDirectory, root);
    EXPECT_FALSE(properties.ConfigParams().LockDirectory.empty());
    EXPECT_FALSE(properties.ConfigParams().MessageDirectory.empty());
}

TEST_F(ServiceServerTest, FetchDatabaseInfoCountsAnAttachmentHeldOpen)
{
    FreshDatabase db;
    auto& properties = MakeService<TpFIBServerProperties>(form, "IBServerProperties");
    auto listed = [&] {
        properties.Attach();
        properties.FetchDatabaseInfo();
        properties.Detach();
        const auto& info = properties.DatabaseInfo();
        EXPECT_EQ(info.DatabaseNames.Count(), static_cast<std::size_t>(info.DatabaseCount));
        return info.DatabaseNames.IndexOf(db.Path(), NameMatch::ExactCase) >= 0;
    };
    EXPECT_FALSE(listed());

    // An attachment through the binding itself, held for the length of the query.
    auto library = GetClientLibrary(DefaultClientLibraryName);
    const std::string dbName = db.ConnectionString();
    std::vector<char> dpb = {isc_dpb_version1, isc_dpb_user_name, 6};
    dpb.insert(dpb.end(), {'S', 'Y', 'S', 'D', 'B', 'A'});
    const std::string password = test::SysdbaPassword;
    dpb.push_back(isc_dpb_password);
    dpb.push_back(static_cast<char>(password.size()));
    dpb.insert(dpb.end(), password.begin(), password.end());
    isc_db_handle handle = 0;
    ASSERT_EQ(library->isc_attach_database(StatusVector(), static_cast<short>(dbName.size()), dbName.c_str(), &handle,
                                           static_cast<short>(dpb.size()), dpb.data()),
              0);
    EXPECT_TRUE(listed());
    EXPECT_GE(properties.DatabaseInfo().AttachmentCount, 1);
    library->isc_detach_database(StatusVector(), &handle);
    EXPECT_FALSE(listed());
}

TEST_F(ServiceServerTest, WrongPasswordNamesTheComponentAndLeavesItDetached)
{
    auto& stats = MakeService<TpFIBStatisticalService>(form, "FIBStatisticalService");
    stats.SetParams({"user_name=SYSDBA", "password=not-the-password"});
    try {
        stats.Attach();
        FAIL() << "attached with a wrong password";
    } catch (const EFIBInterBaseError& error) {
        const std::string start = "FormMorvane.FIBStatisticalService:\r\n";
        EXPECT_EQ(error.Message().substr(0, start.size()), start) << error.Message();
        EXPECT_EQ(error.ServerErrorCode(), isc_login);
        EXPECT_EQ(error.Sender(), &stats);
        EXPECT_NE(error.ServerMessage().find("Your user name and password are not defined"), std::string::npos)
            << error.ServerMessage();
    }
    EXPECT_FALSE(stats.Active());
}

TEST_F(ServiceServerTest, AttachedComponentRefusesChangesAndDetachedUseIsError65)
{
    auto errorOf = [](auto action) {
        try {
            action();
        } catch (const EFIBClientError& error) {
            return error.SqlCode();
        }
        return -1;
    };
    auto& stats = MakeService<TpFIBStatisticalService>(form, "FIBStatisticalService");
    stats.DatabaseName = "/nowhere.fdb";
    EXPECT_EQ(errorOf([&] { stats.ServiceStart(); }), 65);
    EXPECT_EQ(errorOf([&] { stats.Detach(); }), 65);
    stats.SetActive(false); // nothing to do
    EXPECT_EQ(errorOf([&] { stats.GetNextLine(); }), 68);

    stats.SetActive(true);
    ASSERT_TRUE(stats.Active());
    EXPECT_EQ(errorOf([&] { stats.Attach(); }), 66);
    EXPECT_EQ(errorOf([&] { stats.SetParams({}); }), 66);
    EXPECT_EQ(stats.Params(), SysdbaParams);
    EXPECT_EQ(errorOf([&] { stats.SetServerName("localhost"); }), 66);
    EXPECT_EQ(errorOf([&] { stats.SetProtocol(TProtocol::Local); }), 66);
    EXPECT_EQ(errorOf([&] { stats.SetLibraryName(stats.LibraryName()); }), 66);
    stats.SetServerName(test::ServerHost); // the same value is no change
    stats.SetActive(false);
    EXPECT_FALSE(stats.Active());
}

TEST_F(ServiceServerTest, SettersAndQueriesOnADetachedComponentGetTheClientsRefusal)
{
    // They do not check the attachment themselves: the client refuses the null handle.
    auto& config = MakeService<TpFIBConfigService>(form, "ConfigService1");
    config.DatabaseName = "/nowhere.fdb";
    EXPECT_THROW(config.SetPageBuffers(100), EFIBInterBaseError);
    auto& properties = MakeService<TpFIBServerProperties>(form, "IBServerProperties");
    EXPECT_THROW(properties.Fetch(), EFIBInterBaseError);
    EXPECT_THROW(properties.FetchDatabaseInfo(), EFIBInterBaseError);
    EXPECT_FALSE(properties.Active());
}

TEST_F(ServiceServerTest, ServerErrorDuringARequestLeavesTheComponentDetached)
{
    auto& stats = MakeService<TpFIBStatisticalService>(form, "FIBStatisticalService");
    stats.DatabaseName = "/nonexistent/folder/none.fdb";
    stats.Options = {TStatOption::HeaderPages};
    stats.Attach();
    // The server reports the failure of the request on the query that reads its output.
    try {
        stats.ServiceStart();
        ReadOutput(stats);
        FAIL() << "statistics of a missing database succeeded";
    } catch (const EFIBInterBaseError& error) {
        EXPECT_EQ(error.SenderName(), "FormMorvane.FIBStatisticalService");
        EXPECT_NE(error.Message().find("/nonexistent/folder/none.fdb"), std::string::npos) << error.Message();
    }
    EXPECT_FALSE(stats.Active());
    stats.SetActive(false); // counts as detached: nothing to do
    EXPECT_THROW(stats.Detach(), EFIBClientError);
}

TEST(ServiceLocal, RequestsWithoutAServerNameUseTheEmbeddedEngine)
{
    TComponent form;
    form.SetName("FormMorvane");
    FreshDatabase db(FreshDatabase::Access::Local, "local.fdb", 4096);

    const auto report = HeaderReport(form, db.Path(), "");
    const auto oracle = db.HeaderStatistics();
    ASSERT_EQ(oracle.ExitCode, 0) << oracle.Output;
    EXPECT_EQ(MeaningfulHeaderLines(report), MeaningfulHeaderLines(test::OutputLines(oracle.Output)));

    auto& config = MakeService<TpFIBConfigService>(form, "ConfigService1", "");
    EXPECT_EQ(config.Protocol(), TProtocol::Local);
    config.DatabaseName = db.Path();
    config.Attach();
    config.SetSweepInterval(777);
    config.Detach();
    EXPECT_EQ(test::HeaderValue(db.HeaderStatistics().Output, "Sweep interval"), "777");

    const std::string restored = BackupThenRestore(form, db, db.Folder().File("local.fbk"), "");
    const auto header = FreshDatabase::HeaderStatisticsOf(restored);
    EXPECT_EQ(test::HeaderValue(header.Output, "Page size"), "8192") << header.Output;
    EXPECT_EQ(test::HeaderValue(header.Output, "Page buffers"), "2000") << header.Output;
}
