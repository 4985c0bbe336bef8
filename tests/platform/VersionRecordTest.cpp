#include "platform/VersionRecord.h"

#include "support/FileText.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace morvane::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A minimal ELF image: a null section, the section-name table, a data section and
// an empty (no-bits) section, in either class and byte order.
struct ElfSection {
    std::string name;
    Bytes data;
    std::uint32_t type = 1; // program data
};

Bytes BuildElf(bool is64, bool bigEndian, const std::vector<ElfSection>& sections)
{
    const std::size_t headerSize = is64 ? 64 : 52, entrySize = is64 ? 64 : 40, word = is64 ? 8 : 4;
    Bytes image(headerSize, 0);
    auto put = [&](std::size_t offset, std::size_t width, std::uint64_t value) {
        if (image.size() < offset + width)
            image.resize(offset + width, 0);
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t shift = 8 * (bigEndian ? width - 1 - i : i);
            image[offset + i] = static_cast<std::uint8_t>(value >> shift);
        }
    };
    image[0] = 0x7F, image[1] = 'E', image[2] = 'L', image[3] = 'F';
    image[4] = is64 ? 2 : 1, image[5] = bigEndian ? 2 : 1, image[6] = 1;

    std::string names(1, '\0');
    std::vector<std::size_t> nameOffsets{0};
    for (const auto& section : sections) {
        nameOffsets.push_back(names.size());
        names += section.name + '\0';
    }
    nameOffsets.push_back(names.size());
    names += std::string(".shstrtab") + '\0';

    std::vector<std::pair<std::size_t, std::size_t>> places; // offset and size of each section's data
    places.emplace_back(0, 0);
    for (const auto& section : sections) {
        places.emplace_back(image.size(), section.data.size());
        if (section.type != 8)
            image.insert(image.end(), section.data.begin(), section.data.end());
    }
    places.emplace_back(image.size(), names.size());
    image.insert(image.end(), names.begin(), names.end());

    const std::size_t count = sections.size() + 2, shoff = image.size();
    put(is64 ? 0x28 : 0x20, word, shoff);
    put(is64 ? 0x3A : 0x2E, 2, entrySize);
    put(is64 ? 0x3C : 0x30, 2, count);
    put(is64 ? 0x3E : 0x32, 2, count - 1);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t header = shoff + i * entrySize;
        put(header, 4, nameOffsets[i]);
        put(header + 4, 4, i == 0 ? 0 : (i == count - 1 ? 3 : sections[i - 1].type));
        put(header + (is64 ? 24 : 16), word, places[i].first);
        put(header + (is64 ? 32 : 20), word, places[i].second);
        if (image.size() < header + entrySize)
            image.resize(header + entrySize, 0);
    }
    return image;
}

const std::string Record = std::string("MORVANE-VERSION-1\0VersionNumbers=2.1.3.7\0CompanyName=Calvenor\0", 62) +
                           std::string("PrivateBuild=essai\0\0", 20);

TEST(ElfSection, FindsASectionByNameInEveryClassAndByteOrder)
{
    const std::vector<ElfSection> sections = {
        {".text", ToBytes("code"), 1}, {".bss", Bytes(16, 0), 8}, {".morvane_version", ToBytes(Record), 1}};
    for (const bool is64 : {false, true}) {
        for (const bool bigEndian : {false, true}) {
            SCOPED_TRACE(std::to_string(is64) + std::to_string(bigEndian));
            const Bytes image = BuildElf(is64, bigEndian, sections);
            const auto found = FindElfSection(image, ".morvane_version");
            ASSERT_TRUE(found.has_value());
            EXPECT_EQ(std::string(found->begin(), found->end()), Record);
            const auto text = FindElfSection(image, ".text");
            ASSERT_TRUE(text.has_value());
            EXPECT_EQ(std::string(text->begin(), text->end()), "code");
            const auto bss = FindElfSection(image, ".bss"); // no bytes in the file
            ASSERT_TRUE(bss.has_value());
            EXPECT_TRUE(bss->empty());
            EXPECT_FALSE(FindElfSection(image, ".morvane").has_value());
        }
    }
}

