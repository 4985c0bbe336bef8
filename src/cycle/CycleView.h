#pragma once
// What the cycle needs from the window it runs in, and the hooks a test program may
// put between its steps. The cycle never reads the window: everything it acts on is
// in its request.

#include "cycle/CycleFileLocks.h"
#include "cycle/CyclePreflight.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace morvane {

enum class PanelColour { Idle, Running, Failed };

// The four settings in the order the settings write changes them.
enum class SettingItem { PageBuffers, SweepInterval, Reserve, WriteMode };

class ICycleView {
public:
    virtual ~ICycleView() = default;

    // The status panel.
    virtual void SetStatus(const std::string& text, PanelColour colour) = 0;
    virtual void SetStatusColour(PanelColour colour) = 0;
    // One line appended to the report area.
    virtual void AppendLine(const std::string& line) = 0;
    // A failure the operator must see: the error dialog, then the folder to look at
    // (opened in the file manager where there is one).
    virtual void ShowFailure(const std::string& text, const std::string& folder) = 0;
    // The header report of the database at the DB File path, read again.
    virtual void RefreshHeader() = 0;
    // A setting's label while the settings write changes it, and once it is done.
    virtual void MarkSetting(SettingItem item, bool done) = 0;
    // Keeps the window painted during long steps.
    virtual void ProcessMessages() = 0;
    // How far the backup or the restore ("backup", "restore") has gone: a fraction
    // from 0 to 1, the time since it began, and the time left when it can be told.
    virtual void ShowProgress(const std::string& step, double fraction, double elapsedSeconds,
                              std::optional<double> secondsLeft) = 0;
    // That step has ended.
    virtual void EndProgress() = 0;
};

class TRunReport;

// Test programs only: a named point of the cycle reached (a step's name as it
// starts, the same followed by ":done" once its journal line is written, and the
// points "backup-started", "restore-started", "verification-started" inside the
// requests), the file systems' free space, the run report as the cycle ends, and
// stop requests. A program without hooks reads the real free space and signals.
struct CycleHooks {
    std::function<void(std::string_view step)> stepReached{};
    FreeSpaceProbe freeSpace{};
    std::function<void(const TRunReport&)> reportFinished{};
    // Whether a stop was asked for; a program without hooks asks the platform.
    std::function<bool()> stopRequested{};
    // How long the cycle waits for a file another database's cycle is using.
    std::chrono::seconds sharedFileWait{SharedFileLongestWait};
};

} // namespace morvane
