// The "Save config" and "Get config" buttons with real files: the INI file beside
// the program and the registry export.

#include "WindowFixture.h"

#include "platform/RegistryStore.h"
#include "cycle/JobSettings.h"
#include "support/FileText.h"

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
