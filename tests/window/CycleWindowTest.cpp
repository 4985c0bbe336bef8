// The window's cycle started by an operator (no AUTO), dialogs answered by a
// scripted operator, against the real server: the ways it stops or ends without
// the swap, and what each leaves behind.

#include "BackgroundProgram.h"
#include "CycleProgramFixture.h"
#include "WindowFixture.h"

#include "fib/IB_ServicesBackup.h"
#include "database/FIB_Deconnexion.h"
#include "support/DbCommandTables.h"
#include "support/FirebirdServer.h"
#include "support/FreshDatabase.h"
#include "support/WorkstationSimulatorProcess.h"
#include "cycle/CycleExitStatus.h"
#include "cycle/CycleJournal.h"
#include "cycle/CycleLock.h"
#include "window/SpinEdit.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest/QTest>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace morvane::test {
namespace {

class CycleWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        MORVANE_REQUIRE_FIREBIRD_SERVER();
        database_ = std::make_unique<FreshDatabase>(FreshDatabase::Access::Server, "BD.FDB", 4096);
        CreateCommandTables(*database_);
        CreateAdministratorRole(*database_);
        database_->Sql("CREATE TABLE CLIENTS (ID INTEGER NOT NULL PRIMARY KEY);\nCOMMIT;\n"
                       "INSERT INTO CLIENTS VALUES (1);\nINSERT INTO CLIENTS VALUES (2);\nCOMMIT;\n");
        WriteProgramFile("Database.ini", "DatabaseName=" + database_->ConnectionString() + "\r\n");
        SetArguments({});
        CreateForm();
        ASSERT_TRUE(Errors().empty()) << Errors().front();
    }

    void RunCycle() { QTest::mouseClick(Control<QPushButton>("btnBackupRestore"), Qt::LeftButton); }
    void SetChecked(const char* name, bool checked) { Control<QAbstractButton>(name)->setChecked(checked); }
    std::string RenamePath() const { return Text("EditRenameCompletePath"); }
    QColor PanelColour() const { return Control<QLabel>("PanelOperation")->palette().color(QPalette::Window); }
    bool MemoHas(const std::string& text) const
    {
        for (const QString& line : form_->MemoLines())
            if (line.toStdString().find(text) != std::string::npos)
                return true;
        return false;
    }
    int Rows() const { return SelectCount(*database_, "SELECT COUNT(*) FROM CLIENTS;"); }

    std::unique_ptr<FreshDatabase> database_;
};

TEST_F(CycleWindowTest, ProgressBarBesideTheStatusPanelFollowsTheBackupThenTheRestore)
{
    SetChecked("cbForceDeconnexion", false);
    QProgressBar* bar = Control<QProgressBar>("ProgressOperation");
    QLabel* panel = Control<QLabel>("PanelOperation");
    EXPECT_EQ(bar->parentWidget(), panel->parentWidget());
    EXPECT_FALSE(bar->geometry().intersects(panel->geometry()));
    EXPECT_EQ(bar->value(), 0);

    std::vector<int> values;
    QObject::connect(bar, &QProgressBar::valueChanged, [&values](int value) { values.push_back(value); });
    std::string whenRestoreStarted;
    form_->SetCycleHooks({[&](std::string_view step) {
                              if (step == "restore-started")
                                  whenRestoreStarted = bar->format().toStdString();
                          },
                          {}});

    RunCycle();

    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(form_->CycleExitCode(), ExitCompleted);
    EXPECT_EQ(Rows(), 2);
    // The backup's bar ended full with its time; the restore's started again and ended full.
    EXPECT_THAT(whenRestoreStarted, ::testing::MatchesRegex("100 % - [0-9]+ s"));
    ASSERT_GE(values.size(), 3u);
    EXPECT_EQ(values.back(), bar->maximum());
    EXPECT_NE(std::find(values.begin(), values.end() - 1, bar->maximum()), values.end() - 1);
    EXPECT_LT(*std::min_element(values.begin(), values.end()), bar->maximum());
    EXPECT_THAT(bar->format().toStdString(), ::testing::MatchesRegex("100 % - [0-9]+ s"));
    // The status panel keeps its own texts; without a middle batch file beside the
    // program the backup is named after its database.
    EXPECT_EQ(panel->text().toStdString(), "Fin restore: Morvane-BD.FDB.fbk");
}

