#include "core/MessagePump.h"

namespace morvane {

namespace {
// Set once at start-up by the window's thread, and only called from that thread.
std::function<void()>& Pump()
{
    static std::function<void()> pump;
    return pump;
}
} // namespace

void ProcessMessages()
{
    if (Pump())
        Pump()();
}

void SetMessagePump(std::function<void()> pump) { Pump() = std::move(pump); }

} // namespace morvane
