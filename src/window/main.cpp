// Program entry: the one window, its message loop, and the hooks the layers below
// use to process window messages and to reach the operator.

#include "core/Exception.h"
#include "core/MessagePump.h"
#include "global/Global_Utils.h"
#include "logger/uApplicationLogger.h"
#include "window/CycleExitStatus.h"
#include "window/CycleJournal.h"
#include "window/Morvane_01.h"
#include "window/OperatorDialogs.h"
#include "window/WindowLog.h"

#include <QApplication>

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    int exitCode = 0;
    try {
        morvane::SetCommandLine(std::vector<std::string>(argv, argv + argc));
        morvane::ChooseHeadlessPlatformIfNeeded();
        QApplication application(argc, argv);
        morvane::InstallOperatorDialogs();
        morvane::SetMessagePump([] { QCoreApplication::processEvents(); });
        // Before the window attaches anything: a cycle killed half-way may have left
        // the database away from its path.
        std::optional<std::string> unresolved;
        try {
            unresolved = morvane::ResolveLeftJournal(
                morvane::CycleJournalPath(), [](const std::string& line) { morvane::WindowLog(line, 1); });
        } catch (const morvane::Exception& error) {
            // A journal that cannot be read is left for the administrator, never guessed at.
            unresolved = error.Message();
        }
        if (unresolved) {
            morvane::WindowLog(*unresolved, 1);
            std::fprintf(stderr, "%s\n", unresolved->c_str());
            exitCode = morvane::ExitStartUpError;
        } else {
            morvane::TFormMorvane form;
            // A run nobody can see that already failed at start-up ends here.
            if (form.HeadlessExitCode() == 0) {
                form.show();
                exitCode = application.exec();
            }
            if (exitCode == 0)
                exitCode = form.HeadlessExitCode();
            // An unattended run succeeded only when the rebuilt database is in its place;
            // a cycle that failed tells which class of failure stopped it.
            if (form.CycleExitCode() != 0)
                exitCode = form.CycleExitCode();
        }
        morvane::SetMessagePump({});
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        exitCode = 1;
    }
    morvane::DestroyAppLogger();
    return exitCode;
}
