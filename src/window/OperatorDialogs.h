#pragma once
// The window's side of the operator dialogs: real message boxes with French
// buttons when there is a display, and the rule for runs without one.

#include "core/OperatorDialog.h"

namespace morvane {

class TQtOperatorDialogs : public TOperatorDialogs {
public:
    DialogAnswer Show(const DialogRequest& request) override;
};

// True when Qt runs on a platform nobody can see (offscreen or minimal).
bool RunningWithoutDisplay();

// Before the application object exists: without DISPLAY or WAYLAND_DISPLAY (and no
// platform chosen by the caller) Qt is told to use its offscreen platform.
void ChooseHeadlessPlatformIfNeeded();

// After the application object exists: real dialogs with a display; otherwise the
// headless ones, which write to standard error and to the log at level 1.
void InstallOperatorDialogs();

} // namespace morvane
