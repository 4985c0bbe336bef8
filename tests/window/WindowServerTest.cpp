// The window against the real Firebird server, on a fresh database per test.

#include "WindowFixture.h"

#include "fib/IB_ServicesProperties.h"
#include "core/MessagePump.h"
#include "fib/pFIBDatabase.h"
#include "support/DbCommandTables.h"
#include "support/FirebirdServer.h"
#include "support/FreshDatabase.h"
#include "session/JobSettings.h"
#include "window/SpinEdit.h"

#include <QTimer>
#include <QtTest/QTest>

namespace morvane::test {
namespace {

class WindowServerTest : public WindowTest {
protected:
    void SetUp() override
    {
        MORVANE_REQUIRE_FIREBIRD_SERVER();
        database_ = std::make_unique<FreshDatabase>(FreshDatabase::Access::Server, "BD.FDB", 4096);
        CreateAdministratorRole(*database_);
        WriteProgramFile("Database.ini", "DatabaseName=" + database_->ConnectionString() + "\r\n"
                                         "# the design-time user and password serve\r\n");
    }

    void Click(const char* button) { QTest::mouseClick(Control<QPushButton>(button), Qt::LeftButton); }

    // The header as fbstat reads it from the file, once the window has let go of it.
    std::string Header() const { return database_->HeaderStatistics().Output; }

    std::unique_ptr<FreshDatabase> database_;
};

TEST_F(WindowServerTest, StartUpFillsTheWindowFromTheDatabase)
{
    RunGfix({"-buffers", "3000"}, database_->ConnectionString());
    RunGfix({"-housekeeping", "7000"}, database_->ConnectionString());
    RunGfix({"-use", "full"}, database_->ConnectionString());
    RunGfix({"-write", "async"}, database_->ConnectionString());

    SetArguments({});
    CreateForm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();

    EXPECT_EQ(Text("EditDBFile"), database_->ConnectionString());
    EXPECT_EQ(ComboText("ComboBoxPageSize"), "4096");
    EXPECT_EQ(Control<TSpinEdit>("SpinEditPageBuffers")->Value(), 3000);
    EXPECT_EQ(Control<TSpinEdit>("SpinEditSweep")->Value(), 7000);
    EXPECT_EQ(ComboText("ComboBoxUseReserve"), "NON");
    EXPECT_EQ(ComboText("ComboBoxWriteMode"), "OUI");

    const QStringList memo = form_->MemoLines();
    ASSERT_FALSE(memo.isEmpty());
    EXPECT_TRUE(memo.contains(QString::fromStdString("Database \"" + database_->Path() + "\"")));
    EXPECT_TRUE(memo.contains("Page buffers\t\t3000"));
    EXPECT_EQ(memo.last(), ""); // the empty text that ends the output

    // The job settings of this database were written with their defaults.
    const std::string folder = database_->Folder().Path() + "/";
    EXPECT_EQ(Text("EditDBBackup"), folder);
    bool found = false;
    const TJobSettings saved =
        TJobSettingsFile(programFolder_.File("morvane.ini")).Read(database_->ConnectionString(), TJobSettings{}, found);
    EXPECT_TRUE(found);
    EXPECT_EQ(saved, DefaultJobSettings(database_->ConnectionString()));

    // Nothing stays attached, and no cycle is waiting.
    EXPECT_FALSE(form_->FIBDatabase().Connected());
    EXPECT_FALSE(form_->FIBStatisticalService().Active());
    EXPECT_FALSE(form_->TimerDelayStart()->isActive());
    EXPECT_EQ(Control<QLabel>("LabelWrite")->palette().color(QPalette::WindowText), QColor(0, 0, 0));
}

TEST_F(WindowServerTest, DefaultValuesThenSetValuesWriteTheFourSettings)
{
    RunGfix({"-buffers", "3000"}, database_->ConnectionString());
    RunGfix({"-use", "full"}, database_->ConnectionString());
    RunGfix({"-write", "async"}, database_->ConnectionString());
    SetArguments({});
    CreateForm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();

    Click("Button3");
    EXPECT_EQ(ComboText("ComboBoxPageSize"), "8192");
    EXPECT_EQ(ComboText("ComboBoxUseReserve"), "OUI");
    EXPECT_EQ(ComboText("ComboBoxWriteMode"), "NON");
    Click("btnUpdateSettings");
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_FALSE(form_->ConfigService1().Active());
    EXPECT_EQ(Control<QLabel>("LabelWrite")->palette().color(QPalette::WindowText), QColor(0, 128, 0));

    const std::string header = Header();
    EXPECT_EQ(HeaderValue(header, "Page buffers"), "0");
    EXPECT_EQ(HeaderValue(header, "Sweep interval:"), "0");
    const std::string attributes = HeaderValue(header, "Attributes");
    EXPECT_NE(attributes.find("force write"), std::string::npos) << attributes;
    EXPECT_EQ(attributes.find("no reserve"), std::string::npos) << attributes;
}

TEST_F(WindowServerTest, SetValuesSendsTheTypedPageBuffersClampedToTheBox)
{
    SetArguments({});
    CreateForm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    form_->show();
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));

