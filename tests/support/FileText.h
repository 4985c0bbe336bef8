#pragma once
// Files a test writes for the code to read and reads back afterwards, byte for byte.

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace morvane::test {

// The whole file (empty when the file is missing).
inline std::string ReadFileText(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The file's lines without their LF (none when the file is missing).
inline std::vector<std::string> ReadFileLines(const std::string& fileName)
{
    std::vector<std::string> lines;
    std::ifstream in(fileName, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Replaces the file's contents with text, exactly as given.
inline void WriteFileText(const std::string& fileName, const std::string& text)
{
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out << text;
}

} // namespace morvane::test
