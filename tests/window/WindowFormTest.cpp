// The window without a server: its controls, their rules, the error display, and a
// start-up whose connection profile cannot be found.

#include "WindowFixture.h"

#include "cycle/CycleLock.h"
#include "fib/pFIBDatabase.h"
#include "global/Global_File.h"

#include "window/RadioButton.h"
#include "window/SpinEdit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QTimer>
#include <QtTest/QTest>

#include <filesystem>
#include <optional>
#include <unistd.h>

namespace morvane::test {
namespace {

class WindowFormTest : public WindowTest {
protected:
    void SetUp() override
    {
        SetArguments({});
        CreateForm(); // no profile beside the program: start-up stops at step 3
    }
};

TEST_F(WindowFormTest, ControlsHaveTheirCaptionsAndInitialTexts)
{
    struct Case {
        const char* name;
        const char* text;
    };
    const Case captions[] = {
        {"Label5", "User"},
        {"Label6", "Password"},
        {"Label7", "DB File (Path complet sur le serveur Ex: 127.0.0.1:C:\\CalvenorBD\\BD.FDB)"},
        {"LabelPageBuffers", "Ajustemement Nombre de pages buffer"},
        {"LabelSweep", "Ajustemement Sweep Interval"},
        {"LabelReserve", "Mettre \"RESERVE SPACE\""},
        {"LabelWrite", "Mettre mode écriture \"ASYNC\""},
        {"Label4", "Pages size"},
        {"Label3", "Cluster size on disk:"},
        {"LabelClusterSize", "[]"},
        {"PanelOperation", ""},
        {"Label9", "Rename/Move (complete path)"},
        {"Label2", "Emplacement du fichier FBK  du backup"},
        {"Label10", "Batch file à exécuter avant le backup"},
        {"Label12", "Batch file à exécuter apès le backup"},
        {"Label11", "Batch file à exécuter après le restore"},
    };
    for (const Case& c : captions)
        EXPECT_EQ(Control<QLabel>(c.name)->text().toStdString(), c.text) << c.name;

    const Case buttons[] = {
        {"ButtonListInfo", "List infos"},       {"bGetValeursActuelles", "Get valeurs actuelles"},
        {"Button3", "Get Default Values"},      {"btnUpdateSettings", "Set Values"},
        {"btnBackupRestore", "Backup/Update/Restore"}, {"bSaveConfig", "Save config"},
        {"bGetConfig", "Get config"},           {"cbForceDeconnexion", "Forcer déconnexions clients"},
        {"rbRenameBeforeBackup", "Before Backup"}, {"rbRenameAfterRestore", "After Restore"},
        {"cbGarderLecture", "Base lisible pendant le cycle"},
    };
    for (const Case& c : buttons) {
        EXPECT_EQ(Control<QAbstractButton>(c.name)->text().toStdString(), c.text) << c.name;
        EXPECT_TRUE(Control<QAbstractButton>(c.name)->isEnabled()) << c.name;
    }

    // The start-up stopped before the profile was loaded, so the fields keep their design texts.
    const Case fields[] = {
        {"EditUserFB", "SYSDBA"},
        {"EditPWFB", "plumtavern"},
        {"EditDBFile", "DB FILE"},
        {"EditRenameCompletePath", ""},
        {"EditDBBackup", ""},
        {"eBatchFileAvantBackup", "StopServices.cmd"},
        {"eBatchFileApresBackup", "midprocess.cmd"},
        {"eBatchFileApresRestore", "StartServices.cmd"},
    };
    for (const Case& c : fields)
        EXPECT_EQ(Text(c.name), c.text) << c.name;
    EXPECT_EQ(Control<QLineEdit>("EditPWFB")->echoMode(), QLineEdit::Password);

    const struct {
        const char* name;
        QStringList items;
    } combos[] = {
        {"ComboBoxUseReserve", {"NON", "OUI"}},
        {"ComboBoxWriteMode", {"NON", "OUI"}},
        // The sizes Firebird 3 creates: a smaller one asked would be made 4096.
        {"ComboBoxPageSize", {"4096", "8192", "16384"}},
    };
    for (const auto& c : combos) {
        QComboBox* box = Control<QComboBox>(c.name);
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        EXPECT_EQ(items, c.items) << c.name;
        EXPECT_TRUE(box->isEditable()) << c.name;
        EXPECT_EQ(TFormMorvane::ItemIndex(box), -1) << c.name;
    }

    EXPECT_EQ(Control<TSpinEdit>("SpinEditPageBuffers")->Value(), 0);
    EXPECT_EQ(Control<TSpinEdit>("SpinEditSweep")->Value(), -1);
    EXPECT_FALSE(form_->TimerDelayStart()->isActive());
    EXPECT_EQ(form_->TimerDelayStart()->interval(), 250);
    EXPECT_EQ(form_->size(), QSize(901, 618));
    EXPECT_EQ(form_->windowTitle(), "Morvane - "); // the program file has no version information here

    // The four group boxes and what each holds.
    const struct {
        const char* group;
        const char* title;
        const char* member;
    } groups[] = {
        {"GroupBoxDatabaseInfos", "Database infos", "EditDBFile"},
        {"GroupBoxCurrentDatabase", "Current Database", "MemoCurrentStats"},
        {"GroupBoxUpdateDatabase", "Update database", "PanelOperation"},
        {"GroupBoxBackupRestore", "Backup-Restore", "btnBackupRestore"},
    };
    for (const auto& g : groups) {
        QGroupBox* box = Control<QGroupBox>(g.group);
        EXPECT_EQ(box->title().toStdString(), g.title);
        EXPECT_TRUE(box->isAncestorOf(Control(g.member))) << g.member;
    }
}

TEST_F(WindowFormTest, MissingProfileIsShownAndTheWindowStays)
{
    ASSERT_EQ(Errors().size(), 1u);
    const std::string expected = "Le fichier \"" + programFolder_.Path() + "/Database.ini\" est inexistant.";
    EXPECT_EQ(Errors()[0], expected);
    EXPECT_EQ(dialogs_->Shown()[0].title, "Morvane");
    EXPECT_EQ(form_->HeadlessExitCode(), 0); // no AUTO: the window stays for the operator
}

TEST_F(WindowFormTest, SpinBoxesClampUnlessMinimumEqualsMaximum)
{
    TSpinEdit* buffers = Control<TSpinEdit>("SpinEditPageBuffers");
    TSpinEdit* sweep = Control<TSpinEdit>("SpinEditSweep");
    const struct {
        TSpinEdit* box;
        int set;
        int shown;
    } cases[] = {
        {buffers, 200000, 131072}, {buffers, -5, 0}, {buffers, 4000, 4000},
        {sweep, -7, -7},           {sweep, 2000000000, 2000000000},
    };
    for (const auto& c : cases) {
        c.box->SetValue(c.set);
        EXPECT_EQ(c.box->Value(), c.shown) << c.box->objectName().toStdString() << " " << c.set;
        EXPECT_EQ(c.box->text().toInt(), c.shown);
    }

    // Typed text: a text that is not an integer is the minimum; leaving the field clamps.
    buffers->SetValue(100);
    QLineEdit* typed = buffers->findChild<QLineEdit*>();
    typed->clear();
    EXPECT_EQ(buffers->Value(), 0);
    typed->setText("999999");
    EXPECT_EQ(buffers->Value(), 999999); // the text, until the field is left
    buffers->interpretText();
    EXPECT_EQ(buffers->Value(), 131072);
}

TEST_F(WindowFormTest, TypedNumbersAreTakenWholeAndClampedWhenTheFieldIsLeft)
{
    form_->show();
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    TSpinEdit* buffers = Control<TSpinEdit>("SpinEditPageBuffers");
    TSpinEdit* sweep = Control<TSpinEdit>("SpinEditSweep");
    QLineEdit* elsewhere = Control<QLineEdit>("EditUserFB");

    enum class Leave { FocusOut, Enter };
    const struct {
        TSpinEdit* box;
        const char* typed;
        int value;
    } cases[] = {
        {buffers, "200000", 131072}, {buffers, "150000", 131072}, {buffers, "-5", 0},
        {buffers, "500", 500},       {buffers, "99999999999", 131072}, {sweep, "-250", -250},
    };
    for (const Leave leave : {Leave::FocusOut, Leave::Enter})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.typed) + (leave == Leave::Enter ? " then Enter" : " then focus out"));
            c.box->SetValue(100);
            c.box->setFocus();
            c.box->findChild<QLineEdit*>()->clear();
            QTest::keyClicks(c.box, c.typed);
            // Every keystroke was taken, out of range or not.
            EXPECT_EQ(c.box->text().toStdString(), c.typed);
            if (leave == Leave::Enter)
                QTest::keyClick(c.box, Qt::Key_Return);
            else
                elsewhere->setFocus();
            EXPECT_EQ(c.box->text().toStdString(), std::to_string(c.value));
            // What "Set Values" and the cycle read.
            EXPECT_EQ(c.box->Value(), c.value);
            EXPECT_EQ(form_->ReadCycleRequest().settings.pageBuffers, buffers->Value());
        }
}