    TSpinEdit* buffers = Control<TSpinEdit>("SpinEditPageBuffers");
    buffers->setFocus();
    buffers->findChild<QLineEdit*>()->clear();
    QTest::keyClicks(buffers, "200000");
    Control<QLineEdit>("EditUserFB")->setFocus(); // leaving the field clamps it
    Click("btnUpdateSettings");
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(HeaderValue(Header(), "Page buffers"), "131072");
}

TEST_F(WindowServerTest, EmptyWriteModeTextSendsForcedWrites)
{
    SetArguments({});
    CreateForm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();

    TFormMorvane::SetItemIndex(Control<QComboBox>("ComboBoxWriteMode"), 1);
    Click("btnUpdateSettings");
    EXPECT_EQ(HeaderValue(Header(), "Attributes").find("force write"), std::string::npos);

    Control<QComboBox>("ComboBoxWriteMode")->setEditText("");
    Click("btnUpdateSettings");
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_NE(HeaderValue(Header(), "Attributes").find("force write"), std::string::npos);
}

TEST_F(WindowServerTest, AFailedProcedureLeavesNoSessionAndTheNextPressWorks)
{
    SetArguments({});
    CreateForm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();

    Control<QLineEdit>("EditPWFB")->setText("wrong");
    for (const char* button : {"ButtonListInfo", "btnUpdateSettings"}) {
        dialogs_->ClearShown();
        Click(button);
        ASSERT_EQ(Errors().size(), 1u) << button;
        EXPECT_EQ(Errors()[0].back(), '.');
        EXPECT_TRUE(Control<QPushButton>(button)->isEnabled()) << button;
    }
    EXPECT_FALSE(form_->FIBStatisticalService().Active());
    EXPECT_FALSE(form_->ConfigService1().Active());

    Control<QLineEdit>("EditPWFB")->setText("plumtavern");
    dialogs_->ClearShown();
    Click("ButtonListInfo");
    Click("btnUpdateSettings");
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(form_->MemoLines().last(), "");
}

TEST_F(WindowServerTest, ButtonsAreDisabledWhileAProcedureProcessesMessages)
{
    SetArguments({});
    CreateForm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();

    // Every time the listing lets the window process messages, an impatient operator
    // presses "Get Default Values": it must not run inside the listing.
    int pumps = 0;
    bool everEnabled = false;
    SetMessagePump([&] {
        ++pumps;
        everEnabled = everEnabled || Control<QPushButton>("Button3")->isEnabled();
        QTest::mouseClick(Control<QPushButton>("Button3"), Qt::LeftButton);
        QCoreApplication::processEvents();
    });
    Control<QComboBox>("ComboBoxWriteMode")->setEditText("");
    Click("ButtonListInfo");
    SetMessagePump([] { QCoreApplication::processEvents(); });

    EXPECT_GT(pumps, 0);
    EXPECT_FALSE(everEnabled);
    EXPECT_EQ(ComboText("ComboBoxWriteMode"), "NON"); // from the header, not from the defaults
    EXPECT_EQ(ComboText("ComboBoxPageSize"), "4096");
    EXPECT_TRUE(Control<QPushButton>("Button3")->isEnabled());
}

TEST_F(WindowServerTest, ChangingTheDbFileWhileAttachedIsReportedNotFatal)
{
    SetArguments({});
    CreateForm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();

    form_->FIBDatabase().SetConnected(true);
    dialogs_->ClearShown();
    QTest::keyClicks(Control<QLineEdit>("EditDBFile"), "x");
    ASSERT_FALSE(Errors().empty());
    EXPECT_EQ(Errors()[0], "Cannot perform operation -- DB is currently open.");
    form_->FIBDatabase().SetConnected(false);
}

TEST_F(WindowServerTest, AnUnreachableDatabaseNamesTheComponentAndLeavesItDetached)
{
    SetArguments({});
    CreateForm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();

    // Read the settings of a database that is not there.
    Control<QLineEdit>("EditDBFile")->setText(QString::fromStdString(database_->ConnectionString() + ".absent"));
    dialogs_->ClearShown();
    Click("bGetValeursActuelles");
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].rfind("FormMorvane.FIBDatabase", 0), 0u) << Errors()[0];
    EXPECT_FALSE(form_->FIBDatabase().Connected());

    Control<QLineEdit>("EditDBFile")->setText(QString::fromStdString(database_->ConnectionString()));
    dialogs_->ClearShown();
    Click("bGetValeursActuelles");
    EXPECT_TRUE(Errors().empty()) << Errors().front();
}

TEST_F(WindowServerTest, AutoEnablesTheDelayedStartAfterAWorkingStartUp)
{
    SetArguments({"auto"});
    CreateForm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_TRUE(form_->TimerDelayStart()->isActive());
    EXPECT_TRUE(form_->TimerDelayStart()->isSingleShot());
    form_->TimerDelayStart()->stop(); // the cycle is not what this test is about
}

TEST_F(WindowServerTest, TheDelayedStartWaitsForAProcedureStartedBeforeIt)
{
    SetArguments({"AUTO"});
    CreateForm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    ASSERT_TRUE(form_->TimerDelayStart()->isActive());

    // The listing takes over a second and processes messages: the timer fires inside it.
    Click("ButtonListInfo");
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_TRUE(form_->TimerDelayStart()->isActive()); // armed again, not lost
    form_->TimerDelayStart()->stop();
}

} // namespace
} // namespace morvane::test
