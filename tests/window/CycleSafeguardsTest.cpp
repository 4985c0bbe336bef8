// The safeguards of the unattended cycle, with the built program against the real
// server: the refusals before anything runs (a site's mistakes, databases the cycle
// cannot rebuild as they are, journals that cannot be resolved) and a restored file
// that differs kept aside. A database shut down for the cycle and brought back online
// when the run fails is in SecurityTest.cpp; runs killed half-way are in the fault tests.

#include "CycleProgramFixture.h"

#include "cycle/CycleExitStatus.h"
#include "support/FileText.h"

#include <unistd.h>

#include <filesystem>
#include <functional>

namespace morvane::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using CycleSafeguardsTest = CycleProgramTest;

// Each row sets up what a site gets wrong, runs the program unattended and takes
// its setup back for the next row. Refused before anything runs: the exit status
// says so, the log says why, no batch file ran, nobody was sent away, nothing was
// moved or written beside the database, and its header and rows are as they were.
TEST_F(CycleSafeguardsTest, RefusalsBeforeAnythingRunsLeaveTheSiteAsItWas)
{
    const std::string shadow = DatabaseFile("BD.SHD");
    const std::string otherFileSystem = "/dev/shm/morvane-test-" + std::to_string(::getpid());
    const std::vector<std::string> refusedByThePreflight{"vérification préalable refused"};
    const std::vector<std::string> refusedByTheDatabaseChecks{"vérification préalable ok",
                                                              "vérification de la base refused"};
    struct Case {
        const char* name;
        bool testHooks;                                     // runs the test program (TestHooksProgram.cpp)
        std::function<std::vector<std::string>()> setUp;    // returns the run's extra environment
        int exitStatus;
        std::vector<std::string> logged;
        std::vector<std::string> steps;                     // the run report's steps
        std::function<void()> checkAndTakeBack;             // what the row adds to the checks, then its undo
    };
    const Case cases[] = {
        {"not enough free space", true,
         [] { return std::vector<std::string>{"MORVANE_TEST_FREE_SPACE=4096"}; }, ExitPreflightRefused,
         {"[001] Morvane : Vérification avant le cycle: espace libre insuffisant sur ", "4096 octets libres"},
         refusedByThePreflight, [] {}},
        // The report still shows the header's page buffers: 0 here, where an
        // attachment would report the server's default cache.
        {"a job settings page value out of range", false,
         [&] {
             RunGfix({"-buffers", "0"}, database_->ConnectionString());
             WriteJobSettings("PageSize=8192\nPageBuffers=200000\n");
             return std::vector<std::string>{};
         },
         ExitPreflightRefused, {"[001] Morvane : '200000' n'est pas une valeur acceptée (de 0 à 131072)."},
         refusedByThePreflight,
         [&] {
             EXPECT_EQ(RunReport()["before"].toObject()["pageBuffers"].toInt(-1), 0);
             RunGfix({"-buffers", std::to_string(CyclePageBuffers)}, database_->ConnectionString());
         }},
        {"a rename path on another file system", false,
         [&] {
             std::filesystem::create_directories(otherFileSystem);
             WriteJobSettings("RenamePath=" + otherFileSystem + "/BD.FIB.BKP\n");
             return std::vector<std::string>{};
         },
         ExitPreflightRefused,
         {"n'est pas sur le même système de fichiers que la base de données " + DatabasePath()},
         refusedByThePreflight,
         [&] {
             EXPECT_TRUE(std::filesystem::is_empty(otherFileSystem));
             std::filesystem::remove_all(otherFileSystem);
         }},
        {"a shadow", false,
         [&] {
             database_->Sql("CREATE SHADOW 1 '" + shadow + "';\nCOMMIT;\n");
             return std::vector<std::string>{};
         },
         ExitPreflightRefused, {"a un shadow (" + shadow + ")"}, refusedByTheDatabaseChecks,
         [&] {
             EXPECT_TRUE(Exists(shadow));
             database_->Sql("DROP SHADOW 1;\nCOMMIT;\n");
             std::filesystem::remove(shadow);
         }},
        {"a database in nbackup's lock", false,
         [&] {
             database_->Sql("ALTER DATABASE BEGIN BACKUP;\nCOMMIT;\n");
             return std::vector<std::string>{};
         },
         ExitPreflightRefused, {"est en cours de sauvegarde nbackup"}, refusedByTheDatabaseChecks,
         [&] { database_->Sql("ALTER DATABASE END BACKUP;\nCOMMIT;\n"); }},
    };
    const auto header = [this] {
        const std::string statistics = database_->HeaderStatistics().Output;
        std::vector<std::string> values;
        for (const char* label : {"Page size", "Page buffers", "Attributes", "Sweep interval:"})
            values.push_back(label + std::string(" ") + HeaderValue(statistics, label));
        return values;
    };
    const std::vector<std::string> asCreated = header();
    ASSERT_EQ(asCreated.front(), "Page size 4096") << "the header can be read";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* file : {"morvane.log", "morvane.ini", "batches.txt"})
            std::filesystem::remove(programFolder_.File(file));
        std::filesystem::remove(ReportFile());
        UseProgram(c.testHooks ? MORVANE_PROGRAM_WITH_TEST_HOOKS : MORVANE_PROGRAM);
        const std::vector<std::string> environment = c.setUp();
        const std::vector<std::string> before = header();

        const ToolResult result = RunAuto(environment);

        EXPECT_EQ(result.ExitCode, c.exitStatus) << result.Output << Log();
        const std::string log = Log();
        for (const std::string& text : c.logged)
            EXPECT_THAT(log, HasSubstr(text));
        EXPECT_TRUE(BatchesRun().empty()) << "no batch file ran";
        EXPECT_THAT(log, Not(HasSubstr("Envoi demande de fermeture"))) << "nobody was sent away";
        EXPECT_THAT(log, Not(HasSubstr("Tous les utilisateurs sont déconnectés")));
        EXPECT_FALSE(Exists(RenamePath()));
        EXPECT_FALSE(Exists(NewFile()));
        EXPECT_FALSE(Exists(DatabaseFile("Morvane.fbk")));
        EXPECT_FALSE(Exists(Journal()));
        EXPECT_EQ(header(), before) << "the database's header is as it was";
        EXPECT_EQ(Rows(), CycleRows);
        EXPECT_EQ(StepsThatRan(), c.steps) << "nothing ran after the refusal";
        if (c.steps.empty()) {
            EXPECT_FALSE(Exists(ReportFile()));
        } else {
            EXPECT_EQ(RunReport()["exitStatus"].toInt(-1), c.exitStatus);
        }
        c.checkAndTakeBack();
        EXPECT_EQ(header(), asCreated) << "the row's setup was taken back";
    }
}

