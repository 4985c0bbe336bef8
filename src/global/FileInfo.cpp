#include "global/FileInfo.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "platform/VersionRecord.h"

namespace morvane {

std::optional<std::vector<std::uint8_t>> LoadVersionBlock(const std::string& fileName)
{
    int errorCode = 0;
    auto bytes = platform::ReadVersionSection(fileName, errorCode);
    if (!bytes || !platform::ParseVersionRecord(*bytes))
        return std::nullopt;
    return bytes;
}

bool GetFileVersionNumbers(const std::string& fileName, std::uint32_t& high, std::uint32_t& low)
{
    int errorCode = 0;
    const auto record = platform::ReadVersionRecord(fileName, errorCode);
    if (!record)
        return false;
    if (!record->hasNumbers)
        throw Exception("Fixed file info not available");
    high = record->high;
    low = record->low;
    return true;
}

std::string FormatVersion(std::uint32_t high, std::uint32_t low, bool shortForm)
{
    const unsigned major = high >> 16, minor = high & 0xFFFF, release = low >> 16, build = low & 0xFFFF;
    if (!shortForm)
        return FormatText("%u.%u.%u.%u", major, minor, release, build);
    std::string letter;
    const unsigned code = (96 + release) % 256;
    // Release 1 is a, 2 is b...; a code past ASCII is written as its Latin-1 character.
    if (release != 0 && code != 0) {
        if (code < 0x80) {
            letter += static_cast<char>(code);
        } else {
            letter += static_cast<char>(0xC0 | (code >> 6));
            letter += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return FormatText("%u.%u%s", major, minor, letter);
}

std::string FileVersionText(const std::string& fileName, bool shortForm)
{
    std::uint32_t high = 0, low = 0;
    if (!GetFileVersionNumbers(fileName, high, low))
        return {};
    return FormatVersion(high, low, shortForm);
}

void GetVersionStrings(const std::string& fileName, TEXEVersionData& data)
{
    int errorCode = 0;
    const auto record = platform::ReadVersionRecord(fileName, errorCode);
    if (!record)
        RaiseOSError(errorCode);
    const std::pair<const char*, std::string TEXEVersionData::*> fields[] = {
        {"CompanyName", &TEXEVersionData::CompanyName},       {"FileDescription", &TEXEVersionData::FileDescription},
        {"FileVersion", &TEXEVersionData::FileVersion},       {"InternalName", &TEXEVersionData::InternalName},
        {"LegalCopyright", &TEXEVersionData::LegalCopyright}, {"LegalTrademarks", &TEXEVersionData::LegalTrademarks},
        {"OriginalFileName", &TEXEVersionData::OriginalFileName}, {"ProductName", &TEXEVersionData::ProductName},
        {"ProductVersion", &TEXEVersionData::ProductVersion}, {"Comments", &TEXEVersionData::Comments},
        {"PrivateBuild", &TEXEVersionData::PrivateBuild},     {"SpecialBuild", &TEXEVersionData::SpecialBuild},
    };
    for (const auto& [key, field] : fields)
        if (auto value = record->String(key))
            data.*field = std::move(*value);
}

} // namespace morvane
