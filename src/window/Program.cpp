#include "window/Program.h"

#include "core/Exception.h"
#include "core/MessagePump.h"
#include "cycle/CycleExitStatus.h"
#include "cycle/StartUp.h"
#include "cycle/ProgramLog.h"
#include "global/Global_Utils.h"
#include "logger/uApplicationLogger.h"
#include "platform/Locale.h"
#include "platform/StopRequest.h"
#include "window/Morvane_01.h"
#include "window/OperatorDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

int RunProgram(int argc, char** argv, CycleHooks hooks)
{
    int exitCode = 0;
    try {
        // Before any thread starts: stop requests are taken by a watcher of our own.
        platform::WatchStopRequests({});
        platform::UseUtf8Locale();
        SetCommandLine(std::vector<std::string>(argv, argv + argc));
        ChooseHeadlessPlatformIfNeeded();
        // Started by a scheduler or a service, the process has no session runtime
        // folder and Qt would say so on standard error at every run: it gets a private
        // one of its own for the run.
        std::optional<QTemporaryDir> runtimeFolder;
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            runtimeFolder.emplace(QDir::tempPath() + QStringLiteral("/morvane-runtime-XXXXXX"));
            if (runtimeFolder->isValid())
                qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder->path()));
        }
        QApplication application(argc, argv);
        InstallOperatorDialogs();
        SetMessagePump([] { QCoreApplication::processEvents(); });
        // Before the window attaches anything: the database's lock (a second run
        // touches nothing), then what a cycle killed half-way may have left.
        std::optional<StartUpRefusal> refusal;
        std::string profileName;
        GetParamValue("DATABASEINI", profileName);
        if (const std::optional<ProfileDatabase> profile = ReadProfileDatabase(profileName))
            refusal = PrepareDatabaseAtStartUp(*profile, [](const std::string& line) { ProgramLog(line, 1); });
        if (refusal) {
            ProgramLog(refusal->message, 1);
            std::fprintf(stderr, "%s\n", refusal->message.c_str());
            exitCode = refusal->exitStatus;
        } else {
            TFormMorvane form;
            form.SetCycleHooks(std::move(hooks));
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
        SetMessagePump({});
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        exitCode = 1;
    }
    DestroyAppLogger();
    return exitCode;
}

} // namespace morvane