TEST_F(CycleWindowTest, OperatorWhoAnswersNonStopsTheCycleBeforeAnythingMoves)
{
    WorkstationSimulatorProcess simulator(database_->ConnectionString(), WorkstationSimulatorProcess::Mode::Never);
    ScopedWaitFunction noWaiting([](int) {});
    dialogs_->QueueAnswer(DialogAnswer::No);

    RunCycle();

    ASSERT_FALSE(dialogs_->Shown().empty());
    EXPECT_EQ(dialogs_->Shown().front().kind, DialogKind::Confirmation);
    EXPECT_EQ(dialogs_->Shown().front().text, "Avez-vous stoppé tous les services incluant celui du Quorvex ?");
    EXPECT_EQ(Errors(), std::vector<std::string>{"Interruption ... utilisateur n'a pas été stoppé les services."});
    EXPECT_TRUE(std::filesystem::exists(database_->Path()));
    EXPECT_FALSE(std::filesystem::exists(RenamePath()));
    EXPECT_FALSE(form_->FIBDatabase().Connected());
    EXPECT_EQ(form_->CycleExitCode(), ExitDisconnectionRefused);
}

TEST_F(CycleWindowTest, DatabasePathWithoutAFileNeverDeletesTheOnlyCopyAtTheRenamePath)
{
    // As after an earlier cycle whose swap failed: the database is only at the rename path.
    SetChecked("cbForceDeconnexion", false);
    std::filesystem::rename(database_->Path(), RenamePath());
    const auto size = std::filesystem::file_size(RenamePath());

    RunCycle();

    EXPECT_EQ(Errors(), std::vector<std::string>{"Vérification avant le cycle: la base de données " +
                                                 database_->Path() +
                                                 " est introuvable sur cette machine: rien n'a été lancé, "
                                                 "déplacé ni effacé."});
    ASSERT_TRUE(std::filesystem::exists(RenamePath()));
    EXPECT_EQ(std::filesystem::file_size(RenamePath()), size);
    EXPECT_EQ(form_->CycleExitCode(), ExitPreflightRefused);
    // Refused before the batch file before the backup could stop the site's services.
    EXPECT_FALSE(MemoHas("StopServices.cmd"));
}

TEST_F(CycleWindowTest, RenamePathThatIsTheDatabaseItselfDeletesNothing)
{
    for (const bool beforeBackup : {true, false}) {
        SCOPED_TRACE(beforeBackup ? "Before Backup" : "After Restore");
        dialogs_->ClearShown();
        SetChecked(beforeBackup ? "rbRenameBeforeBackup" : "rbRenameAfterRestore", true);
        Control<QLineEdit>("EditRenameCompletePath")->setText(QString::fromStdString(database_->Path()));

        RunCycle();

        // Refused before anything runs, whichever moment the move would have come.
        ASSERT_EQ(Errors().size(), 1u);
        EXPECT_EQ(Errors().front(), "Vérification avant le cycle: le chemin de renommage " + database_->Path() +
                                        " est celui de la base de données.");
        EXPECT_EQ(Rows(), 2);
        EXPECT_EQ(form_->CycleExitCode(), ExitPreflightRefused);
    }
}

TEST_F(CycleWindowTest, ErrorAfterTheMoveBeforeTheBackupPutsTheDatabaseBack)
{
    Control<QComboBox>("ComboBoxPageSize")->setEditText("4k");

    RunCycle();

    EXPECT_EQ(Errors(), std::vector<std::string>{"'4k' n'est pas une valeur numérique valide."});
    EXPECT_EQ(Rows(), 2);
    EXPECT_FALSE(std::filesystem::exists(RenamePath()));
    EXPECT_EQ(form_->FIBDatabase().DBName(), Text("EditDBFile")) << "the window names the file at its path again";
    EXPECT_EQ(form_->CycleExitCode(), ExitRestoreFailed);
}

TEST_F(CycleWindowTest, ACopyAtTheRenamePathThatMayNotBeReplacedRefusesTheCycleBeforeAnythingRuns)
{
    // Neither "Before Backup" nor "After Restore": the file at the rename path stays,
    // so the old database could never go there. Known before anything runs.
    SetChecked("rbRenameBeforeBackup", false);
    SetChecked("rbRenameAfterRestore", false);
    WriteFileText(RenamePath(), "an earlier old file\n");

    RunCycle();

    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors().front(), ::testing::HasSubstr("un fichier existe déjà au chemin de renommage " + RenamePath()));
    EXPECT_EQ(ReadFileText(RenamePath()), "an earlier old file\n");
    EXPECT_FALSE(std::filesystem::exists(database_->Path() + "_Morvane"));
    EXPECT_FALSE(MemoHas("StopServices.cmd"));
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(form_->CycleExitCode(), ExitPreflightRefused);
}

