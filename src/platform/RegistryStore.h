#pragma once
// A read-only registry: the keys and values of a Windows registry export (.reg
// file) that an administrator drops in the user's configuration folder.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::platform {

enum class RegistryValueKind { String, ExpandString, DWord, Binary, Other };

struct RegistryValue {
    RegistryValueKind kind = RegistryValueKind::String;
    std::string text;                // String and ExpandString, as UTF-8
    std::uint32_t number = 0;        // DWord
    std::vector<std::uint8_t> data;  // the stored bytes of every other kind

    // The size the registry reports for the value: text with its terminating NUL,
    // 4 for a DWord, the byte count otherwise.
    std::size_t StoredSize() const;
};

class RegistryStore {
public:
    // Key paths are compared without regard to case, as the registry does; so are
    // value names.
    const RegistryValue* Find(std::string_view keyPath, std::string_view valueName) const;
    bool HasKey(std::string_view keyPath) const;
    void AddKey(std::string_view keyPath);
    void Set(std::string_view keyPath, std::string_view valueName, RegistryValue value);
    std::size_t KeyCount() const noexcept { return keys_.size(); }

private:
    std::map<std::string, std::map<std::string, RegistryValue>> keys_;
};

// Parses the bytes of an export (UTF-8, or UTF-16LE with its byte-order mark; CR LF
// or LF). Lines that cannot be understood are skipped.
RegistryStore ParseRegistryExport(std::string_view bytes);

// Where the store lives: $XDG_CONFIG_HOME, else ~/.config, then Calvenor/registry.reg.
std::string RegistryFileLocation();
// Points the store at another file (tests); an empty text restores the default.
void SetRegistryFileLocation(std::string fileName);
// Reads and parses the store's file; none when it cannot be read.
std::optional<RegistryStore> LoadRegistryStore();

} // namespace morvane::platform
