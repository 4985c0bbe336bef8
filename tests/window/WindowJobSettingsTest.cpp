// The "Save config" and "Get config" buttons with real files: the INI file beside
// the program and the registry export.

#include "WindowFixture.h"

#include "platform/RegistryStore.h"
#include "session/JobSettings.h"
#include "support/FileText.h"
#include "window/SpinEdit.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QtTest/QTest>

#include <filesystem>
#include <sstream>

namespace morvane::test {
namespace {

class WindowJobSettingsTest : public WindowTest {
protected:
    void SetUp() override
    {
        platform::SetRegistryFileLocation(programFolder_.File("registry.reg")); // none unless a test writes it
        SetArguments({});
        CreateForm();
        dialogs_->ClearShown();
    }
    ~WindowJobSettingsTest() override { platform::SetRegistryFileLocation(""); }

    std::string IniFile() const { return programFolder_.File("morvane.ini"); }

    void LoadFor(const std::string& dbFile)
    {
        Control<QLineEdit>("EditDBFile")->setText(QString::fromStdString(dbFile));
        QTest::mouseClick(Control<QPushButton>("bGetConfig"), Qt::LeftButton);
    }

    bool Checked(const char* name) const { return Control<QAbstractButton>(name)->isChecked(); }
};

TEST_F(WindowJobSettingsTest, FirstLoadShowsAndWritesTheDefaults)
{
    ASSERT_FALSE(std::filesystem::exists(IniFile()));
    LoadFor("127.0.0.1:/srv/Gestion/DATA.GDB");
    EXPECT_TRUE(Errors().empty());

    EXPECT_TRUE(Checked("cbForceDeconnexion"));
    EXPECT_TRUE(Checked("rbRenameBeforeBackup"));
    EXPECT_FALSE(Checked("rbRenameAfterRestore"));
    EXPECT_EQ(Text("EditRenameCompletePath"), "/srv/Gestion/DATA.FIB.BKP");
    EXPECT_EQ(Text("EditDBBackup"), "/srv/Gestion/");
    EXPECT_EQ(Text("eBatchFileAvantBackup"), "StopServices.cmd");
    EXPECT_EQ(Text("eBatchFileApresBackup"), "MidProcess.cmd");
    EXPECT_EQ(Text("eBatchFileApresRestore"), "StartServices.cmd");

    EXPECT_EQ(ReadFileText(IniFile()), "[127.0.0.1:/srv/Gestion/DATA.GDB]\n"
                                   "ForcerDeconnexionClient=1\n"
                                   "BeforeBackup=1\n"
                                   "AfterRestore=0\n"
                                   "RenamePath=/srv/Gestion/DATA.FIB.BKP\n"
                                   "EmplacementBackup=/srv/Gestion/\n"
                                   "BatchFileBeforeBackup=StopServices.cmd\n"
                                   "BatchFileAfterBackup=MidProcess.cmd\n"
                                   "BatchFileAfterRestore=StartServices.cmd\n");
}

// Keeping the database readable is off unless the section says so; "Save config"
// writes the key once the box is checked, and keeps writing it (0) once it is there.
TEST_F(WindowJobSettingsTest, KeepingTheDatabaseReadableIsOffUntilTheSectionSaysSo)
{
    LoadFor("127.0.0.1:/srv/BD.FDB");
    EXPECT_FALSE(Checked("cbGarderLecture"));
    EXPECT_EQ(ReadFileText(IniFile()).find("GarderLectureClients"), std::string::npos);
    QTest::mouseClick(Control<QPushButton>("bSaveConfig"), Qt::LeftButton);
    EXPECT_EQ(ReadFileText(IniFile()).find("GarderLectureClients"), std::string::npos) << "unchecked, never set";

    Control<QCheckBox>("cbGarderLecture")->setChecked(true);
    QTest::mouseClick(Control<QPushButton>("bSaveConfig"), Qt::LeftButton);
    EXPECT_NE(ReadFileText(IniFile()).find("GarderLectureClients=1\n"), std::string::npos);
    Control<QCheckBox>("cbGarderLecture")->setChecked(false);
    LoadFor("127.0.0.1:/srv/BD.FDB");
    EXPECT_TRUE(Checked("cbGarderLecture"));

    Control<QCheckBox>("cbGarderLecture")->setChecked(false);
    QTest::mouseClick(Control<QPushButton>("bSaveConfig"), Qt::LeftButton);
    EXPECT_NE(ReadFileText(IniFile()).find("GarderLectureClients=0\n"), std::string::npos);
    LoadFor("127.0.0.1:/srv/BD.FDB");
    EXPECT_FALSE(Checked("cbGarderLecture"));
}

TEST_F(WindowJobSettingsTest, SavedSectionLoadsAsStoredAndIsNotRewritten)
{
    const std::string stored = "[other]\nRenamePath=/x\n\n"
                               "[127.0.0.1:/srv/BD.FDB]\n"
                               "ForcerDeconnexionClient=0\nBeforeBackup=1\nAfterRestore=1\n"
                               "RenamePath=/archive/BD.old\nEmplacementBackup=/backup/\n"
                               "BatchFileBeforeBackup=\nBatchFileAfterBackup=mid.sh\nBatchFileAfterRestore=after.sh\n";
    WriteProgramFile("morvane.ini", stored);

    LoadFor("127.0.0.1:/SRV/bd.fdb"); // sections are found without regard to case
    EXPECT_FALSE(Checked("cbForceDeconnexion"));
    // Both stored as 1: checking "After Restore" second unchecks "Before Backup".
    EXPECT_FALSE(Checked("rbRenameBeforeBackup"));
    EXPECT_TRUE(Checked("rbRenameAfterRestore"));
    EXPECT_EQ(Text("EditRenameCompletePath"), "/archive/BD.old");
    EXPECT_EQ(Text("EditDBBackup"), "/backup/");
    EXPECT_EQ(Text("eBatchFileAvantBackup"), "");
    EXPECT_EQ(Text("eBatchFileApresRestore"), "after.sh");
    EXPECT_EQ(ReadFileText(IniFile()), stored); // loading never rewrites a section

    // Another database: its own defaults, appended as a new section.
    LoadFor("127.0.0.1:/srv/Autre.FDB");
    EXPECT_TRUE(Checked("rbRenameBeforeBackup"));
    EXPECT_EQ(Text("EditRenameCompletePath"), "/srv/Autre.FIB.BKP");
    TJobSettingsFile file(IniFile());
    bool found = false;
    file.Read("127.0.0.1:/srv/Autre.FDB", TJobSettings{}, found);
    EXPECT_TRUE(found);

    // "Save config" writes what the window holds; neither radio button checked is kept.
    Control<QRadioButton>("rbRenameBeforeBackup")->setChecked(false);
    Control<QLineEdit>("eBatchFileApresBackup")->setText("mid2.sh");
    QTest::mouseClick(Control<QPushButton>("bSaveConfig"), Qt::LeftButton);
    const TJobSettings saved = file.Read("127.0.0.1:/srv/Autre.FDB", TJobSettings{}, found);
    EXPECT_FALSE(saved.beforeBackup);
    EXPECT_FALSE(saved.afterRestore);
    EXPECT_EQ(saved.batchFileAfterBackup, "mid2.sh");
}

TEST_F(WindowJobSettingsTest, WithoutAnIniFileTheRegistryRenamePathIsUsedAndWritten)
{
    WriteProgramFile("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                                     "[HKEY_CURRENT_USER\\Software\\Calvenor\\Morvane\\FormMorvane]\r\n"
                                     "\"RenamePath\"=\"/archive/BD.prev\"\r\n"
                                     "\"BeforeBackup\"=dword:00000000\r\n");
    LoadFor("127.0.0.1:/srv/BD.FDB");
    EXPECT_EQ(Text("EditRenameCompletePath"), "/archive/BD.prev");
    EXPECT_FALSE(Checked("rbRenameBeforeBackup"));
    EXPECT_EQ(Text("EditDBBackup"), "/srv/");

    const std::string text = ReadFileText(IniFile());
    EXPECT_NE(text.find("RenamePath=/archive/BD.prev\n"), std::string::npos);
    EXPECT_NE(text.find("BeforeBackup=0\n"), std::string::npos);
}

// PageSize and PageBuffers go into the boxes when they can; a value they cannot
// take leaves its box as it was, is shown, and keeps a cycle from starting.
TEST_F(WindowJobSettingsTest, PageValuesLoadIntoTheBoxesOrKeepTheCycleFromStarting)
{
    const struct {
        const char* keys;
        const char* pageSize;
        int pageBuffers;
        const char* refusal;
    } cases[] = {
        {"", "4096", 1000, ""}, // none: the header's values stay
        {"PageSize=8192\nPageBuffers=4096\n", "8192", 4096, ""},
        {"PageSize= 16384 \nPageBuffers=0\n", "16384", 0, ""},
        {"PageSize=abc\nPageBuffers=4096\n", "4096", 4096, "'abc' n'est pas une valeur numérique valide"},
        // Older servers' sizes, which the box once offered: what the server would make of them.
        {"PageSize=1024\n", "4096", 1000, ""},
        {"PageSize=2048\nPageBuffers=4096\n", "4096", 4096, ""},
        {"PageSize=5000\n", "4096", 1000,
         "'5000' n'est pas une valeur acceptée (tailles de page 4096, 8192 ou 16384)"},
        {"PageSize=8192\nPageBuffers=131073\n", "8192", 1000,
         "'131073' n'est pas une valeur acceptée (de 0 à 131072)"},
        {"PageBuffers=\n", "4096", 1000, "'' n'est pas une valeur numérique valide"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        Control<QComboBox>("ComboBoxPageSize")->setEditText("4096");
        Control<TSpinEdit>("SpinEditPageBuffers")->SetValue(1000);
        WriteProgramFile("morvane.ini", std::string("[127.0.0.1:/srv/BD.FDB]\nRenamePath=/srv/BD.old\n") + c.keys);
        dialogs_->ClearShown();

        LoadFor("127.0.0.1:/srv/BD.FDB");
        EXPECT_EQ(ComboText("ComboBoxPageSize"), c.pageSize);
        EXPECT_EQ(Control<TSpinEdit>("SpinEditPageBuffers")->Value(), c.pageBuffers);
        EXPECT_EQ(Text("EditRenameCompletePath"), "/srv/BD.old") << "the other keys load all the same";
        EXPECT_EQ(form_->ReadCycleRequest().refusedSetting, c.refusal);
        const std::vector<std::string> shown = Errors();
        if (*c.refusal == '\0')
            EXPECT_TRUE(shown.empty());
        else
            EXPECT_EQ(shown, std::vector<std::string>{std::string(c.refusal) + "."});
    }
}

TEST_F(WindowJobSettingsTest, ARefusedPageValueIsForgottenWhenItsBoxChanges)
{
    WriteProgramFile("morvane.ini", "[127.0.0.1:/srv/BD.FDB]\nPageSize=abc\nPageBuffers=999999\n");
    LoadFor("127.0.0.1:/srv/BD.FDB");
    EXPECT_EQ(form_->ReadCycleRequest().refusedSetting, "'abc' n'est pas une valeur numérique valide");
    Control<QComboBox>("ComboBoxPageSize")->setEditText("8192");
    EXPECT_EQ(form_->ReadCycleRequest().refusedSetting, "'999999' n'est pas une valeur acceptée (de 0 à 131072)");
    Control<TSpinEdit>("SpinEditPageBuffers")->SetValue(2000);
    EXPECT_EQ(form_->ReadCycleRequest().refusedSetting, "");
}

// "Save config" pins the boxes' page values for the unattended run; the section a
// first load writes does not (the header's values then stay in charge).
TEST_F(WindowJobSettingsTest, SaveConfigWritesThePageValues)
{
    LoadFor("127.0.0.1:/srv/BD.FDB");
    EXPECT_EQ(ReadFileText(IniFile()).find("Page"), std::string::npos);

    Control<QComboBox>("ComboBoxPageSize")->setEditText("8192");
    Control<TSpinEdit>("SpinEditPageBuffers")->SetValue(4096);
    QTest::mouseClick(Control<QPushButton>("bSaveConfig"), Qt::LeftButton);
    bool found = false;
    const TJobSettings saved = TJobSettingsFile(IniFile()).Read("127.0.0.1:/srv/BD.FDB", TJobSettings{}, found);
    EXPECT_EQ(saved.pageSize, "8192");
    EXPECT_EQ(saved.pageBuffers, "4096");
}

// What the file may ask for is what the boxes offer, and the page-size box offers
// only what the server creates.
TEST_F(WindowJobSettingsTest, PageValuesAllowedAreThoseTheBoxesOffer)
{
    const QComboBox* pageSize = Control<QComboBox>("ComboBoxPageSize");
    std::vector<int> offered;
    for (int item = 0; item < pageSize->count(); ++item)
        offered.push_back(pageSize->itemText(item).toInt());
    EXPECT_EQ(offered, std::vector<int>(JobSettingsPageSizes.begin(), JobSettingsPageSizes.end()));
    const TSpinEdit* buffers = Control<TSpinEdit>("SpinEditPageBuffers");
    EXPECT_EQ(buffers->MinValue(), JobSettingsPageBuffersMin);
    EXPECT_EQ(buffers->MaxValue(), JobSettingsPageBuffersMax);
}

TEST_F(WindowJobSettingsTest, RefusedWriteIsShownWithTheFileName)
{
    // A folder where the settings file should be: the write cannot replace it.
    std::filesystem::create_directory(IniFile());
    LoadFor("127.0.0.1:/srv/BD.FDB");
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0], "Unable to write to " + IniFile() + ".");
    EXPECT_TRUE(Control<QPushButton>("bGetConfig")->isEnabled());
}

} // namespace
} // namespace morvane::test
