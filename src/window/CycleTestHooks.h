#pragma once
// The two hooks the end-to-end tests of the cycle need from the built program:
// a free space to report and a step to stop at. They read the environment only
// in test builds (MORVANE_TEST_HOOKS); a release build has neither.

#include <cstdint>
#include <optional>
#include <string_view>

namespace morvane {

// MORVANE_TEST_FREE_SPACE, in bytes: what every file system reports as free.
std::optional<std::uint64_t> TestFreeSpace();

// When MORVANE_TEST_PAUSE_AT names this step: creates "morvane-paused" beside the
// program and waits there until the test removes it, so that a test can kill the
// program at that point, or do something to the server and let the run go on.
void PauseAtStepForTests(std::string_view step);

} // namespace morvane