// A batch file that writes, then waits: what it wrote is in the report area while it
// waits. It waits for a file that the window's event loop creates once the report
// area shows its first line, and says whether it saw it.
TEST_F(CycleWindowTest, BatchOutputAppearsInTheReportAreaBeforeTheBatchEnds)
{
    SetChecked("cbForceDeconnexion", false);
    const std::string seen = programFolder_.File("vu");
    WriteProgramFile("StopServices.cmd", "#!/bin/sh\necho 'arrêt des services'\ni=0\n"
                                         "while [ ! -e vu ] && [ $i -lt 150 ]; do sleep 0.1; i=$((i+1)); done\n"
                                         "if [ -e vu ]; then echo 'vu avant la fin'; else echo 'pas vu'; fi\n"
                                         "[ -e vu ] && echo oui > verdict || echo non > verdict\n");
    std::filesystem::permissions(programFolder_.File("StopServices.cmd"), std::filesystem::perms::owner_all);
    bool endShown = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (MemoHas("arrêt des services") && !std::filesystem::exists(seen))
            WriteFileText(seen, "");
        endShown = endShown || MemoHas("vu avant la fin");
    });
    watcher.start(0);

    RunCycle();
    watcher.stop();

    ASSERT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(ReadFileText(programFolder_.File("verdict")), "oui\n");
    // The report area showed the batch's last line too (the new header replaced it since).
    EXPECT_TRUE(endShown);
    EXPECT_EQ(form_->CycleExitCode(), ExitCompleted);
}

// The copy an earlier cycle left at the rename path cannot be set aside (a file
// appeared where it goes, after the checks): the message says so, not that the
// database's move failed, and nothing was moved.
TEST_F(CycleWindowTest, ACopyThatCannotBeSetAsideIsNamedAsSuch)
{
    SetChecked("cbForceDeconnexion", false);
    SetChecked("rbRenameAfterRestore", true);
    WriteFileText(RenamePath(), "an earlier old file\n");
    const std::string previous = PreviousCopyPath(RenamePath());
    WriteProgramFile("StopServices.cmd", "#!/bin/sh\nprintf 'du site' > '" + previous + "'\n");
    std::filesystem::permissions(programFolder_.File("StopServices.cmd"), std::filesystem::perms::owner_all);

    RunCycle();

    EXPECT_EQ(Errors(), std::vector<std::string>{"La copie laissée au chemin de renommage par un cycle précédent n'a "
                                                 "pas pu être mise de côté: " +
                                                 RenamePath() + " => " + previous +
                                                 "; la base n'a pas été déplacée."});
    EXPECT_EQ(ReadFileText(RenamePath()), "an earlier old file\n");
    EXPECT_EQ(ReadFileText(previous), "du site");
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(form_->CycleExitCode(), ExitBackupFailed);
}

TEST_F(CycleWindowTest, AfterACycleTheButtonsActOnTheDatabaseAtItsPath)
{
    SetChecked("rbRenameBeforeBackup", true);
    RunCycle();
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    ASSERT_EQ(form_->CycleExitCode(), 0);
    EXPECT_EQ(form_->FIBDatabase().DBName(), Text("EditDBFile"));

    Control<QSpinBox>("SpinEditSweep")->setValue(777);
    QTest::mouseClick(Control<QPushButton>("btnUpdateSettings"), Qt::LeftButton);

    ASSERT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(HeaderValue(database_->HeaderStatistics().Output, "Sweep interval:"), "777");
    EXPECT_NE(HeaderValue(FreshDatabase::HeaderStatisticsOf(RenamePath()).Output, "Sweep interval:"), "777")
        << "the old copy is left as it was";
}

