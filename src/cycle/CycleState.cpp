#include "cycle/CycleState.h"

#include "core/Format.h"
#include "platform/FileLock.h"
#include "platform/PrivateFolder.h"

#include <cstdint>

namespace morvane {

std::uint64_t PathKey(const std::string& text)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

namespace {

// A file name as a folder name: what is not a plain character becomes "_".
std::string PlainName(const std::string& name)
{
    std::string plain;
    for (const unsigned char c : name.substr(0, 64))
        plain += (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'
                     ? static_cast<char>(c)
                     : '_';
    return plain;
}

std::string PrivateFolderOf(const std::string& root, const std::string& databasePath)
{
    platform::EnsurePrivateFolder(root);
    const std::string folder = root + "/" + DatabaseStateName(databasePath);
    platform::EnsurePrivateFolder(folder);
    return folder;
}

} // namespace

std::string DatabaseStateName(const std::string& databasePath)
{
    const std::string real = platform::FollowedFilePath(databasePath);
    const std::size_t slash = real.find_last_of('/');
    return PlainName(slash == std::string::npos ? real : real.substr(slash + 1)) +
           FormatText("-%016llx", static_cast<unsigned long long>(PathKey(real)));
}

std::string CycleStateFolder(const std::string& databasePath)
{
    return PrivateFolderOf(platform::StateRoot(), databasePath);
}

std::string CycleRuntimeFolder(const std::string& databasePath)
{
    return PrivateFolderOf(platform::RuntimeRoot(), databasePath);
}

std::string RememberedDatabaseFilePath(const std::string& dbFileText)
{
    const std::string root = platform::StateRoot();
    platform::EnsurePrivateFolder(root);
    const std::string folder = root + "/names";
    platform::EnsurePrivateFolder(folder);
    return folder + "/" + PlainName(dbFileText) +
           FormatText("-%016llx", static_cast<unsigned long long>(PathKey(dbFileText)));
}

} // namespace morvane
