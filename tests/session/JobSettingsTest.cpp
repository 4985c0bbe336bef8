#include "session/JobSettings.h"

#include "global/Global_Utils.h"
#include "platform/RegistryStore.h"
#include "support/CommandLineGuard.h"
#include "support/FileText.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string_view>
#include <vector>

namespace morvane {
namespace {

TEST(JobSettingsTest, DefaultsFollowTheDatabasePath)
{
    const TJobSettings settings = DefaultJobSettings("127.0.0.1:D:\\Gestion\\DATA.GDB");
    EXPECT_TRUE(settings.forcerDeconnexionClient);
    EXPECT_TRUE(settings.beforeBackup);
    EXPECT_FALSE(settings.afterRestore);
    EXPECT_EQ(settings.renamePath, "D:\\Gestion\\DATA.FIB.BKP");
    EXPECT_EQ(settings.emplacementBackup, "D:\\Gestion\\");
    EXPECT_EQ(settings.batchFileBeforeBackup, "StopServices.cmd");
    EXPECT_EQ(settings.batchFileAfterBackup, "MidProcess.cmd");
    EXPECT_EQ(settings.batchFileAfterRestore, "StartServices.cmd");
}

// An alias or a link names no file of the database's folder: the defaults follow the
// file the server said it leads to, in any form of the text.
TEST(JobSettingsTest, DefaultsFollowTheFileAnAliasOrALinkLeadsTo)
{
    for (const char* text : {"127.0.0.1:monalias", "inet://127.0.0.1/monalias", "127.0.0.1:/srv/lien/BD.FDB"}) {
        SCOPED_TRACE(text);
        const TJobSettings settings = DefaultJobSettings(text, "/srv/reel/BD.FDB");
        EXPECT_EQ(settings.renamePath, "/srv/reel/BD.FIB.BKP");
        EXPECT_EQ(settings.emplacementBackup, "/srv/reel/");
    }
    EXPECT_EQ(DefaultJobSettings("inet://127.0.0.1//srv/db/BD.FDB").renamePath, "/srv/db/BD.FIB.BKP");
}

TEST(JobSettingsTest, WriteThenReadKeepsTheRestOfTheFile)
{
    test::TemporaryFolder folder;
    const std::string name = folder.File("morvane.ini");
    test::WriteFileText(name, "; site notes\r\n[Other]\r\nKey = kept\r\nnot a key line\r\n; last words\r\n");

    TJobSettings written;
    written.forcerDeconnexionClient = false;
    written.beforeBackup = false;
    written.afterRestore = true;
    written.renamePath = "/srv/old/BD.FIB.BKP";
    written.emplacementBackup = "/srv/backup/";
    written.batchFileBeforeBackup = "";
    TJobSettingsFile file(name);
    file.Write("127.0.0.1:/srv/BD.FDB", written);

    bool found = false;
    // Section and key names are compared without regard to case.
    EXPECT_EQ(file.Read("127.0.0.1:/SRV/bd.fdb", TJobSettings{}, found), written);
    EXPECT_TRUE(found);

    const std::string text = test::ReadFileText(name);
    EXPECT_NE(text.find("; site notes"), std::string::npos);
    EXPECT_EQ(text.rfind("; site notes\r\n[Other]\r\nKey = kept\r\nnot a key line\r\n; last words\r\n", 0), 0u);
    const std::string expectedOrder[] = {"ForcerDeconnexionClient=0", "BeforeBackup=0", "AfterRestore=1",
                                         "RenamePath=/srv/old/BD.FIB.BKP", "EmplacementBackup=/srv/backup/",
                                         "BatchFileBeforeBackup=", "BatchFileAfterBackup=MidProcess.cmd",
                                         "BatchFileAfterRestore=StartServices.cmd"};
    std::size_t position = 0;
    for (const std::string& line : expectedOrder) {
        SCOPED_TRACE(line);
        const std::size_t at = text.find(line, position);
        ASSERT_NE(at, std::string::npos);
        position = at + line.size();
    }
}

TEST(JobSettingsTest, MissingOrUnreadableValuesGiveTheDefaults)
{
    test::TemporaryFolder folder;
    const std::string name = folder.File("morvane.ini");
    const std::string longText(3000, 'x');
    test::WriteFileText(name, "[db]\nbeforebackup=oui\nAfterRestore=7\nForcerDeconnexionClient=0\nRenamePath=" +
                                  longText + "\n[empty]\n");
    TJobSettings defaults = DefaultJobSettings("srv:/data/BD.FDB");
    TJobSettingsFile file(name);

    bool found = false;
    const TJobSettings read = file.Read("db", defaults, found);
    EXPECT_TRUE(found);
    EXPECT_TRUE(read.beforeBackup);   // not an integer: default
    EXPECT_TRUE(read.afterRestore);   // any integer other than 0
    EXPECT_FALSE(read.forcerDeconnexionClient);
    EXPECT_EQ(read.renamePath, std::string(2047, 'x'));
    EXPECT_EQ(read.emplacementBackup, "/data/");

    EXPECT_EQ(file.Read("empty", defaults, found), defaults);
    EXPECT_FALSE(found); // a section without keys counts as missing
    EXPECT_EQ(file.Read("absent", defaults, found), defaults);
    EXPECT_FALSE(found);
}

// The key table is what reads and writes a section: every member has its key, the
// eight always written, the two page values only when set, after them.
TEST(JobSettingsTest, OptionalKeysAreWrittenAfterTheEightOthersOnlyWhenSet)
{
    std::vector<std::string> names;
    std::vector<std::string> optional;
    for (const TJobSettingsKey& key : JobSettingsKeys()) {
        names.emplace_back(key.name);
        if (key.optional)
            optional.emplace_back(key.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"ForcerDeconnexionClient", "BeforeBackup", "AfterRestore",
                                               "RenamePath", "EmplacementBackup", "BatchFileBeforeBackup",
                                               "BatchFileAfterBackup", "BatchFileAfterRestore", "PageSize",
                                               "PageBuffers", "MetricsFolder", "MetricsGroup",
                                               "GraceTransactions"}));
    // MetricsFolder and GraceTransactions are the administrator's: the window never
    // writes them, so "Save config" keeps them.
    EXPECT_EQ(optional, (std::vector<std::string>{"PageSize", "PageBuffers", "MetricsFolder", "MetricsGroup",
                                               "GraceTransactions"}));

