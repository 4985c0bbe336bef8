#include "session/JobSettings.h"

#include "global/Global_Utils.h"
#include "platform/RegistryStore.h"
#include "support/CommandLineGuard.h"
#include "support/FileText.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <functional>
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
                                               "GraceTransactions", "HealthMaxTransactionGap",
                                               "HealthMaxBackVersions", "HealthMaxVersionChain",
                                               "HealthMinDataPercent", "HealthTables", "HealthCheckAuto",
                                               "GarderLectureClients"}));
    // MetricsFolder, GraceTransactions and the health keys are the administrator's: the window never
    // writes them, so "Save config" keeps them.
    EXPECT_EQ(optional, (std::vector<std::string>{"PageSize", "PageBuffers", "MetricsFolder", "MetricsGroup",
                                               "GraceTransactions", "HealthMaxTransactionGap",
                                               "HealthMaxBackVersions", "HealthMaxVersionChain",
                                               "HealthMinDataPercent", "HealthTables", "HealthCheckAuto",
                                               "GarderLectureClients"}));

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

// A text that is no integer is refused with the system's own words; a number the
// setting does not take is refused with what it takes; a page size below the
// smallest the server creates is read as that one, and the caller is told.
TEST(JobSettingsTest, PageValuesAreTakenRoundedUpOrRefusedWithWhatIsAccepted)
{
    const auto pageSize = [](std::string_view text, bool& roundedUp) { return PageSizeSetting(text, &roundedUp); };
    const auto pageBuffers = [](std::string_view text, bool& roundedUp) {
        roundedUp = false;
        return PageBuffersSetting(text);
    };
    const auto grace = [](std::string_view text, bool& roundedUp) {
        roundedUp = false;
        return TransactionGraceSetting(text);
    };
    using Convert = std::function<int(std::string_view, bool&)>;
    const std::string notANumber = "n'est pas une valeur numérique valide";
    const std::string sizes = "n'est pas une valeur acceptée (tailles de page 4096, 8192 ou 16384)";
    const std::string buffers = "n'est pas une valeur acceptée (de 0 à 131072)";
    const struct {
        Convert convert;
        const char* text;
        int value;           // -1: refused
        bool roundedUp;
        std::string refusal; // after the quoted text
    } cases[] = {
        {pageSize, "4096", 4096, false, ""},
        {pageSize, "8192", 8192, false, ""},
        {pageSize, " 16384 ", 16384, false, ""},
        // What older servers created and the window once offered.
        {pageSize, "1024", 4096, true, ""},
        {pageSize, "2048", 4096, true, ""},
        {pageSize, "1", 4096, true, ""},
        {pageSize, "32768", -1, false, sizes},
        {pageSize, "5000", -1, false, sizes},
        {pageSize, "0", -1, false, sizes},
        {pageSize, "-4096", -1, false, sizes},
        {pageSize, "8k", -1, false, notANumber},
        {pageSize, "", -1, false, notANumber},
        {pageSize, "8192.0", -1, false, notANumber},
        {pageBuffers, "0", 0, false, ""},
        {pageBuffers, "131072", 131072, false, ""},
        {pageBuffers, "131073", -1, false, buffers},
        {pageBuffers, "-1", -1, false, buffers},
        {pageBuffers, "beaucoup", -1, false, notANumber},
        {pageBuffers, "99999999999", -1, false, notANumber},
        {grace, "0", 0, false, ""},
        {grace, " 10 ", 10, false, ""},
        {grace, "600", 600, false, ""},
        {grace, "601", -1, false, "n'est pas une valeur acceptée (de 0 à 600 secondes)"},
        {grace, "-1", -1, false, "n'est pas une valeur acceptée (de 0 à 600 secondes)"},
        {grace, "dix", -1, false, notANumber},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        bool roundedUp = !c.roundedUp;
        if (c.value >= 0) {
            EXPECT_EQ(c.convert(c.text, roundedUp), c.value);
            EXPECT_EQ(roundedUp, c.roundedUp);
            continue;
        }
        try {
            c.convert(c.text, roundedUp);
            ADD_FAILURE() << "taken";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.Message(), std::string("'") + c.text + "' " + c.refusal);
        }
    }
    EXPECT_EQ(PageSizeRoundedUpText(" 1024"),
              "taille de page 1024 lue comme 4096: Firebird 3 ne crée pas de pages de moins de 4096 octets");
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
