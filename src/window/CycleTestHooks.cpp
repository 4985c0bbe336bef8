#include "window/CycleTestHooks.h"

#include "global/Global_Utils.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace morvane {

#ifdef MORVANE_TEST_HOOKS

std::optional<std::uint64_t> TestFreeSpace()
{
    const char* value = std::getenv("MORVANE_TEST_FREE_SPACE");
    if (value == nullptr)
        return std::nullopt;
    return std::strtoull(value, nullptr, 10);
}

void PauseAtStepForTests(std::string_view step)
{
    const char* value = std::getenv("MORVANE_TEST_PAUSE_AT");
    if (value == nullptr || step != value)
        return;
    const std::string marker = ProgramFolder() + "morvane-paused";
    std::ofstream(marker) << step << '\n';
    std::error_code error;
    while (std::filesystem::exists(marker, error))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

#else

std::optional<std::uint64_t> TestFreeSpace() { return std::nullopt; }
void PauseAtStepForTests(std::string_view) {}

#endif

} // namespace morvane
