#pragma once
// What the logger tests share: a temporary folder that goes away with the test, a
// program path placed inside it (so files "beside the program" land there), file
// helpers, and a logger that records what it was given.

#include "core/Exception.h"
#include "global/Global_Utils.h"
#include "logger/uLogger.h"
#include "support/FileText.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace morvane::test {

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "morvane-logger-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored; // a test that failed half-way must not fail again here
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const noexcept { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The program "lives" in a folder for the life of the scope; the command line is
// restored afterwards.
class ScopedProgram {
public:
    ScopedProgram(const std::string& programPath, std::vector<std::string> parameters = {})
        : saved_(CommandLineArguments())
    {
        parameters.insert(parameters.begin(), programPath);
        SetCommandLine(std::move(parameters));
    }
    ~ScopedProgram() { SetCommandLine(saved_); }
    ScopedProgram(const ScopedProgram&) = delete;
    ScopedProgram& operator=(const ScopedProgram&) = delete;

private:
    std::vector<std::string> saved_;
};

inline std::vector<std::string> ReadFileLines(const std::string& fileName)
{
    std::vector<std::string> lines;
    std::ifstream in(fileName, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline void WriteFileText(const std::string& fileName, const std::string& text)
{
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out << text;
}

// A logger that keeps its lines; an optional hook runs on each one (to fail or block).
class RecordingLogger : public TLogger {
public:
    RecordingLogger(std::uint8_t niveauMax = 255, std::int32_t logSpecifique = 0, bool insertTime = false,
                    std::string format = DefaultLogDateTimeFormat, bool insertNiveauLog = false)
        : TLogger(niveauMax, logSpecifique, nullptr, insertTime, std::move(format), insertNiveauLog)
    {
    }
    std::vector<std::string> lines;
    std::vector<std::uint8_t> levels;
    std::function<void(const std::string&)> onLine;

protected:
    void DoLog(const std::string& line) override
    {
        if (onLine)
            onLine(line);
        lines.push_back(line);
        levels.push_back(LastLevel());
    }
};

} // namespace morvane::test
