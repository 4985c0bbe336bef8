#pragma once
// Version information of a program file: the four version numbers and the twelve
// version strings the build embeds in it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

struct TEXEVersionData {
    std::string CompanyName, FileDescription, FileVersion, InternalName, LegalCopyright, LegalTrademarks,
        OriginalFileName, ProductName, ProductVersion, Comments, PrivateBuild, SpecialBuild;
};

// The file version as text; the empty text when the file has no version information.
std::string FileVersionText(const std::string& fileName, bool shortForm);
// Fills the fields the file has; a file without version information raises EOSError.
void GetVersionStrings(const std::string& fileName, TEXEVersionData& data);
// false when the file has no version information.
bool GetFileVersionNumbers(const std::string& fileName, std::uint32_t& high, std::uint32_t& low);
// A copy of the file's version record, owned by the caller; none when it has none.
std::optional<std::vector<std::uint8_t>> LoadVersionBlock(const std::string& fileName);
// Long form 1.2.3.4; short form 1.2c (release as a letter, none for 0).
std::string FormatVersion(std::uint32_t high, std::uint32_t low, bool shortForm);

} // namespace morvane