    test::TemporaryFolder folder;
    const std::string name = folder.File("morvane.ini");
    TJobSettingsFile file(name);
    TJobSettings settings = DefaultJobSettings("srv:/data/BD.FDB");
    file.Write("without", settings);
    settings.pageSize = "8192";
    settings.pageBuffers = "4096";
    file.Write("with", settings);

    const std::string text = test::ReadFileText(name);
    EXPECT_EQ(text.find("PageSize"), text.rfind("PageSize")) << text;
    EXPECT_NE(text.find("BatchFileAfterRestore=StartServices.cmd\nPageSize=8192\nPageBuffers=4096\n"),
              std::string::npos)
        << text;

    bool found = false;
    EXPECT_EQ(file.Read("with", TJobSettings{}, found), settings);
    const TJobSettings without = file.Read("without", settings, found);
    EXPECT_EQ(without.pageSize, "8192") << "a missing key keeps the default it was given";
    EXPECT_EQ(file.Read("without", TJobSettings{}, found).pageBuffers, std::nullopt);
}

TEST(JobSettingsTest, PageValuesOutsideWhatTheWindowOffersAreNotNumbers)
{
    const struct {
        int (*convert)(std::string_view);
        const char* text;
        int value; // -1: refused
    } cases[] = {
        {PageSizeSetting, "4096", 4096},   {PageSizeSetting, "8192", 8192},   {PageSizeSetting, " 16384 ", 16384},
        {PageSizeSetting, "1024", -1},     {PageSizeSetting, "2048", -1},     {PageSizeSetting, "32768", -1},
        {PageSizeSetting, "8k", -1},       {PageSizeSetting, "", -1},         {PageSizeSetting, "8192.0", -1},
        {PageBuffersSetting, "0", 0},      {PageBuffersSetting, "4096", 4096}, {PageBuffersSetting, "131072", 131072},
        {PageBuffersSetting, "131073", -1}, {PageBuffersSetting, "-1", -1},   {PageBuffersSetting, "beaucoup", -1},
        {PageBuffersSetting, "99999999999", -1},
        {TransactionGraceSetting, "0", 0},  {TransactionGraceSetting, " 10 ", 10}, {TransactionGraceSetting, "600", 600},
        {TransactionGraceSetting, "601", -1}, {TransactionGraceSetting, "-1", -1}, {TransactionGraceSetting, "dix", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.value >= 0) {
            EXPECT_EQ(c.convert(c.text), c.value);
            continue;
        }
        try {
            c.convert(c.text);
            ADD_FAILURE() << "taken";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.Message(), std::string("'") + c.text + "' n'est pas une valeur numérique valide");
        }
    }
}

TEST(JobSettingsTest, RefusedWriteNamesTheFile)
{
    test::TemporaryFolder folder;
    const std::string name = folder.File("no-such-folder/morvane.ini");
    try {
        TJobSettingsFile(name).Write("db", TJobSettings{});
        ADD_FAILURE() << "no error";
    } catch (const EIniFileException& error) {
        EXPECT_EQ(error.Message(), "Unable to write to " + name);
    }
}

TEST(JobSettingsTest, RegistryFillsTheFirstFiveKeysWhenItHoldsThem)
{
    test::TemporaryFolder folder;
    testing::CommandLineGuard commandLine({folder.File("morvane")});
    const std::string store = folder.File("registry.reg");
    platform::SetRegistryFileLocation(store);
    struct Reset {
        ~Reset() { platform::SetRegistryFileLocation(""); }
    } reset;

    // No store at all: the defaults.
    EXPECT_EQ(JobSettingsFromRegistry("srv:/data/BD.FDB"), DefaultJobSettings("srv:/data/BD.FDB"));

    test::WriteFileText(store, "Windows Registry Editor Version 5.00\r\n\r\n"
                     "[HKEY_CURRENT_USER\\Software\\Calvenor\\Morvane\\FormMorvane]\r\n"
                     "\"RenamePath\"=\"/archive/BD.old\"\r\n"
                     "\"EmplacementBackup\"=\"\"\r\n"
                     "\"AfterRestore\"=dword:00000001\r\n"
                     "\"ForcerDeconnexionClient\"=dword:00000000\r\n");
    const TJobSettings settings = JobSettingsFromRegistry("srv:/data/BD.FDB");
    EXPECT_EQ(settings.renamePath, "/archive/BD.old");
    EXPECT_EQ(settings.emplacementBackup, "/data/"); // empty in the registry: default
    EXPECT_TRUE(settings.afterRestore);
    EXPECT_FALSE(settings.forcerDeconnexionClient);
    EXPECT_TRUE(settings.beforeBackup);
    EXPECT_EQ(settings.batchFileAfterBackup, "MidProcess.cmd");
}

} // namespace
} // namespace morvane