// The night run rebuilds the database while the operator's window is open on it:
// the window holds nothing that keeps the run off; while the run works, the
// window's inputs are read-only and its buttons wait; once it has ended, the
// window works on the rebuilt database, and values it read before the rebuild are
// read again before Set Values writes any.
TEST_F(CycleWindowTest, AWindowOpenDuringAnotherProcesssCycleWaitsForItThenWorksOnTheRebuiltDatabase)
{
    std::filesystem::copy_file(MORVANE_PROGRAM_WITH_TEST_HOOKS, programFolder_.File("morvane"));
    for (const char* batch : {"StopServices.cmd", "MidProcess.cmd", "StartServices.cmd"}) {
        WriteProgramFile(batch, "#!/bin/sh\n");
        std::filesystem::permissions(programFolder_.File(batch), std::filesystem::perms::owner_all);
    }
    WriteProgramFile("AppLogger.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<AppLogger Version="1.2"><AllStations><AllApplications>
  <Fichier class="TFileLogger" NiveauMax="255" LogSpecifique="0"><FileName>morvane.log</FileName></Fichier>
</AllApplications></AllStations></AppLogger>
)");
    const auto log = [this] { return ReadFileText(programFolder_.File("morvane.log")); };
    const std::string marker = programFolder_.File("morvane-paused");
    struct LockFolderRemoval {
        std::string folder;
        ~LockFolderRemoval() { std::filesystem::remove_all(folder); }
    } removal{std::filesystem::path(CycleLockPath(database_->Path())).parent_path().string()};
    const std::string sweepBefore = std::to_string(Control<TSpinEdit>("SpinEditSweep")->Value());

    BackgroundProgram night(programFolder_.File("morvane"),
                            {"QT_QPA_PLATFORM=offscreen",
                             std::string("LSAN_OPTIONS=suppressions=") + MORVANE_LSAN_SUPPRESSIONS + ":use_tls=0",
                             "MORVANE_TEST_PAUSE_AT=backup-started", "MORVANE_TEST_LONGEST_WAIT=2"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(marker) || !night.Running(); }, 240000))
        << log();
    ASSERT_TRUE(std::filesystem::exists(marker)) << log();

    // The run works on the database: the window waits.
    ASSERT_TRUE(QTest::qWaitFor([this] { return AllInputsEditable(false); }, 5000));
    const std::string waiting = "Un autre cycle Morvane travaille sur la base " + database_->Path() + " (pid ";
    EXPECT_THAT(Control<QLabel>("PanelOperation")->text().toStdString(), ::testing::StartsWith(waiting));
    dialogs_->ClearShown();
    QTest::mouseClick(Control<QPushButton>("bGetValeursActuelles"), Qt::LeftButton);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors()[0], ::testing::StartsWith(waiting));
    EXPECT_THAT(Errors()[0], ::testing::EndsWith("): attendez sa fin."));

    std::filesystem::remove(marker);
    EXPECT_EQ(night.Wait(std::chrono::seconds(240)), ExitCompleted) << log();
    EXPECT_EQ(Rows(), 2);
    ASSERT_TRUE(QTest::qWaitFor([this] { return AllInputsEditable(true); }, 5000));

    // The rebuilt file took the old one's place: the values the window read from the
    // old one are read again, not written.
    dialogs_->ClearShown();
    Control<QSpinBox>("SpinEditSweep")->setValue(777);
    QTest::mouseClick(Control<QPushButton>("btnUpdateSettings"), Qt::LeftButton);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors()[0], ::testing::StartsWith("La base " + database_->Path() +
                                                   " a été reconstruite depuis la lecture de ses valeurs"));
    EXPECT_EQ(std::to_string(Control<TSpinEdit>("SpinEditSweep")->Value()), sweepBefore);
    EXPECT_NE(HeaderValue(database_->HeaderStatistics().Output, "Sweep interval:"), "777");

    // Every button works on the rebuilt database, without an error for the old one's attachments.
    dialogs_->ClearShown();
    Control<QSpinBox>("SpinEditSweep")->setValue(777);
    for (const char* button : {"btnUpdateSettings", "ButtonListInfo", "bGetValeursActuelles"})
        QTest::mouseClick(Control<QPushButton>(button), Qt::LeftButton);
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(HeaderValue(database_->HeaderStatistics().Output, "Sweep interval:"), "777");
    EXPECT_EQ(Control<TSpinEdit>("SpinEditSweep")->Value(), 777);
}

TEST_F(CycleWindowTest, FailedBackupLeavesNoSessionOpenAndSkipsTheRestore)
{
    Control<QLineEdit>("EditDBBackup")->setText(QString::fromStdString(programFolder_.Path() + "/"));

    RunCycle();

    // The server's own reason follows the program's sentence.
    ASSERT_EQ(Errors().size(), 1u);
    // The last line of the backup's output says where it stopped.
    const std::string backupFile = programFolder_.Path() + "/Morvane-BD.FDB.fbk";
    EXPECT_THAT(Errors().front(), ::testing::StartsWith("Le backup a échoué: pas de restore, la base de données reste "
                                                        "à sa place.\nMessage du serveur :\n"));
    EXPECT_THAT(Errors().front(), ::testing::HasSubstr("\nCannot open backup file " + backupFile));
    EXPECT_THAT(Errors().front(), ::testing::Not(::testing::HasSubstr("service is not attached")));
    EXPECT_FALSE(form_->BackupService1().Active());
    EXPECT_FALSE(form_->RestoreService1().Active());
    EXPECT_TRUE(std::filesystem::exists(database_->Path()));
    EXPECT_FALSE(std::filesystem::exists(RenamePath()));
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(PanelColour(), QColor(255, 0, 0));
    EXPECT_EQ(form_->CycleExitCode(), ExitBackupFailed);
}

} // namespace
} // namespace morvane::test
