#pragma once
// The site's settings under HKEY_CURRENT_USER\Software\Calvenor, read from the
// registry export the administrator keeps in the user's configuration folder.

#include "core/Exception.h"

#include <string>

namespace morvane {

// A value that cannot be read as the kind asked for.
MORVANE_DECLARE_EXCEPTION(ERegistryException, Exception);

// The text value, or the empty text when the key or the value does not exist.
// Without an application name the application title is used.
std::string ReadRegString(const std::string& section, const std::string& valueName);
std::string ReadRegString(const std::string& section, const std::string& valueName, const std::string& application);

// A yes/no value stored as a 32-bit number (nonzero is yes), or the default.
bool ReadRegBool(bool defaultValue, const std::string& section, const std::string& valueName);
bool ReadRegBool(bool defaultValue, const std::string& section, const std::string& valueName,
                 const std::string& application);

// The key path under HKEY_CURRENT_USER for an application and a section.
std::string RegistryKeyPath(const std::string& application, const std::string& section);

} // namespace morvane
