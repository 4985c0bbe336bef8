// Program entry: records the command line and shows the program's version.

#include "global/FileInfo.h"
#include "global/Global_Utils.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    try {
        morvane::SetCommandLine(std::vector<std::string>(argv, argv + argc));
        const std::string caption = "Morvane - " + morvane::FileVersionText(morvane::ProgramFileName(), false);
        std::printf("%s\n", caption.c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
