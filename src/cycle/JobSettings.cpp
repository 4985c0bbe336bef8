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

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <variant>

namespace morvane {

namespace {

constexpr std::size_t MaxTextLength = 2047;
// The registry values live under the main window's component name.
constexpr const char* RegistrySection = "FormMorvane";

// The keys in the order they are written. The registry fallback knows only the
// first five, under the same value names.
struct KeyEntry {
    std::string_view name;
    std::variant<bool TJobSettings::*, std::string TJobSettings::*> field;
    bool inRegistry;
};

const std::array<KeyEntry, 8> Keys{{
    {"ForcerDeconnexionClient", &TJobSettings::forcerDeconnexionClient, true},
    {"BeforeBackup", &TJobSettings::beforeBackup, true},
    {"AfterRestore", &TJobSettings::afterRestore, true},
    {"RenamePath", &TJobSettings::renamePath, true},
    {"EmplacementBackup", &TJobSettings::emplacementBackup, true},
    {"BatchFileBeforeBackup", &TJobSettings::batchFileBeforeBackup, false},
    {"BatchFileAfterBackup", &TJobSettings::batchFileAfterBackup, false},
    {"BatchFileAfterRestore", &TJobSettings::batchFileAfterRestore, false},
}};

// Calls one of the two visitors with the key's field in settings.
template <typename Settings, typename OnBool, typename OnText>
void VisitField(const KeyEntry& key, Settings& settings, OnBool onBool, OnText onText)
{
    if (const auto* flag = std::get_if<bool TJobSettings::*>(&key.field))
        onBool(settings.**flag);
    else
        onText(settings.*std::get<std::string TJobSettings::*>(key.field));
}

bool ReadBool(const CSimpleIniA& ini, const std::string& section, std::string_view key, bool fallback)
{
    const char* text = ini.GetValue(section.c_str(), std::string(key).c_str(), nullptr);
    int value = 0;
    if (text == nullptr || !TryStrToInt(Trim(text), value))
        return fallback;
    return value != 0;
}

std::string ReadText(const CSimpleIniA& ini, const std::string& section, std::string_view key,
                     const std::string& fallback)
{
    const char* text = ini.GetValue(section.c_str(), std::string(key).c_str(), nullptr);
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

std::vector<std::string_view> JobSettingsKeys()
{
    std::vector<std::string_view> names;
    for (const KeyEntry& key : Keys)
        names.push_back(key.name);
    return names;
}

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
    for (const KeyEntry& key : Keys) {
        if (!key.inRegistry)
            continue;
        const std::string name(key.name);
        VisitField(
            key, settings, [&](bool& flag) { flag = ReadRegBool(flag, RegistrySection, name); },
            [&](std::string& text) {
                // An empty text in the registry counts as missing.
                if (std::string stored = ReadRegString(RegistrySection, name); !stored.empty())
                    text = std::move(stored);
            });
    }
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

    TJobSettings settings = defaults;
    for (const KeyEntry& key : Keys)
        VisitField(
            key, settings, [&](bool& flag) { flag = ReadBool(ini, section, key.name, flag); },
            [&](std::string& text) { text = ReadText(ini, section, key.name, text); });
    return settings;
}

void TJobSettingsFile::Write(const std::string& section, const TJobSettings& settings) const
{
    for (const KeyEntry& key : Keys) {
        const std::string name(key.name);
        VisitField(
            key, settings, [&](bool flag) { WriteString(section, name, flag ? "1" : "0"); },
            [&](const std::string& text) { WriteString(section, name, text); });
    }
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
