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
// The same with NAME=VALUE settings added to the tool's environment only (replacing
// ours of the same name). Credentials go there: every local user can read a
// command line, only the process's own user its environment.
ToolResult RunTool(const std::vector<std::string>& argv, const std::vector<std::string>& settings);

// Our environment with those settings added or replacing ours of the same name.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& settings);

// Output split into lines, trailing CR and blanks removed.
std::vector<std::string> OutputLines(const std::string& output);

} // namespace morvane::test