TEST_F(CycleSafeguardsTest, RestoredFileThatDiffersIsKeptAsideAndTheOldDatabaseStaysOnline)
{
    // A valid backup of the database as it was before ten more rows came in: the
    // middle batch file puts it in place of the cycle's own backup, with the size
    // and the time of the cycle's backup, so that only the verification can tell.
    const std::string earlier = DatabaseFile("plus-ancien.fbk");
    const ToolResult backup =
        RunTool({"gbak", "-b", database_->ConnectionString(), earlier}, SysdbaEnvironment());
    ASSERT_EQ(backup.ExitCode, 0) << backup.Output;
    database_->Sql("INSERT INTO CLIENTS SELECT ID + 100000, NOM FROM CLIENTS ROWS 10;\nCOMMIT;\n");
    const std::string own = DatabaseFile("Morvane.fbk");
    WriteBatchFile("MidProcess.cmd", "size=$(stat -c %s '" + own + "')\ntouch -r '" + own + "' reference\ncat '" +
                                         earlier + "' > '" + own + "'\ntruncate -s \"$size\" '" + own +
                                         "'\ntouch -r reference '" + own + "'\n");

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, ExitRestoreFailed) << result.Output << Log();

    EXPECT_EQ(Rows(), CycleRows + 10) << "the old database is at its path and attaches";
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
    EXPECT_FALSE(Exists(RenamePath())) << "the file moved before the backup is back";
    EXPECT_TRUE(Exists(NewFile())) << "the new file is kept for inspection";
    EXPECT_EQ(FreshDatabase::HeaderStatisticsOf(NewFile()).ExitCode, 0);
    EXPECT_FALSE(Exists(DatabaseFile("Morvane.fbk")));
    EXPECT_FALSE(Exists(Journal()));

    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr("[001] Vérification de la nouvelle base " + NewFile() + ": table CLIENTS: " +
                               std::to_string(CycleRows) + " lignes au lieu de " + std::to_string(CycleRows + 10)));
    EXPECT_THAT(log, HasSubstr("elle reste sous le nom " + NewFile() + " pour examen, la base de données reste à sa "
                               "place."));
    ASSERT_EQ(BatchesRun().size(), 3u) << "the site's services are started again";
    EXPECT_THAT(ReportedSteps(),
                ::testing::IsSupersetOf({"restore ok", "vérification de la nouvelle base failed", "swap skipped"}));
}