TEST(ElfSection, RefusesImagesThatAreNotElfOrPointOutsideThemselves)
{
    const Bytes good = BuildElf(true, false, {{".morvane_version", ToBytes(Record), 1}});
    // Every cut of the image must be refused or give the right bytes, never read past it.
    for (std::size_t length = 0; length < good.size(); ++length) {
        const auto found = FindElfSection(std::span(good).first(length), ".morvane_version");
        EXPECT_FALSE(found.has_value()) << length;
    }
    // Every single damaged byte: whatever comes back lies inside the image.
    for (std::size_t i = 0; i < good.size(); ++i) {
        for (const std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0x7F}, std::uint8_t{0xFF}}) {
            Bytes damaged = good;
            damaged[i] = value;
            if (const auto found = FindElfSection(damaged, ".morvane_version")) {
                EXPECT_GE(found->data(), damaged.data());
                EXPECT_LE(found->data() + found->size(), damaged.data() + damaged.size());
            }
        }
    }
    EXPECT_FALSE(FindElfSection(ToBytes("#!/bin/sh\necho not a program\n"), ".morvane_version").has_value());
}

TEST(VersionRecordParse, ReadsNumbersAndStringsAndRefusesForeignBytes)
{
    const auto record = ParseVersionRecord(ToBytes(Record));
    ASSERT_TRUE(record.has_value());
    EXPECT_TRUE(record->hasNumbers);
    EXPECT_EQ(record->high, 0x00020001u);
    EXPECT_EQ(record->low, 0x00030007u);
    EXPECT_EQ(record->String("CompanyName"), "Calvenor");
    EXPECT_EQ(record->String("PrivateBuild"), "essai");
    EXPECT_FALSE(record->String("SpecialBuild").has_value());

    EXPECT_FALSE(ParseVersionRecord(ToBytes("MORVANE-VERSION-2\0x=y")).has_value());
    EXPECT_FALSE(ParseVersionRecord(ToBytes("MORVANE-VERSION-1")).has_value());
    EXPECT_FALSE(ParseVersionRecord({}).has_value());
}

TEST(VersionRecordParse, NumbersMustBeFourSixteenBitValues)
{
    const struct {
        const char* numbers;
        bool valid;
        std::uint32_t high, low;
    } cases[] = {
        {"1.0.0.1", true, 0x00010000, 0x00000001},
        {"65535.0.0.65535", true, 0xFFFF0000, 0x0000FFFF},
        {"1.2.3", false, 0, 0},
        {"1.2.3.4.5", false, 0, 0},
        {"1.2.3.65536", false, 0, 0},
        {"1..3.4", false, 0, 0},
        {"1.2.3.", false, 0, 0},
        {"1.2.3.x", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const auto& c : cases) {
        const std::string bytes = std::string("MORVANE-VERSION-1\0VersionNumbers=", 33) + c.numbers;
        const auto record = ParseVersionRecord(ToBytes(bytes)); // no closing entry: cut short
        ASSERT_TRUE(record.has_value()) << c.numbers;
        EXPECT_EQ(record->hasNumbers, c.valid) << c.numbers;
        EXPECT_EQ(record->high, c.high) << c.numbers;
        EXPECT_EQ(record->low, c.low) << c.numbers;
    }
}

TEST(VersionRecordFile, AFileWithoutRecordSaysWhy)
{
    int errorCode = 0;
    EXPECT_FALSE(ReadVersionRecord("/proc/self/exe", errorCode).has_value()); // this test has none
    EXPECT_EQ(errorCode, ENODATA);
    EXPECT_FALSE(ReadVersionRecord("/nonexistent/morvane", errorCode).has_value());
    EXPECT_EQ(errorCode, ENOENT);
    EXPECT_FALSE(ReadVersionRecord("/dev/null", errorCode).has_value());
    EXPECT_EQ(errorCode, ENODATA);
}

TEST(VersionRecordFile, ReadsTheRecordOfAnElfFileOnDisk)
{
    const Bytes image = BuildElf(true, false, {{".morvane_version", ToBytes(Record), 1}});
    test::TemporaryFolder folder;
    const std::string name = folder.File("morvane.elf");
    test::WriteFileText(name, std::string(image.begin(), image.end()));
    int errorCode = 0;
    const auto record = ReadVersionRecord(name, errorCode);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->String("CompanyName"), "Calvenor");
}

} // namespace
} // namespace morvane::platform
