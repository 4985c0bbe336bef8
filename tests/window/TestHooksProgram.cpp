// The program as the end-to-end tests run it when they must act between two steps
// of the cycle, pretend a file system is full or not wait out the workstations:
//   MORVANE_TEST_FREE_SPACE=<bytes>  every file system reports that much free;
//   MORVANE_TEST_PAUSE_AT=<step>     at that point (a step as it starts, "<step>:done" once
//                                    its journal line is written) the cycle creates "morvane-paused"
//                                    beside the program and waits until it is removed,
//                                    so a test can kill the program there or act on
//                                    the server and let the run go on;
//   MORVANE_TEST_LONGEST_WAIT=<s>    no pause of the run lasts longer than that many
//                                    seconds (the 35 seconds left to the workstations
//                                    to close); it still processes messages four
//                                    times a second, as the program's own pause does.

#include "core/MessagePump.h"
#include "cycle/CyclePreflight.h"
#include "database/FIB_Deconnexion.h"
#include "global/Global_Utils.h"
#include "window/Program.h"

#include <algorithm>
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

void ShortenWaitsFromEnvironment()
{
    const char* longest = std::getenv("MORVANE_TEST_LONGEST_WAIT");
    if (longest == nullptr)
        return;
    const int most = std::atoi(longest);
    morvane::SetWaitFunction([most](int seconds) {
        for (int step = 0; step < std::min(seconds, most) * 4; ++step) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            morvane::ProcessMessages();
        }
    });
}

} // namespace

int main(int argc, char** argv)
{
    ShortenWaitsFromEnvironment();
    return morvane::RunProgram(argc, argv, HooksFromEnvironment());
}
