// The program as the end-to-end tests run it when they must act between two steps
// of the cycle or pretend a file system is full:
//   MORVANE_TEST_FREE_SPACE=<bytes>  every file system reports that much free;
//   MORVANE_TEST_PAUSE_AT=<step>     at that point (a step as it starts, "<step>:done" once
//                                    its journal line is written) the cycle creates "morvane-paused"
//                                    beside the program and waits until it is removed,
//                                    so a test can kill the program there or act on
//                                    the server and let the run go on.

#include "cycle/CyclePreflight.h"
#include "global/Global_Utils.h"
#include "window/Program.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

morvane::CycleHooks HooksFromEnvironment()
{
    morvane::CycleHooks hooks;
    if (const char* pauseAt = std::getenv("MORVANE_TEST_PAUSE_AT")) {
        const std::string wanted = pauseAt;
        hooks.stepReached = [wanted](std::string_view step) {
            if (step != wanted)
                return;
            const std::string marker = morvane::ProgramFolder() + "morvane-paused";
            std::ofstream(marker) << step << '\n';
            std::error_code error;
            while (std::filesystem::exists(marker, error))
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        };
    }
    if (const char* freeSpace = std::getenv("MORVANE_TEST_FREE_SPACE")) {
        const unsigned long long bytes = std::strtoull(freeSpace, nullptr, 10);
        hooks.freeSpace = [bytes](const std::string& folder) -> std::optional<morvane::FileSystemSpace> {
            auto space = morvane::LocalFreeSpace(folder);
            if (space)
                space->freeBytes = bytes;
            return space;
        };
    }
    return hooks;
}

} // namespace

int main(int argc, char** argv) { return morvane::RunProgram(argc, argv, HooksFromEnvironment()); }
