#pragma once
// Counts the message-pump calls for one test and removes the pump afterwards.

#include "core/MessagePump.h"

namespace morvane::test {

class CountingPump {
public:
    CountingPump() { SetMessagePump([this] { ++calls; }); }
    ~CountingPump() { SetMessagePump(nullptr); }
    CountingPump(const CountingPump&) = delete;
    CountingPump& operator=(const CountingPump&) = delete;
    int calls = 0;
};

} // namespace morvane::test
