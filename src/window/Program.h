#pragma once
// The program's run from start to end: the swap journal left by an interrupted
// cycle, the one window and its message loop, and the exit status.

#include "cycle/CycleView.h"

namespace morvane {

// The exit status of the program. Hooks are for test programs; the program has none.
int RunProgram(int argc, char** argv, CycleHooks hooks = {});

} // namespace morvane
