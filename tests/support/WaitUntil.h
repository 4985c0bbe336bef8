#pragma once
// Waiting for a condition in place of a fixed sleep: the test goes on as soon as
// what it needs holds, and a deadline bounds the wait when it never does.

#include <chrono>
#include <thread>

namespace morvane::test {

// Asks condition() until it is true or timeout has passed (then once more);
// returns its last answer.
template <typename Condition>
bool WaitUntil(Condition&& condition, std::chrono::steady_clock::duration timeout,
               std::chrono::milliseconds every = std::chrono::milliseconds(50))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        std::this_thread::sleep_for(every);
    }
    return true;
}

} // namespace morvane::test
