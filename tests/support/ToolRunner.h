#pragma once
// Runs one of the server's command-line tools (fbstat, gfix, isql-fb, gbak) without
// a shell and captures its standard output and error together.

#include <string>
#include <vector>

namespace morvane::test {

struct ToolResult {
    int ExitCode = -1;
    std::string Output;
};

// argv[0] is looked up in PATH; standard input is /dev/null.
ToolResult RunTool(const std::vector<std::string>& argv);

// Output split into lines, trailing CR and blanks removed.
std::vector<std::string> OutputLines(const std::string& output);

} // namespace morvane::test
