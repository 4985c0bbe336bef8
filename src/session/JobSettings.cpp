#include "session/JobSettings.h"

#include "core/Format.h"
#include "core/Text.h"
#include "global/Global_Registry.h"
#include "global/Global_Utils.h"
#include "session/DatabaseLocation.h"
#include "session/IniText.h"
#include "platform/DurableFile.h"

// The file's bytes are kept as they are (UTF-8): no wide-character conversion.
// This is the one file that uses the INI library (for reading; writes change one
// line at a time, see IniText.h), so it instantiates it here.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <type_traits>

namespace morvane {

namespace {

constexpr std::size_t MaxTextLength = 2047;
// The registry values live under the main window's component name.
constexpr const char* RegistrySection = "FormMorvane";

constexpr std::string_view KeyForcer = "ForcerDeconnexionClient";
constexpr std::string_view KeyBefore = "BeforeBackup";
constexpr std::string_view KeyAfter = "AfterRestore";
constexpr std::string_view KeyRename = "RenamePath";
constexpr std::string_view KeyBackup = "EmplacementBackup";

constexpr TJobSettingsKey Keys[] = {
    {KeyForcer, &TJobSettings::forcerDeconnexionClient},
    {KeyBefore, &TJobSettings::beforeBackup},
    {KeyAfter, &TJobSettings::afterRestore},
    {KeyRename, &TJobSettings::renamePath},
    {KeyBackup, &TJobSettings::emplacementBackup},
    {"BatchFileBeforeBackup", &TJobSettings::batchFileBeforeBackup},
    {"BatchFileAfterBackup", &TJobSettings::batchFileAfterBackup},
    {"BatchFileAfterRestore", &TJobSettings::batchFileAfterRestore},
    {"PageSize", &TJobSettings::pageSize, true},
    {"PageBuffers", &TJobSettings::pageBuffers, true},
    // Set by the administrator in the file; the window neither shows nor writes it.
    {"MetricsFolder", &TJobSettings::metricsFolder, true},
    {"MetricsGroup", &TJobSettings::metricsGroup, true},
    {"GraceTransactions", &TJobSettings::graceTransactions, true},
    {"HealthMaxTransactionGap", &TJobSettings::healthMaxTransactionGap, true},
    {"HealthMaxBackVersions", &TJobSettings::healthMaxBackVersions, true},
    {"HealthMaxVersionChain", &TJobSettings::healthMaxVersionChain, true},
    {"HealthMinDataPercent", &TJobSettings::healthMinDataPercent, true},
    {"HealthTables", &TJobSettings::healthTables, true},
    {"HealthCheckAuto", &TJobSettings::healthCheckAuto, true},
    {"GarderLectureClients", &TJobSettings::garderLectureClients, true},
};

[[noreturn]] void RaiseNotANumber(std::string_view text)
{
    throw EConvertError(FormatText("'%s' n'est pas une valeur numérique valide", std::string(text)));
}

// A number, but not one the setting takes: the message says which it takes.
[[noreturn]] void RaiseNotAccepted(std::string_view text, const std::string& accepted)
{
    throw EConvertError(FormatText("'%s' n'est pas une valeur acceptée (%s)", std::string(text), accepted));
}

std::string AcceptedPageSizes()
{
    std::string sizes;
    for (std::size_t i = 0; i < JobSettingsPageSizes.size(); ++i)
        sizes += (i == 0 ? "" : i + 1 == JobSettingsPageSizes.size() ? " ou " : ", ") +
                 std::to_string(JobSettingsPageSizes[i]);
    return "tailles de page " + sizes;
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

bool LoadIni(CSimpleIniA& ini, const std::string& fileName)
{
    // Anything but a readable regular file (a folder, say) counts as unreadable.
    const std::optional<std::string> text = platform::ReadWholeFile(fileName);
    return text && ini.LoadData(*text) >= 0;
}

} // namespace

std::span<const TJobSettingsKey> JobSettingsKeys() { return Keys; }

int PageSizeSetting(std::string_view text, bool* roundedUp)
{
    int value = 0;
    if (!TryStrToInt(Trim(text), value))
        RaiseNotANumber(text);
    // The sizes older servers created, which the window once offered: the server
    // makes them its smallest.
    const bool below = value > 0 && value < JobSettingsPageSizes.front();
    if (roundedUp != nullptr)
        *roundedUp = below;
    if (below)
        return JobSettingsPageSizes.front();
    if (std::find(JobSettingsPageSizes.begin(), JobSettingsPageSizes.end(), value) == JobSettingsPageSizes.end())
        RaiseNotAccepted(text, AcceptedPageSizes());
    return value;
}

std::string PageSizeRoundedUpText(std::string_view text)
{
    return FormatText("taille de page %s lue comme %d: Firebird 3 ne crée pas de pages de moins de %d octets",
                      Trim(text), JobSettingsPageSizes.front(), JobSettingsPageSizes.front());
}

int PageBuffersSetting(std::string_view text)
{
    int value = 0;
    if (!TryStrToInt(Trim(text), value))
        RaiseNotANumber(text);
    if (value < JobSettingsPageBuffersMin || value > JobSettingsPageBuffersMax)
        RaiseNotAccepted(text, "de " + std::to_string(JobSettingsPageBuffersMin) + " à " +
                                   std::to_string(JobSettingsPageBuffersMax));
    return value;
}

bool BooleanSetting(const std::optional<std::string>& text, bool fallback)
{
    int value = 0;
    if (!text || !TryStrToInt(Trim(*text), value))
        return fallback;
    return value != 0;
}

int TransactionGraceSetting(std::string_view text)
{
    int value = 0;
    if (!TryStrToInt(Trim(text), value))
        RaiseNotANumber(text);
    if (value < 0 || value > TransactionGraceMax)
        RaiseNotAccepted(text, "de 0 à " + std::to_string(TransactionGraceMax) + " secondes");
    return value;
}

TJobSettings DefaultJobSettings(std::string_view dbFileText, std::string_view databaseFile)
{
    const std::string path = databaseFile.empty() ? SplitDatabaseLocation(dbFileText).path : std::string(databaseFile);
    TJobSettings settings;
    settings.renamePath = ChangeFileExtension(path, ".FIB.BKP");
    settings.emplacementBackup = ExtractFolder(path);
    return settings;
}

TJobSettings JobSettingsFromRegistry(std::string_view dbFileText, std::string_view databaseFile)
{
    TJobSettings settings = DefaultJobSettings(dbFileText, databaseFile);
    settings.forcerDeconnexionClient = ReadRegBool(true, RegistrySection, std::string(KeyForcer));
    settings.beforeBackup = ReadRegBool(true, RegistrySection, std::string(KeyBefore));
    settings.afterRestore = ReadRegBool(false, RegistrySection, std::string(KeyAfter));
    if (std::string text = ReadRegString(RegistrySection, std::string(KeyRename)); !text.empty())
        settings.renamePath = std::move(text);
    if (std::string text = ReadRegString(RegistrySection, std::string(KeyBackup)); !text.empty())
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

    TJobSettings settings = defaults;
    for (const TJobSettingsKey& key : Keys)
        std::visit(
            [&](auto member) {
                using Value = std::remove_reference_t<decltype(settings.*member)>;
                if constexpr (std::is_same_v<Value, bool>)
                    settings.*member = ReadBool(ini, section, key.name, defaults.*member);
                else if constexpr (std::is_same_v<Value, std::string>)
                    settings.*member = ReadText(ini, section, key.name, defaults.*member);
                else if (ini.GetValue(section.c_str(), std::string(key.name).c_str(), nullptr) != nullptr)
                    settings.*member = ReadText(ini, section, key.name, {});
            },
            key.member);
    return settings;
}

void TJobSettingsFile::Write(const std::string& section, const TJobSettings& settings) const
{
    for (const TJobSettingsKey& key : Keys)
        std::visit(
            [&](auto member) {
                const auto& value = settings.*member;
                using Value = std::remove_cvref_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, bool>)
                    WriteString(section, std::string(key.name), value ? "1" : "0");
                else if constexpr (std::is_same_v<Value, std::string>)
                    WriteString(section, std::string(key.name), value);
                else if (value)
                    WriteString(section, std::string(key.name), *value);
            },
            key.member);
}

void TJobSettingsFile::WriteString(const std::string& section, const std::string& key, const std::string& value) const
{
    const auto refuse = [this] { return EIniFileException(FormatText("Unable to write to %s", fileName_)); };

    const bool exists = platform::PathExists(fileName_);
    std::string text;
    // An existing file that cannot be read is not overwritten: its other sections would be lost.
    if (exists) {
        std::optional<std::string> read = platform::ReadWholeFile(fileName_);
        if (!read)
            throw refuse();
        text = std::move(*read);
    }
    try {
        platform::WriteFileDurably(fileName_, SetIniValue(text, section, key, value));
    } catch (const EOSError&) {
        throw refuse();
    }
}

TJobSettings JobSettingsOfDatabase(const std::string& dbFileText, bool& sectionFound, std::string_view databaseFile)
{
    sectionFound = false;
    const TJobSettingsFile file(JobSettingsFileName());
    return file.Exists() ? file.Read(dbFileText, DefaultJobSettings(dbFileText, databaseFile), sectionFound)
                         : JobSettingsFromRegistry(dbFileText, databaseFile);
}

} // namespace morvane
