#pragma once
// "Process pending window messages": long procedures call this at fixed points so
// the window stays painted. The window installs its pump at start-up; without a
// window it does nothing, so the lower layers run and are tested without a display.

#include <functional>

namespace morvane {

void ProcessMessages();
void SetMessagePump(std::function<void()> pump);

} // namespace morvane
