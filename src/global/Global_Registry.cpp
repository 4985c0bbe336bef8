#include "global/Global_Registry.h"

#include "core/Format.h"
#include "global/Global_Utils.h"
#include "platform/RegistryStore.h"

namespace morvane {

namespace {
using platform::RegistryValue;
using platform::RegistryValueKind;

// The stored value, or none when the store, the key or the value is missing.
std::optional<RegistryValue> FindValue(const std::string& application, const std::string& section,
                                       const std::string& valueName)
{
    const auto store = platform::LoadRegistryStore();
    if (!store)
        return std::nullopt;
    const RegistryValue* value = store->Find(RegistryKeyPath(application, section), valueName);
    if (value == nullptr)
        return std::nullopt;
    return *value;
}
} // namespace

std::string RegistryKeyPath(const std::string& application, const std::string& section)
{
    std::string path = "HKEY_CURRENT_USER\\Software\\Calvenor";
    if (!application.empty())
        path += "\\" + application;
    if (!section.empty())
        path += "\\" + section;
    return path;
}

std::string ReadRegString(const std::string& section, const std::string& valueName)
{
    return ReadRegString(section, valueName, ApplicationTitle());
}

std::string ReadRegString(const std::string& section, const std::string& valueName, const std::string& application)
{
    const auto value = FindValue(application, section, valueName);
    // An empty value reads as the empty text whatever its kind.
    if (!value || value->StoredSize() <= 1)
        return {};
    if (value->kind != RegistryValueKind::String && value->kind != RegistryValueKind::ExpandString)
        throw ERegistryException(FormatText("Invalid data type for '%s'", valueName));
    return value->text;
}

bool ReadRegBool(bool defaultValue, const std::string& section, const std::string& valueName)
{
    return ReadRegBool(defaultValue, section, valueName, ApplicationTitle());
}

bool ReadRegBool(bool defaultValue, const std::string& section, const std::string& valueName,
                 const std::string& application)
{
    const auto value = FindValue(application, section, valueName);
    if (!value)
        return defaultValue;
    // A value that does not fit the 4 bytes of the number cannot even be fetched.
    if (value->StoredSize() > 4)
        throw ERegistryException(FormatText("Failed to get data for '%s'", valueName));
    if (value->kind != RegistryValueKind::DWord)
        throw ERegistryException(FormatText("Invalid data type for '%s'", valueName));
    return value->number != 0;
}

} // namespace morvane
