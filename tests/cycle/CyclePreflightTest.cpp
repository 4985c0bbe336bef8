// The checks before the cycle and the comparison of the restored file, without a
// server: a temporary folder and a free-space probe that says what the test wants.

#include "cycle/CyclePreflight.h"
#include "cycle/CycleVerification.h"

#include "support/TemporaryFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace morvane::test {
namespace {

using ::testing::HasSubstr;

class CyclePreflight : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ofstream(Database()) << std::string(1000, 'x');
        std::filesystem::create_directory(backup_.File("sauvegardes"));
    }
    std::string Database() const { return database_.File("BD.FDB"); }
    // A link beside the database to the database itself.
    std::string LinkToDatabase() const
    {
        const std::string link = database_.File("BD.LIEN");
        if (!std::filesystem::is_symlink(link))
            std::filesystem::create_symlink(Database(), link);
        return link;
    }
    PreflightInput Input() const { return {Database(), backup_.File("sauvegardes"), database_.File("BD.FIB.BKP")}; }

    // The database folder and the backup folder each on a file system of their own,
    // or both on one, with the free bytes given.
    FreeSpaceProbe Probe(std::uint64_t databaseFree, std::uint64_t backupFree, bool oneFileSystem = false) const
    {
        return [=, this](const std::string& folder) -> std::optional<FileSystemSpace> {
            if (folder == database_.Path())
                return FileSystemSpace{1, databaseFree};
            return FileSystemSpace{oneFileSystem ? 1u : 2u, backupFree};
        };
    }

    TemporaryFolder database_;
    TemporaryFolder backup_;
    // Another file system than the temporary folder's: shared memory is a tmpfs of its own.
    struct ShmFolder {
        std::string path = "/dev/shm/morvane-preflight-" + std::to_string(::getpid());
        ShmFolder() { std::filesystem::create_directories(path); }
        ~ShmFolder() { std::filesystem::remove_all(path); }
        std::string File(const std::string& name) const { return path + "/" + name; }
    } OtherFileSystem_;
};

TEST_F(CyclePreflight, FreeSpaceMustHoldTheBackupAndTheNewFile)
{
    struct Case {
        const char* name;
        std::uint64_t databaseFree;
        std::uint64_t backupFree;
        bool oneFileSystem;
        const char* refusal; // nullptr: accepted
    } const cases[] = {
        {"room on both", 1000, 1000, false, nullptr},
        {"backup folder short by one byte", 1000, 999, false,
         "espace libre insuffisant sur le dossier de backup "},
        {"database folder short by one byte", 999, 1000, false,
         "espace libre insuffisant sur le dossier de la base "},
        {"one file system holding both", 2000, 2000, true, nullptr},
        {"one file system with room for one copy", 1999, 1999, true, "1999 octets libres, 2000 octets nécessaires"},
    };
    for (const Case& c : cases) {
        const auto refusal = PreflightRefusal(Input(), Probe(c.databaseFree, c.backupFree, c.oneFileSystem));
        if (c.refusal == nullptr)
            EXPECT_EQ(refusal, std::nullopt) << c.name;
        else
            EXPECT_THAT(refusal.value_or(""), HasSubstr(c.refusal)) << c.name;
    }
    const auto unreadable = [](const std::string&) { return std::optional<FileSystemSpace>(); };
    EXPECT_THAT(PreflightRefusal(Input(), unreadable).value_or(""), HasSubstr("est illisible"));
}

