// The window against the real Firebird server, on a fresh database per test.

#include "WindowFixture.h"

#include "fib/IB_ServicesProperties.h"
#include "core/MessagePump.h"
#include "cycle/CycleLock.h"
#include "fib/pFIBDatabase.h"
#include "support/DbCommandTables.h"
#include "support/FirebirdServer.h"
#include "support/FreshDatabase.h"
#include "session/HeaderReport.h"
#include "session/JobSettings.h"
#include "window/SpinEdit.h"

#include <QRegularExpression>
#include <QSpinBox>
#include <QTimer>
#include <QtTest/QTest>

#include <filesystem>
#include <functional>
#include <memory>

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

// What the header report's lines set, keyword by keyword, in the order they come.
std::vector<std::string> HeaderValuesOf(const QStringList& lines)
{
    std::vector<std::string> values;
    for (const QString& line : lines)
        for (const HeaderKeyword keyword : HeaderKeywords)
            if (const auto value = ParseHeaderReport(line.toStdString(), keyword))
                values.push_back(std::string(HeaderKeywordText(keyword)) + value->text + value->file + "|" +
                                 std::to_string(value->number) + "|" + std::to_string(value->reserveIndex) +
                                 std::to_string(value->writeModeIndex));
    return values;
}

// The health figures come below the header report and set no box: the lines of the
// report area give the same settings with them as without them.
TEST_F(WindowServerTest, HealthFiguresFollowTheHeaderReportAndSetNothing)
{
    RunGfix({"-buffers", "3000"}, database_->ConnectionString());
    RunGfix({"-housekeeping", "7000"}, database_->ConnectionString());
    database_->Sql("CREATE TABLE STOCK (ID INTEGER);\nCOMMIT;\nINSERT INTO STOCK VALUES (1);\nCOMMIT;\n");

    SetArguments({});
    CreateForm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();

    const QStringList memo = form_->MemoLines();
    const qsizetype health = memo.indexOf("Santé de la base :");
    ASSERT_GT(health, 0) << memo.join("\n").toStdString();
    EXPECT_GT(health, memo.indexOf(QRegularExpression("^Gstat completion time.*"))) << "below the header report";
    EXPECT_GE(memo.indexOf(QRegularExpression("^Table\t\t\tSTOCK : 1 enr\\..*")), 0);
    EXPECT_GE(memo.indexOf(QRegularExpression("^Écart next - OIT\t[0-9]+$")), 0);
    EXPECT_TRUE(memo.contains("Recommandation : aucune reconstruction nécessaire."));
    EXPECT_EQ(memo.last(), "");

    const std::vector<std::string> header = HeaderValuesOf(memo.mid(0, health));
    EXPECT_EQ(HeaderValuesOf(memo), header);
    EXPECT_EQ(header.size(), 5u);
    EXPECT_EQ(Control<TSpinEdit>("SpinEditPageBuffers")->Value(), 3000);
    EXPECT_EQ(Control<TSpinEdit>("SpinEditSweep")->Value(), 7000);
    EXPECT_EQ(ComboText("ComboBoxPageSize"), "4096");
    EXPECT_EQ(Text("EditDBBackup"), database_->Folder().Path() + "/");
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

// A file put at the database's path in the place of another, as a cycle's swap puts
// the rebuilt database there; put back as it was with the object.
class SwappedFile {
public:
    SwappedFile(std::string path, std::string replacement)
        : path_(std::move(path)), replacement_(std::move(replacement)), aside_(path_ + ".avant")
    {
        std::filesystem::rename(path_, aside_);
        std::filesystem::rename(replacement_, path_);
    }
    ~SwappedFile()
    {
        std::error_code ignored;
        std::filesystem::rename(path_, replacement_, ignored);
        std::filesystem::rename(aside_, path_, ignored);
    }
    SwappedFile(const SwappedFile&) = delete;
    SwappedFile& operator=(const SwappedFile&) = delete;

private:
    std::string path_;
    std::string replacement_;
    std::string aside_;
};

// Set Values writes only values read from the file at the database's path: once
// another file has taken its place since they were read (a rebuild), or when the
// window opened while another cycle was rebuilding it and read nothing, the press
// reads them from the file now there, shows them, says why and writes nothing.
// Pressed again, it writes.
TEST_F(WindowServerTest, SetValuesWritesOnlyValuesReadFromTheFileAtThePath)
{
    RunGfix({"-housekeeping", "5000"}, database_->ConnectionString());
    FreshDatabase rebuilt(FreshDatabase::Access::Server, "BD.FDB", 4096);
    RunGfix({"-housekeeping", "7000"}, rebuilt.ConnectionString());
    const std::string path = database_->Path();
    const struct {
        const char* name;
        std::function<std::shared_ptr<void>()> arrange; // opens the window; what it returns lives through the row
        std::string said;
        std::string sweepThere;
    } cases[] = {
        {"another file at the path since the values were read",
         [this, &rebuilt, path]() -> std::shared_ptr<void> {
             CreateForm();
             return std::make_shared<SwappedFile>(path, rebuilt.Path());
         },
         "La base " + path + " a été reconstruite depuis la lecture de ses valeurs", "7000"},
        {"opened while another cycle held the database's lock",
         [this, path]() -> std::shared_ptr<void> {
             CycleLockAttempt other = TryHoldCycleLock(path);
             EXPECT_TRUE(other.hold.has_value());
             CreateForm();
             return nullptr;
         },
         "Les valeurs de la base " + path + " n'avaient pas été lues, un autre cycle travaillait sur elle", "5000"},
    };
    SetArguments({});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::shared_ptr<void> arranged = c.arrange();
        dialogs_->ClearShown();
        Control<QSpinBox>("SpinEditSweep")->setValue(777);

        Click("btnUpdateSettings");

        ASSERT_EQ(Errors().size(), 1u);
        EXPECT_EQ(Errors()[0], c.said + ": elles viennent d'être lues, rien n'a été écrit. Vérifiez-les et appuyez "
                                        "de nouveau sur Set Values.");
        EXPECT_EQ(HeaderValue(Header(), "Sweep interval:"), c.sweepThere) << "nothing written";
        EXPECT_EQ(Control<TSpinEdit>("SpinEditSweep")->Value(), std::stoi(c.sweepThere)) << "the file's own value";
        EXPECT_FALSE(form_->FIBDatabase().Connected());

        dialogs_->ClearShown();
        Control<QSpinBox>("SpinEditSweep")->setValue(777);
        Click("btnUpdateSettings");
        EXPECT_TRUE(Errors().empty()) << Errors().front();
        EXPECT_EQ(HeaderValue(Header(), "Sweep interval:"), "777");
    }
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(CycleLockPath(path)).parent_path(), ignored);
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
