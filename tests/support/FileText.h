#pragma once
// A file read back whole, byte for byte, for a test to look at (empty when the
// file is missing).

#include <fstream>
#include <sstream>
#include <string>

namespace morvane::test {

inline std::string ReadFileText(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace morvane::test
