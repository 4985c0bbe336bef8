#include "platform/VersionRecord.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane::platform {

namespace {

// Reads unsigned numbers of an image in its byte order, refusing any read past its end.
class ImageReader {
public:
    ImageReader(std::span<const std::uint8_t> image, bool bigEndian) : image_(image), bigEndian_(bigEndian) {}

    bool Read(std::uint64_t offset, unsigned width, std::uint64_t& value) const
    {
        if (offset > image_.size() || image_.size() - offset < width)
            return false;
        value = 0;
        for (unsigned i = 0; i < width; ++i) {
            const unsigned index = bigEndian_ ? i : width - 1 - i;
            value = value << 8 | image_[static_cast<std::size_t>(offset) + index];
        }
        return true;
    }

private:
    std::span<const std::uint8_t> image_;
    bool bigEndian_;
};

struct ElfLayout {
    unsigned word;          // 4 or 8
    std::uint64_t shoffAt, shentsizeAt, shnumAt, shstrndxAt;
    std::uint64_t minimumEntrySize;
    std::uint64_t nameAt, typeAt, linkAt, offsetAt, sizeAt;
};

constexpr ElfLayout Elf32{4, 0x20, 0x2E, 0x30, 0x32, 40, 0, 4, 24, 16, 20};
constexpr ElfLayout Elf64{8, 0x28, 0x3A, 0x3C, 0x3E, 64, 0, 4, 40, 24, 32};
constexpr std::uint32_t SectionNoBits = 8;
constexpr std::uint64_t ExtendedIndex = 0xFFFF;

// A file mapped for reading, unmapped when it goes.
class MappedFile {
public:
    explicit MappedFile(const std::string& fileName)
    {
        const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error_ = errno;
            return;
        }
        struct stat status {};
        if (::fstat(fd, &status) != 0) {
            error_ = errno;
        } else if (!S_ISREG(status.st_mode) || status.st_size <= 0) {
            error_ = ENODATA;
        } else {
            void* address = ::mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (address == MAP_FAILED) {
                error_ = errno;
            } else {
                address_ = address;
                size_ = static_cast<std::size_t>(status.st_size);
            }
        }
        ::close(fd);
    }
    ~MappedFile()
    {
        if (address_ != nullptr)
            ::munmap(address_, size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    int Error() const noexcept { return error_; }
    std::span<const std::uint8_t> Bytes() const noexcept
    {
        return {static_cast<const std::uint8_t*>(address_), address_ != nullptr ? size_ : 0};
    }

private:
    void* address_ = nullptr;
    std::size_t size_ = 0;
    int error_ = 0;
};

} // namespace

std::optional<std::string> VersionRecord::String(std::string_view key) const
{
    for (const auto& [name, value] : strings)
        if (name == key)
            return value;
    return std::nullopt;
}

std::optional<std::span<const std::uint8_t>> FindElfSection(std::span<const std::uint8_t> image, std::string_view name)
{
    if (image.size() < 16 || image[0] != 0x7F || image[1] != 'E' || image[2] != 'L' || image[3] != 'F')
        return std::nullopt;
    if ((image[4] != 1 && image[4] != 2) || (image[5] != 1 && image[5] != 2))
        return std::nullopt;
    const ElfLayout& layout = image[4] == 1 ? Elf32 : Elf64;
    const ImageReader reader(image, image[5] == 2);

    std::uint64_t shoff = 0, entrySize = 0, count = 0, stringIndex = 0;
    if (!reader.Read(layout.shoffAt, layout.word, shoff) || !reader.Read(layout.shentsizeAt, 2, entrySize) ||
        !reader.Read(layout.shnumAt, 2, count) || !reader.Read(layout.shstrndxAt, 2, stringIndex))
        return std::nullopt;
    if (shoff == 0 || entrySize < layout.minimumEntrySize)
        return std::nullopt;
    // Many sections: the real count and string-table index sit in section 0.
    if (count == 0 && !reader.Read(shoff + layout.sizeAt, layout.word, count))
        return std::nullopt;
    if (stringIndex == ExtendedIndex && !reader.Read(shoff + layout.linkAt, 4, stringIndex))
        return std::nullopt;
    if (count == 0 || count > image.size() / entrySize || stringIndex >= count)
        return std::nullopt;
    if (shoff > image.size() || (image.size() - shoff) / entrySize < count)
        return std::nullopt;

    // Bounds of a section's bytes, or none when they lie outside the image.
    auto sectionBytes = [&](std::uint64_t index) -> std::optional<std::span<const std::uint8_t>> {
        const std::uint64_t header = shoff + index * entrySize;
        std::uint64_t type = 0, offset = 0, size = 0;
        if (!reader.Read(header + layout.typeAt, 4, type) || !reader.Read(header + layout.offsetAt, layout.word, offset) ||
            !reader.Read(header + layout.sizeAt, layout.word, size))
            return std::nullopt;
        if (type == SectionNoBits)
            return std::span<const std::uint8_t>{};
        if (offset > image.size() || image.size() - offset < size)
            return std::nullopt;
        return image.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
    };

    const auto names = sectionBytes(stringIndex);
    if (!names)
        return std::nullopt;
    for (std::uint64_t index = 0; index < count; ++index) {
        std::uint64_t nameOffset = 0;
        if (!reader.Read(shoff + index * entrySize + layout.nameAt, 4, nameOffset) || nameOffset >= names->size())
            continue;
        const auto* first = reinterpret_cast<const char*>(names->data()) + nameOffset;
        const std::size_t room = names->size() - static_cast<std::size_t>(nameOffset);
        std::size_t length = 0;
        while (length < room && first[length] != '\0')
            ++length;
        if (length == room || std::string_view(first, length) != name)
            continue; // an unterminated name is no name
        return sectionBytes(index);
    }
    return std::nullopt;
}

std::optional<VersionRecord> ParseVersionRecord(std::span<const std::uint8_t> bytes)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.size() <= VersionRecordMagic.size() || text.substr(0, VersionRecordMagic.size()) != VersionRecordMagic ||
        text[VersionRecordMagic.size()] != '\0')
        return std::nullopt;
    VersionRecord record;
    std::size_t pos = VersionRecordMagic.size() + 1;
    while (pos < text.size()) {
        std::size_t end = text.find('\0', pos);
        if (end == std::string_view::npos)
            end = text.size(); // an entry cut short by the section's end still counts
        const std::string_view entry = text.substr(pos, end - pos);
        if (entry.empty())
            break;
        pos = end + 1;
        const std::size_t equals = entry.find('=');
        if (equals == std::string_view::npos || equals == 0)
            continue;
        const std::string_view key = entry.substr(0, equals), value = entry.substr(equals + 1);
        if (key != VersionNumbersKey) {
            record.strings.emplace_back(key, value);
            continue;
        }
        // Four numbers of 16 bits each, separated by dots.
        std::uint32_t parts[4] = {};
        std::size_t index = 0, digits = 0;
        bool valid = true;
        for (const char c : value) {
            if (c == '.') {
                valid = valid && digits > 0 && ++index < 4;
                digits = 0;
            } else if (c >= '0' && c <= '9' && index < 4) {
                parts[index] = parts[index] * 10 + static_cast<std::uint32_t>(c - '0');
                valid = valid && ++digits <= 5 && parts[index] <= 0xFFFF;
            } else {
                valid = false;
            }
        }
        if (valid && index == 3 && digits > 0) {
            record.hasNumbers = true;
            record.high = parts[0] << 16 | parts[1];
            record.low = parts[2] << 16 | parts[3];
        }
    }
    return record;
}

std::optional<std::vector<std::uint8_t>> ReadVersionSection(const std::string& fileName, int& errorCode)
{
    const MappedFile file(fileName);
    if (file.Error() != 0) {
        errorCode = file.Error();
        return std::nullopt;
    }
    const auto section = FindElfSection(file.Bytes(), VersionSectionName);
    if (!section) {
        errorCode = ENODATA;
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(section->begin(), section->end());
}

std::optional<VersionRecord> ReadVersionRecord(const std::string& fileName, int& errorCode)
{
    const auto bytes = ReadVersionSection(fileName, errorCode);
    auto record = bytes ? ParseVersionRecord(*bytes) : std::nullopt;
    if (bytes && !record)
        errorCode = ENODATA;
    return record;
}

} // namespace morvane::platform