// Neither radio button checked: a file the batch before the backup writes at the
// rename path may not be replaced. It is kept as it is, the database back online.
TEST_F(CycleSafeguardsTest, AFileWrittenAtTheRenamePathByTheBatchBeforeTheBackupIsKept)
{
    WriteJobSettings("BeforeBackup=0\nAfterRestore=0\n");
    WriteBatchFile("StopServices.cmd", "printf 'copie du site' > '" + RenamePath() + "'\n");

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, ExitBackupFailed) << result.Output << Log();
    EXPECT_EQ(ReadFileText(RenamePath()), "copie du site");
    EXPECT_FALSE(Exists(PreviousCopyPath(RenamePath())));
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_THAT(Attributes(), Not(HasSubstr("shutdown")));
    EXPECT_FALSE(Exists(Journal()));
    EXPECT_THAT(Log(), HasSubstr("un fichier est apparu au chemin de renommage " + RenamePath()));
    EXPECT_THAT(BatchesRun().back(), HasSubstr("StartServices.cmd"));
}

// A journal found where another user could have written it (beside the database,
// in a folder of the server's user) decides nothing unless it is the run's own and
// names only this database's paths: a forged one would have the run move any file.
TEST_F(CycleSafeguardsTest, AJournalThatCannotBeTrustedStopsTheStartAndStays)
{
    const std::string besideDatabase = DatabasePath() + ".morvane-journal";
    const std::string ownJournal = "MORVANE JOURNAL 1\ndatabase=" + DatabasePath() + "\nrename=" + RenamePath() +
                                   "\nnew=" + DatabasePath() + "_Morvane\ndone moved-before-backup\n";
    const std::string victim = DatabaseFile("victime");
    const std::string forged = "MORVANE JOURNAL 1\ndatabase=" + victim + "\nrename=" + DatabasePath() +
                               "\nnew=" + DatabaseFile("rien") + "\nbegin moved-before-backup\n";
    struct Case {
        const char* name;
        std::string path;
        std::string journal;
        std::function<void(const std::string&)> prepare;
        const char* logged;
    } const cases[] = {
        {"not a journal", programFolder_.File("morvane-cycle.journal"), "pas un journal\n", {}, "en-tête absent"},
        {"naming another file as the database", besideDatabase, forged, {}, "il nomme la base " },
        {"written by another user", besideDatabase, ownJournal,
         [](const std::string& path) { RunTool({"chown", "firebird:firebird", path}); },
         "il n'appartient pas à l'utilisateur du programme"},
        {"open to others' writes", besideDatabase, ownJournal,
         [](const std::string& path) { std::filesystem::permissions(path, std::filesystem::perms::group_write,
                                                                     std::filesystem::perm_options::add); },
         "d'autres utilisateurs peuvent l'écrire"},
        {"a link", besideDatabase, ownJournal,
         [](const std::string& path) {
             std::filesystem::rename(path, path + ".cible");
             std::filesystem::create_symlink(path + ".cible", path);
         },
         "c'est un lien symbolique"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileText(c.path, c.journal);
        std::filesystem::permissions(c.path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        if (c.prepare)
            c.prepare(c.path);

        const ToolResult result = RunAuto();
        EXPECT_EQ(result.ExitCode, ExitStartUpError) << result.Output << Log();
        EXPECT_THAT(Log(), HasSubstr("[001] Journal du cycle non pris en compte: " + c.path));
        EXPECT_THAT(Log(), HasSubstr(c.logged));
        EXPECT_TRUE(std::filesystem::is_symlink(c.path) || Exists(c.path)) << "left for the administrator";
        EXPECT_FALSE(Exists(victim)) << "nothing was moved";
        EXPECT_TRUE(BatchesRun().empty()) << "no cycle started";
        EXPECT_EQ(Rows(), CycleRows);
        std::filesystem::remove(c.path);
        std::filesystem::remove(c.path + ".cible");
    }
}

// An upgrade between an interrupted night and the next: the journal the earlier
// version left beside the database, the run's own and naming this database's paths,
// is resolved, then the cycle runs.
TEST_F(CycleSafeguardsTest, AJournalAnEarlierVersionLeftBesideTheDatabaseIsResolved)
{
    std::filesystem::rename(DatabasePath(), RenamePath());
    const std::string journal = DatabasePath() + ".morvane-journal";
    WriteFileText(journal, "MORVANE JOURNAL 1\ndatabase=" + DatabasePath() + "\nrename=" + RenamePath() +
                               "\nnew=" + DatabasePath() + "_Morvane\nbegin moved-before-backup\n"
                               "done moved-before-backup\n");
    std::filesystem::permissions(journal, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    const ToolResult result = RunAuto();
    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_THAT(Log(), HasSubstr("[001] Ancienne base remise à sa place: " + RenamePath() + " => " + DatabasePath()));
    EXPECT_FALSE(Exists(journal));
    EXPECT_EQ(Rows(), CycleRows);
}

} // namespace
} // namespace morvane::test
