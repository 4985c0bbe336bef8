#pragma once
// The version record the build embeds in the program: a small self-describing
// record in its own ELF section, read back from any file.
//
// Layout of the section: the text "MORVANE-VERSION-1" and a NUL, then entries
// "Key=Value" each ended by a NUL, then an empty entry. The entry
// "VersionNumbers=major.minor.release.build" carries the four numbers; the other
// entries are the version strings (CompanyName, FileVersion, ...).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvane::platform {

inline constexpr std::string_view VersionSectionName = ".morvane_version";
inline constexpr std::string_view VersionRecordMagic = "MORVANE-VERSION-1";
inline constexpr std::string_view VersionNumbersKey = "VersionNumbers";

struct VersionRecord {
    bool hasNumbers = false;
    std::uint32_t high = 0; // major << 16 | minor
    std::uint32_t low = 0;  // release << 16 | build
    std::vector<std::pair<std::string, std::string>> strings;

    // The value of a string entry, none when the record lacks it.
    std::optional<std::string> String(std::string_view key) const;
};

// The contents of a named section of an ELF image (32 or 64 bits, either byte
// order); none when the image is not ELF, is cut short or has no such section.
std::optional<std::span<const std::uint8_t>> FindElfSection(std::span<const std::uint8_t> image, std::string_view name);

// A record's bytes; none when they do not start with the record's magic text.
std::optional<VersionRecord> ParseVersionRecord(std::span<const std::uint8_t> bytes);

// The record's bytes as the file holds them; none for a file without record.
std::optional<std::vector<std::uint8_t>> ReadVersionSection(const std::string& fileName, int& errorCode);

// The record embedded in a file; none for a file that cannot be read or has none.
// errorCode receives why: the system's error number, or ENODATA for a file without record.
std::optional<VersionRecord> ReadVersionRecord(const std::string& fileName, int& errorCode);

} // namespace morvane::platform