TEST_F(WindowFormTest, ComboBoxesHoldAnyTextAndRadioButtonsMayBothBeUnchecked)
{
    QComboBox* writeMode = Control<QComboBox>("ComboBoxWriteMode");
    TFormMorvane::SetItemIndex(writeMode, 1);
    EXPECT_EQ(writeMode->currentText(), "OUI");
    writeMode->setEditText("peut-être");
    EXPECT_EQ(writeMode->currentText(), "peut-être");
    EXPECT_EQ(TFormMorvane::ItemIndex(writeMode), -1);
    writeMode->setEditText("NON");
    EXPECT_EQ(TFormMorvane::ItemIndex(writeMode), 0);
    TFormMorvane::SetItemIndex(writeMode, -1);
    EXPECT_EQ(writeMode->currentText(), "");

    auto* before = Control<TRadioButton>("rbRenameBeforeBackup");
    auto* after = Control<TRadioButton>("rbRenameAfterRestore");
    before->setChecked(true);
    after->setChecked(true);
    EXPECT_FALSE(before->isChecked());
    QTest::mouseClick(before, Qt::LeftButton);
    EXPECT_TRUE(before->isChecked());
    EXPECT_FALSE(after->isChecked());
    QTest::mouseClick(before, Qt::LeftButton); // a click never unchecks
    EXPECT_TRUE(before->isChecked());
    before->setChecked(false);
    EXPECT_FALSE(before->isChecked());
    EXPECT_FALSE(after->isChecked());
}

