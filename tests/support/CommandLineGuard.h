#pragma once
// Sets the program's command line for one test and puts the previous one back.

#include "global/Global_Utils.h"

#include <string>
#include <vector>

namespace morvane::testing {

class CommandLineGuard {
public:
    explicit CommandLineGuard(std::vector<std::string> arguments) : saved_(CommandLineArguments())
    {
        SetCommandLine(std::move(arguments));
    }
    ~CommandLineGuard() { SetCommandLine(saved_); }
    CommandLineGuard(const CommandLineGuard&) = delete;
    CommandLineGuard& operator=(const CommandLineGuard&) = delete;

private:
    std::vector<std::string> saved_;
};

} // namespace morvane::testing