TEST_F(CyclePreflight, PathsAreCheckedBeforeAnyRoomIsCounted)
{
    struct Case {
        const char* name;
        PreflightInput input;
        std::string refusal;
    } const cases[] = {
        {"database missing", {database_.File("AUTRE.FDB"), Input().backupFolder, Input().renamePath},
         "la base de données " + database_.File("AUTRE.FDB") + " est introuvable sur cette machine"},
        {"database is a folder", {backup_.File("sauvegardes"), Input().backupFolder, Input().renamePath},
         "n'est pas un fichier"},
        {"backup folder missing", {Database(), backup_.File("absent"), Input().renamePath},
         "le dossier de backup " + backup_.File("absent") + " n'existe pas"},
        {"backup folder is a file", {Database(), Database(), Input().renamePath}, "le dossier de backup"},
        {"rename path is the database", {Database(), Input().backupFolder, Database()},
         "le chemin de renommage " + Database() + " est celui de la base de données"},
        {"rename path reaches the database by another spelling",
         {Database(), Input().backupFolder, database_.Path() + "/./BD.FDB"}, "est celui de la base de données"},
        {"rename path is a folder", {Database(), Input().backupFolder, backup_.File("sauvegardes")}, "est un dossier"},
        {"rename path empty", {Database(), Input().backupFolder, ""}, "le chemin de renommage est vide"},
        {"rename folder missing", {Database(), Input().backupFolder, database_.File("absent/BD.FIB.BKP")},
         "le dossier du chemin de renommage " + database_.File("absent") + " n'existe pas"},
        {"rename path on another file system", {Database(), Input().backupFolder, OtherFileSystem_.File("BD.BKP")},
         "n'est pas sur le même système de fichiers que la base de données " + Database()},
        // Named through a link or an alias: the message says which file was compared.
        {"the file a link leads to missing",
         {database_.File("AUTRE.FDB"), Input().backupFolder, Input().renamePath, true, "", "/srv/lien/AUTRE.FDB"},
         "la base de données /srv/lien/AUTRE.FDB (fichier réel " + database_.File("AUTRE.FDB") +
             ") est introuvable sur cette machine"},
        {"rename path beside the link, the file elsewhere",
         {Database(), Input().backupFolder, OtherFileSystem_.File("BD.FIB.BKP"), true, "",
          OtherFileSystem_.File("BD.FDB")},
         "le chemin de renommage " + OtherFileSystem_.File("BD.FIB.BKP") +
             " n'est pas sur le même système de fichiers que la base de données " + OtherFileSystem_.File("BD.FDB") +
             " (fichier réel " + Database() + ")"},
        {"rename path is a link to the database", {Database(), Input().backupFolder, LinkToDatabase(), true, "", "monalias"},
         "le chemin de renommage " + LinkToDatabase() + " (fichier réel " + Database() +
             ") est celui de la base de données monalias (fichier réel " + Database() + ")"},
    };
    for (const Case& c : cases) {
        const std::string refusal = PreflightRefusal(c.input, Probe(1u << 30, 1u << 30)).value_or("");
        EXPECT_THAT(refusal, ::testing::StartsWith("Vérification avant le cycle: ")) << c.name;
        EXPECT_THAT(refusal, HasSubstr(c.refusal)) << c.name;
    }
}