TEST_F(WindowFormTest, StandardErrorDisplayAddsAFullStopOnlyWhenMissing)
{
    dialogs_->ClearShown();
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Disque plein", "Disque plein."},
        {"Disque plein.", "Disque plein."},
        {"FormMorvane.FIBDatabase:\r\nUnable to complete network request.\r\n",
         "FormMorvane.FIBDatabase:\r\nUnable to complete network request."},
    };
    for (const auto& c : cases)
        form_->ShowStandardError(c.message);
    ASSERT_EQ(Errors().size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(Errors()[i], cases[i].shown);
        EXPECT_EQ(dialogs_->Shown()[i].title, "Morvane");
    }
}

TEST_F(WindowFormTest, AnyOfTheFiveFieldsRereadsTheClusterSizeOfTheDatabaseDrive)
{
    QLineEdit* dbFile = Control<QLineEdit>("EditDBFile");
    dbFile->setText(QString::fromStdString("127.0.0.1:" + programFolder_.File("BD.FDB")));
    EXPECT_EQ(form_->LastDrive(), programFolder_.File("BD.FDB"));
    const QString measured = Control<QLabel>("LabelClusterSize")->text();
    EXPECT_GT(measured.toUInt(), 0u);

    dbFile->setText("127.0.0.1:D:\\Data\\X.FDB");
    EXPECT_EQ(form_->LastDrive(), "D:\\");
    const QString driveFigure = QString::number(GetClusterSize("D:\\")); // whatever the disk layer says for it
    EXPECT_EQ(Control<QLabel>("LabelClusterSize")->text(), driveFigure);

    // Typing in another of the five fields measures the DB File's drive, not that field.
    for (const char* name : {"EditDBBackup", "eBatchFileAvantBackup", "eBatchFileApresBackup", "eBatchFileApresRestore"}) {
        Control<QLabel>("LabelClusterSize")->setText("[]");
        QTest::keyClicks(Control<QLineEdit>(name), "/tmp");
        EXPECT_EQ(Control<QLabel>("LabelClusterSize")->text(), driveFigure) << name;
        EXPECT_EQ(form_->LastDrive(), "D:\\") << name;
    }

    // The same text again is no change: the handler does not run.
    Control<QLabel>("LabelClusterSize")->setText("[]");
    dbFile->setText("127.0.0.1:D:\\Data\\X.FDB");
    EXPECT_EQ(Control<QLabel>("LabelClusterSize")->text(), "[]");
    EXPECT_EQ(form_->FIBDatabase().DBName(), "127.0.0.1:D:\\Data\\X.FDB");
}

