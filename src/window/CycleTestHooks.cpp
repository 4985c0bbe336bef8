#include "window/CycleTestHooks.h"

#include "global/Global_Utils.h"

#include <chrono>
#include <cstdlib>
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
    std::ofstream(ProgramFolder() + "morvane-paused") << step << '\n';
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

#else

std::optional<std::uint64_t> TestFreeSpace() { return std::nullopt; }
void PauseAtStepForTests(std::string_view) {}

#endif

} // namespace morvane