// What the DB File text names must lead to a file of this machine, in a form the
// program can use: else nothing runs, not even the lock is taken.
TEST(CyclePreflightNames, ANameThatLeadsToNoFileOfThisMachineIsRefused)
{
    const struct {
        const char* text;
        const char* named;
        const char* real;
        const char* refusal; // nullptr: accepted
    } cases[] = {
        {"127.0.0.1:/srv/db/BD.FDB", "/srv/db/BD.FDB", "/srv/db/BD.FDB", nullptr},
        {"127.0.0.1:monalias", "monalias", "/srv/db/BD.FDB", nullptr},
        {"inet://127.0.0.1//srv/lien/BD.FDB", "/srv/lien/BD.FDB", "/srv/db/BD.FDB", nullptr},
        {"127.0.0.1:inconnu", "inconnu", "inconnu",
         "le serveur ne dit pas quel fichier est la base 127.0.0.1:inconnu (un alias qu'il ne connaît pas, ou une "
         "base absente), et inconnu n'est pas un chemin de fichier de cette machine: rien n'a été lancé"},
        {"127.0.0.1:C:\\BD\\BD.FDB", "C:\\BD\\BD.FDB", "C:\\BD\\BD.FDB", "n'est pas un chemin de fichier de cette machine"},
        {"xnet://BD.FDB", "xnet://BD.FDB", "xnet://BD.FDB", "sous la forme « xnet:// »"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<std::string> refusal = DatabaseNameRefusal(c.text, c.named, c.real);
        if (c.refusal == nullptr) {
            EXPECT_EQ(refusal, std::nullopt);
            continue;
        }
        EXPECT_THAT(refusal.value_or(""), ::testing::StartsWith("Vérification avant le cycle: "));
        EXPECT_THAT(refusal.value_or(""), HasSubstr(c.refusal));
    }
}

TEST_F(CyclePreflight, ACopyLeftAtTheRenamePathIsReplacedOnlyWhenAsked)
{
    std::ofstream(Input().renamePath) << "copie d'hier";
    EXPECT_EQ(PreflightRefusal(Input(), Probe(1u << 30, 1u << 30)), std::nullopt);

    PreflightInput keepIt = Input();
    keepIt.mayReplacePrevious = false;
    EXPECT_THAT(PreflightRefusal(keepIt, Probe(1u << 30, 1u << 30)).value_or(""),
                HasSubstr("ni « Before Backup » ni « After Restore » n'est coché"));

    // A copy an interrupted cycle set aside is never overwritten by the next one.
    std::ofstream(Input().renamePath + ".morvane-precedent") << "copie d'avant-hier";
    EXPECT_THAT(PreflightRefusal(Input(), Probe(1u << 30, 1u << 30)).value_or(""),
                HasSubstr(Input().renamePath + ".morvane-precedent existe encore"));
}

// A job setting the window refused stops the cycle with its own message, before
// anything else is looked at.
TEST_F(CyclePreflight, ARefusedJobSettingComesFirst)
{
    PreflightInput input = Input();
    input.databasePath = database_.File("absent.FDB");
    input.refusedSetting = "'abc' n'est pas une valeur numérique valide";
    EXPECT_EQ(PreflightRefusal(input, Probe(1u << 30, 1u << 30)), input.refusedSetting);
}

TEST(CycleVerification, EveryDifferenceIsNamed)
{
    const DatabaseContents old{{{"CLIENTS", 500}, {"FACTURES", 20}, {"VIDE", 0}}, {}};
    RestoredDatabase same{8192, 3000, old};
    EXPECT_TRUE(VerificationDifferences(8192, 3000, old, same).empty());

    RestoredDatabase restored{4096, 0, {{{"CLIENTS", 499}, {"VIDE", 0}, {"NOUVELLE", 1}}, {"IDX_CLIENTS_NOM"}}};
    EXPECT_EQ(VerificationDifferences(8192, 3000, old, restored),
              (std::vector<std::string>{"taille de page 4096 au lieu de 8192", "page buffers 0 au lieu de 3000",
                                        "index inactif IDX_CLIENTS_NOM",
                                        "table CLIENTS: 499 lignes au lieu de 500",
                                        "table FACTURES absente de la nouvelle base",
                                        "table NOUVELLE absente de l'ancienne base"}));
}

// An index the site made inactive comes back inactive from the restore and is no
// difference; one that was active before is, whatever else is inactive.
TEST(CycleVerification, OnlyAnIndexActiveInTheOldDatabaseCountsWhenInactive)
{
    const struct {
        std::vector<std::string> oldInactive;
        std::vector<std::string> newInactive;
        std::vector<std::string> expected;
    } cases[] = {
        {{"NAMEX"}, {"NAMEX"}, {}},
        {{"NAMEX", "IDX_B"}, {"NAMEX"}, {}},
        {{}, {"NAMEX"}, {"index inactif NAMEX"}},
        {{"NAMEX"}, {"NAMEX", "IDX_B"}, {"index inactif IDX_B"}},
        {{"namex"}, {"NAMEX"}, {"index inactif NAMEX"}},
    };
    for (const auto& c : cases) {
        const DatabaseContents old{{{"CLIENTS", 5}}, c.oldInactive};
        const RestoredDatabase restored{8192, 0, {{{"CLIENTS", 5}}, c.newInactive}};
        EXPECT_EQ(VerificationDifferences(8192, 0, old, restored), c.expected)
            << ::testing::PrintToString(c.oldInactive) << " -> " << ::testing::PrintToString(c.newInactive);
    }
}

// The header settings the site chose come back as they were; a size or page
// buffers are not among them (the run may ask for others).
TEST(CycleVerification, EveryHeaderSettingTheSiteChoseIsCompared)
{
    RunReportDatabase old;
    old.sizeBytes = 1000;
    old.pageBuffers = 3000;
    old.sweepInterval = 20000;
    old.reserve = true;
    old.forcedWrites = true;
    old.readOnly = true;
    old.dialect = 3;
    RunReportDatabase same = old;
    same.sizeBytes = 900;
    same.pageBuffers = 5000;
    EXPECT_TRUE(SettingsDifferences(old, same).empty());

    RunReportDatabase restored;
    restored.sweepInterval = 0;
    restored.reserve = false;
    restored.forcedWrites = false;
    restored.dialect = 1;
    EXPECT_EQ(SettingsDifferences(old, restored),
              (std::vector<std::string>{"intervalle de sweep 0 au lieu de 20000", "espace réservé non au lieu de oui",
                                        "écriture asynchrone au lieu de synchrone", "lecture seule illisible au lieu de oui",
                                        "dialecte SQL 1 au lieu de 3"}));
    EXPECT_TRUE(SettingsDifferences(RunReportDatabase{}, restored).empty()) << "nothing known of the old database";
}

TEST(CycleVerification, TableNamesAreQuotedAsOneIdentifier)
{
    EXPECT_EQ(QuotedIdentifier("CLIENTS"), "\"CLIENTS\"");
    EXPECT_EQ(QuotedIdentifier("Mes \"lignes\""), "\"Mes \"\"lignes\"\"\"");
}

} // namespace
} // namespace morvane::test
