#include "platform/StopRequest.h"

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <thread>

namespace morvane::platform {

namespace {

std::atomic<bool> requested{false};

} // namespace

void WatchStopRequests(std::function<void()> onRequest)
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // Lives as long as the process: the watcher waits for signals until the end.
    std::thread([signals, onRequest = std::move(onRequest)] {
        for (;;) {
            int signal = 0;
            if (sigwait(&signals, &signal) != 0)
                continue;
            requested = true;
            if (onRequest)
                onRequest();
        }
    }).detach();
}

bool StopRequested() noexcept { return requested; }

void ClearStopRequest() noexcept { requested = false; }

} // namespace morvane::platform
