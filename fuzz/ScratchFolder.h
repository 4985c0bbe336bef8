#pragma once
// A private folder for the targets whose readers take a file name: created once,
// removed with its contents when the fuzzer ends.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace morvane::fuzz {

class ScratchFolder {
public:
    ScratchFolder()
    {
        char name[] = "/tmp/morvane-fuzz-XXXXXX";
        if (::mkdtemp(name) == nullptr)
            std::abort(); // no folder, no target: nothing sensible to run
        path_ = name;
    }
    ~ScratchFolder()
    {
        std::error_code ignored; // a folder left behind in /tmp is no reason to fail a run
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const noexcept { return path_; }

    // Writes a file of the folder, replacing it; returns its path.
    std::string Write(const std::string& name, std::string_view contents) const
    {
        const std::string file = path_ + "/" + name;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        return file;
    }

private:
    std::string path_;
};

} // namespace morvane::fuzz
