#include "cycle/JobSettings.h"

#include "core/Format.h"
#include "core/Text.h"
#include "global/Global_Registry.h"
#include "global/Global_Utils.h"
#include "cycle/DatabaseLocation.h"
#include "cycle/IniText.h"
#include "platform/DurableFile.h"

// The file's bytes are kept as they are (UTF-8): no wide-character conversion.
// This is the one file that uses the INI library (for reading; writes change one
// line at a time, see IniText.h), so it instantiates it here.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace morvane {

namespace {

constexpr std::size_t MaxTextLength = 2047;
// The registry values live under the main window's component name.
constexpr const char* RegistrySection = "FormMorvane";

constexpr const char* KeyForcer = "ForcerDeconnexionClient";
constexpr const char* KeyBefore = "BeforeBackup";
constexpr const char* KeyAfter = "AfterRestore";
constexpr const char* KeyRename = "RenamePath";
constexpr const char* KeyBackup = "EmplacementBackup";
constexpr const char* KeyBatchBefore = "BatchFileBeforeBackup";
constexpr const char* KeyBatchAfterBackup = "BatchFileAfterBackup";
constexpr const char* KeyBatchAfterRestore = "BatchFileAfterRestore";
constexpr const char* KeyMetricsFolder = "MetricsFolder";

bool ReadBool(const CSimpleIniA& ini, const std::string& section, const char* key, bool fallback)
{
    const char* text = ini.GetValue(section.c_str(), key, nullptr);
    int value = 0;
    if (text == nullptr || !TryStrToInt(Trim(text), value))
        return fallback;
    return value != 0;
}

std::string ReadText(const CSimpleIniA& ini, const std::string& section, const char* key, const std::string& fallback)
{
    const char* text = ini.GetValue(section.c_str(), key, nullptr);
    if (text == nullptr)
        return fallback;
    std::string value{text};
    if (value.size() > MaxTextLength)
        value.resize(MaxTextLength);
    return value;
}

// Anything but a readable regular file (a folder, say) counts as unreadable.
bool ReadWholeFile(const std::string& fileName, std::string& data)
{
    if (!platform::IsRegularFile(fileName))
        return false;
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool LoadIni(CSimpleIniA& ini, const std::string& fileName)
{
    std::string data;
    return ReadWholeFile(fileName, data) && ini.LoadData(data) >= 0;
}

} // namespace

TJobSettings DefaultJobSettings(std::string_view dbFileText)
{
    const std::string path = SplitDatabaseLocation(dbFileText).path;
    TJobSettings settings;
    settings.renamePath = ChangeFileExtension(path, ".FIB.BKP");
    settings.emplacementBackup = ExtractFolder(path);
    return settings;
}

TJobSettings JobSettingsFromRegistry(std::string_view dbFileText)
{
    TJobSettings settings = DefaultJobSettings(dbFileText);
    settings.forcerDeconnexionClient = ReadRegBool(true, RegistrySection, KeyForcer);
    settings.beforeBackup = ReadRegBool(true, RegistrySection, KeyBefore);
    settings.afterRestore = ReadRegBool(false, RegistrySection, KeyAfter);
    if (std::string text = ReadRegString(RegistrySection, KeyRename); !text.empty())
        settings.renamePath = std::move(text);
    if (std::string text = ReadRegString(RegistrySection, KeyBackup); !text.empty())
        settings.emplacementBackup = std::move(text);
    return settings;
}

std::string JobSettingsFileName() { return ChangeFileExtension(ProgramFileName(), ".ini"); }

bool TJobSettingsFile::Exists() const
{
    return platform::IsRegularFile(fileName_);
}

TJobSettings TJobSettingsFile::Read(const std::string& section, const TJobSettings& defaults, bool& sectionFound) const
{
    CSimpleIniA ini;
    // A file that cannot be read gives the defaults, as the profile functions do.
    if (!LoadIni(ini, fileName_)) {
        sectionFound = false;
        return defaults;
    }
    sectionFound = ini.GetSectionSize(section.c_str()) > 0;

    TJobSettings settings;
    settings.forcerDeconnexionClient = ReadBool(ini, section, KeyForcer, defaults.forcerDeconnexionClient);
    settings.beforeBackup = ReadBool(ini, section, KeyBefore, defaults.beforeBackup);
    settings.afterRestore = ReadBool(ini, section, KeyAfter, defaults.afterRestore);
    settings.renamePath = ReadText(ini, section, KeyRename, defaults.renamePath);
    settings.emplacementBackup = ReadText(ini, section, KeyBackup, defaults.emplacementBackup);
    settings.batchFileBeforeBackup = ReadText(ini, section, KeyBatchBefore, defaults.batchFileBeforeBackup);
    settings.batchFileAfterBackup = ReadText(ini, section, KeyBatchAfterBackup, defaults.batchFileAfterBackup);
    settings.batchFileAfterRestore = ReadText(ini, section, KeyBatchAfterRestore, defaults.batchFileAfterRestore);
    settings.metricsFolder = ReadText(ini, section, KeyMetricsFolder, defaults.metricsFolder);
    return settings;
}

void TJobSettingsFile::Write(const std::string& section, const TJobSettings& settings) const
{
    WriteString(section, KeyForcer, settings.forcerDeconnexionClient ? "1" : "0");
    WriteString(section, KeyBefore, settings.beforeBackup ? "1" : "0");
    WriteString(section, KeyAfter, settings.afterRestore ? "1" : "0");
    WriteString(section, KeyRename, settings.renamePath);
    WriteString(section, KeyBackup, settings.emplacementBackup);
    WriteString(section, KeyBatchBefore, settings.batchFileBeforeBackup);
    WriteString(section, KeyBatchAfterBackup, settings.batchFileAfterBackup);
    WriteString(section, KeyBatchAfterRestore, settings.batchFileAfterRestore);
}

void TJobSettingsFile::WriteString(const std::string& section, const std::string& key, const std::string& value) const
{
    const auto refuse = [this] { return EIniFileException(FormatText("Unable to write to %s", fileName_)); };

    const bool exists = platform::PathExists(fileName_);
    std::string text;
    // An existing file that cannot be read is not overwritten: its other sections would be lost.
    if (exists && !ReadWholeFile(fileName_, text))
        throw refuse();
    try {
        platform::WriteFileDurably(fileName_, SetIniValue(text, section, key, value));
    } catch (const EOSError&) {
        throw refuse();
    }
}

} // namespace morvane