TEST_F(WindowFormTest, ProgressLinesGoToTheReportArea)
{
    form_->ClearMemo();
    form_->LogProgressLine("Tous les utilisateurs sont déconnectés");
    form_->LogProgressLine("");
    form_->LogProgressLine("Users connectés : SYSDBA");
    EXPECT_EQ(form_->MemoLines(), (QStringList{"Tous les utilisateurs sont déconnectés", "", "Users connectés : SYSDBA"}));
}

TEST_F(WindowFormTest, StatusPanelStartsEmptyOnButtonFace)
{
    QLabel* panel = Control<QLabel>("PanelOperation");
    EXPECT_EQ(panel->text(), "");
    EXPECT_EQ(panel->palette().color(QPalette::Window), TFormMorvane::ButtonFace());
    EXPECT_TRUE(panel->autoFillBackground());
    form_->SetPanelOperation("Début backup: Morvane.fbk", QColor(255, 255, 0));
    form_->SetPanelOperationColor(QColor(255, 0, 0));
    EXPECT_EQ(panel->text(), "Début backup: Morvane.fbk");
    EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(255, 0, 0));
}

TEST_F(WindowFormTest, LabelMarksPaintTheirColours)
{
    QLabel* label = Control<QLabel>("LabelSweep");
    form_->MarkLabelRunning(label);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    form_->MarkLabelDone(label);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    form_->MarkLabelIdle(label);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 0));
}

// Another process's cycle on the database the DB File text names: the window takes
// no lock, but sees this one (taken here as a night run takes it) within a second or
// two. Until that cycle has ended every input is read-only and every button that
// acts on the database only says why it waits.
TEST_F(WindowFormTest, WhileAnotherCycleHoldsTheDatabasesLockTheWindowWaitsForItsEnd)
{
    const std::string database = programFolder_.File("BD.FDB");
    WriteFileText(database, "database");
    struct LockFolderRemoval {
        std::string folder;
        ~LockFolderRemoval() { std::filesystem::remove_all(folder); }
    } removal{std::filesystem::path(CycleLockPath(database)).parent_path().string()};
    Control<QLineEdit>("EditDBFile")->setText(QString::fromStdString(database));
    const QString panelBefore = Control<QLabel>("PanelOperation")->text();
    QTest::qWait(1500);
    ASSERT_TRUE(AllInputsEditable(true));

    std::optional<CycleLockHold> other = TryHoldCycleLock(database).hold;
    ASSERT_TRUE(other.has_value());
    const std::string holder =
        "pid " + std::to_string(::getpid()) + ", base " + std::filesystem::canonical(database).string();
    const std::string wait = "Un autre cycle Morvane travaille sur la base " + database + " (" + holder +
                             "): attendez sa fin";
    ASSERT_TRUE(QTest::qWaitFor([this] { return AllInputsEditable(false); }, 5000));
    EXPECT_EQ(Control<QLabel>("PanelOperation")->text().toStdString(), wait);

    for (const char* button : {"ButtonListInfo", "bGetValeursActuelles", "btnUpdateSettings", "btnBackupRestore"}) {
        dialogs_->ClearShown();
        QTest::mouseClick(Control<QPushButton>(button), Qt::LeftButton);
        EXPECT_EQ(Errors(), std::vector<std::string>{wait + "."}) << button << ": nothing else was tried";
    }
    EXPECT_EQ(form_->CycleExitCode(), 0) << "no cycle ran";
    EXPECT_TRUE(AllInputsEditable(false)) << "still waiting after the buttons";

    other.reset();
    ASSERT_TRUE(QTest::qWaitFor([this] { return AllInputsEditable(true); }, 5000));
    EXPECT_EQ(Control<QLabel>("PanelOperation")->text(), panelBefore);
}

class WindowAutoWithoutProfileTest : public WindowTest {};

TEST_F(WindowAutoWithoutProfileTest, NoCycleStartsAndAHeadlessRunEndsWithAnError)
{
    SetArguments({"AUTO"});
    CreateForm();
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors()[0].find("Database.ini\" est inexistant."), std::string::npos);
    EXPECT_FALSE(form_->TimerDelayStart()->isActive());
    // Nobody can see the offscreen window: the program must not wait for an operator.
    EXPECT_EQ(form_->HeadlessExitCode(), 1);
}

} // namespace
} // namespace morvane::test
