#include "global/Global_Registry.h"

#include "support/CommandLineGuard.h"
#include "support/FileText.h"
#include "support/TemporaryFolder.h"
#include "platform/RegistryStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace morvane {
namespace {
// A registry export in a temporary folder, read for the life of the fixture.
class RegistryFile : public ::testing::Test {
protected:
    void SetUp() override { platform::SetRegistryFileLocation(folder_.File("registry.reg")); }
    void TearDown() override { platform::SetRegistryFileLocation(""); }
    void Write(const std::string& text) { test::WriteFileText(folder_.File("registry.reg"), text); }

    test::TemporaryFolder folder_;
    testing::CommandLineGuard commandLine_{{"/opt/calvenor/morvane"}};
};

const char* const SiteExport = "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Calvenor\\Morvane\\FormMorvane]\r\n"
                               "\"RenamePath\"=\"D:\\\\Ancien\\\\BD.FDB\"\r\n"
                               "\"EmplacementBackup\"=hex(2):44,00,3a,00,5c,00,00,00\r\n"
                               "\"BeforeBackup\"=dword:00000000\r\n"
                               "\"AfterRestore\"=dword:00000001\r\n"
                               "\"Vide\"=\"\"\r\n"
                               "\"VideBinaire\"=hex:\r\n"
                               "\"Vrai\"=\"Vrai\"\r\n"
                               "\"Un\"=\"1\"\r\n"
                               "\"Octets\"=hex:01,02\r\n"
                               "\"Long\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Calvenor\\Outil]\r\n"
                               "\"ForcerDeconnexionClient\"=dword:00000001\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Calvenor]\r\n"
                               "\"Racine\"=\"oui\"\r\n";

TEST_F(RegistryFile, ReadsTextValuesOrTheEmptyText)
{
    Write(SiteExport);
    const struct {
        const char* section;
        const char* name;
        std::optional<const char*> application; // none: the application title
        const char* expected;
    } cases[] = {
        {"FormMorvane", "RenamePath", std::nullopt, "D:\\Ancien\\BD.FDB"},
        {"formmorvane", "renamepath", std::nullopt, "D:\\Ancien\\BD.FDB"},
        {"FormMorvane", "EmplacementBackup", std::nullopt, "D:\\"}, // expandable, unexpanded
        {"FormMorvane", "Vide", std::nullopt, ""},
        {"FormMorvane", "VideBinaire", std::nullopt, ""}, // empty reads as empty whatever its kind
        {"FormMorvane", "Absent", std::nullopt, ""},
        {"Autre", "RenamePath", std::nullopt, ""},
        {"FormMorvane", "RenamePath", "Morvane", "D:\\Ancien\\BD.FDB"},
        {"", "Racine", "", "oui"},
        {"FormMorvane", "RenamePath", "Outil", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string value =
            c.application ? ReadRegString(c.section, c.name, *c.application) : ReadRegString(c.section, c.name);
        EXPECT_EQ(value, c.expected);
    }
}

TEST_F(RegistryFile, ReadsYesNoValuesOrTheDefault)
{
    Write(SiteExport);
    const struct {
        bool defaultValue;
        const char* section;
        const char* name;
        const char* application;
        bool expected;
    } cases[] = {
        {true, "FormMorvane", "BeforeBackup", "Morvane", false},
        {false, "FormMorvane", "AfterRestore", "Morvane", true},
        {true, "FormMorvane", "Absent", "Morvane", true},
        {false, "FormMorvane", "Absent", "Morvane", false},
        {true, "Absente", "BeforeBackup", "Morvane", true},
        {false, "", "ForcerDeconnexionClient", "Outil", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadRegBool(c.defaultValue, c.section, c.name, c.application), c.expected) << c.name;
    EXPECT_FALSE(ReadRegBool(true, "FormMorvane", "BeforeBackup")); // the application title
}

TEST_F(RegistryFile, AValueOfTheWrongKindRaisesTheRegistryErrors)
{
    Write(SiteExport);
    const struct {
        bool asBool;
        const char* name;
        const char* message;
    } cases[] = {
        {false, "BeforeBackup", "Invalid data type for 'BeforeBackup'"},
        {false, "Octets", "Invalid data type for 'Octets'"},
        {true, "Un", "Invalid data type for 'Un'"},         // "1" and its NUL fit in 4 bytes
        {true, "Octets", "Invalid data type for 'Octets'"}, // two bytes of binary
        {true, "Vrai", "Failed to get data for 'Vrai'"},   // 4 characters and the NUL do not
        {true, "Long", "Failed to get data for 'Long'"},
        {true, "RenamePath", "Failed to get data for 'RenamePath'"},
    };
    for (const auto& c : cases) {
        try {
            if (c.asBool)
                ReadRegBool(true, "FormMorvane", c.name);
            else
                ReadRegString("FormMorvane", c.name);
            ADD_FAILURE() << "no error for " << c.name;
        } catch (const ERegistryException& error) {
            EXPECT_EQ(error.Message(), c.message);
            EXPECT_EQ(error.ClassName(), "ERegistryException");
        }
    }
}

TEST_F(RegistryFile, AMissingOrSpoiltFileReadsAsMissingValues)
{
    EXPECT_EQ(ReadRegString("FormMorvane", "RenamePath"), "");
    EXPECT_TRUE(ReadRegBool(true, "FormMorvane", "BeforeBackup"));
    const char spoilt[] = "\x00\x01garbage[\n\"x\"=dword:\n";
    Write(std::string(spoilt, sizeof spoilt - 1));
    EXPECT_EQ(ReadRegString("FormMorvane", "RenamePath"), "");
    EXPECT_FALSE(ReadRegBool(false, "FormMorvane", "BeforeBackup"));
}

TEST(RegistryKeyPath, AddsTheApplicationAndTheSectionWhenGiven)
{
    EXPECT_EQ(RegistryKeyPath("Morvane", "FormMorvane"), "HKEY_CURRENT_USER\\Software\\Calvenor\\Morvane\\FormMorvane");
    EXPECT_EQ(RegistryKeyPath("", "FormMorvane"), "HKEY_CURRENT_USER\\Software\\Calvenor\\FormMorvane");
    EXPECT_EQ(RegistryKeyPath("Morvane", ""), "HKEY_CURRENT_USER\\Software\\Calvenor\\Morvane");
    EXPECT_EQ(RegistryKeyPath("", ""), "HKEY_CURRENT_USER\\Software\\Calvenor");
}

// Restores an environment variable when the test ends.
class EnvironmentGuard {
public:
    explicit EnvironmentGuard(const char* name) : name_(name)
    {
        if (const char* value = std::getenv(name))
            saved_ = value;
    }
    ~EnvironmentGuard()
    {
        if (saved_)
            ::setenv(name_, saved_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    EnvironmentGuard(const EnvironmentGuard&) = delete;
    EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

private:
    const char* name_;
    std::optional<std::string> saved_;
};

TEST(RegistryFileLocation, IsInTheUserConfigurationFolder)
{
    EnvironmentGuard config("XDG_CONFIG_HOME"), home("HOME");
    ::setenv("HOME", "/home/admin", 1);
    ::setenv("XDG_CONFIG_HOME", "/srv/config", 1);
    EXPECT_EQ(platform::RegistryFileLocation(), "/srv/config/Calvenor/registry.reg");
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(platform::RegistryFileLocation(), "/home/admin/.config/Calvenor/registry.reg");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(platform::RegistryFileLocation(), "/home/admin/.config/Calvenor/registry.reg");
}

} // namespace
} // namespace morvane
