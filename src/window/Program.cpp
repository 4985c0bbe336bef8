#include "window/Program.h"

#include "core/Exception.h"
#include "core/MessagePump.h"
#include "core/Text.h"
#include "cycle/CycleExitStatus.h"
#include "session/JobSettings.h"
#include "cycle/StartUp.h"
#include "session/ProgramLog.h"
#include "database/Global_FIB.h"
#include "global/FileInfo.h"
#include "global/Global_Utils.h"
#include "logger/uApplicationLogger.h"
#include "platform/Locale.h"
#include "platform/PrivateFolder.h"
#include "platform/RegistryStore.h"
#include "platform/StopRequest.h"
#include "window/HealthCommand.h"
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
#include <string_view>
#include <vector>

namespace morvane {

namespace {

enum class Information { None, Help, Version };

// --help and --version are read as every parameter is (a name in any letter case,
// anything after "=" ignored), anywhere on the line; --help wins over --version.
Information RequestedInformation(int argc, char** argv)
{
    Information requested = Information::None;
    for (int i = 1; i < argc; ++i) {
        std::string_view word(argv[i]);
        word = word.substr(0, word.find('='));
        if (SameText(word, "--help"))
            return Information::Help;
        if (SameText(word, "--version"))
            requested = Information::Version;
    }
    return requested;
}

std::string VersionText()
{
    const std::string version = FileVersionText(ProgramFileName(), false);
    return ApplicationTitle() + " " + (version.empty() ? std::string("(no version record)") : version) + "\n";
}

std::string WithoutFolder(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// The names are those this start would use: beside the program file it was started as.
std::string HelpText()
{
    const std::string program = WithoutFolder(ProgramFileName());
    const std::string jobSettings = WithoutFolder(JobSettingsFileName());
    std::string text;
    text += "Usage: " + program + " [AUTO] [DATABASEINI=FILE] [NEPASUTILISERPREFIXTS_]\n";
    text += "       " + program + " --health [DATABASEINI=FILE]\n";
    text += "       " + program + " --help | --version\n";
    text += "\n";
    text += "Shows a Firebird database's header and settings in a window and rebuilds the\n";
    text += "database by a backup and a restore. Parameters are NAME or NAME=VALUE, names in\n";
    text += "any letter case:\n";
    text += "  AUTO                    run the rebuild unattended once started, then end with\n";
    text += "                          its exit status (0: the rebuilt database is in place)\n";
    text += "  DATABASEINI=FILE        the connection profile: FILE in the program's folder,\n";
    text += "                          else FILE as given (absolute or from the current folder)\n";
    text += "  NEPASUTILISERPREFIXTS_  never prefix the workstation name with TS_ (AppLogger.xml\n";
    text += "                          sections, ?STATION_NAME? in log file names)\n";
    text += "  --health                print the database's health figures and whether a rebuild\n";
    text += "                          would help, without a window; exit 0: no rebuild needed,\n";
    text += "                          11: a rebuild is advisable\n";
    text += "  --help                  print this text and end\n";
    text += "  --version               print the program's version and end\n";
    text += "\n";
    text += "Files, in " + ProgramFolder() + ":\n";
    text += "  Database" + ApplicationTitle() + ".ini, else Database.ini\n";
    text += "      the connection profile (database, user name, password), without DATABASEINI\n";
    text += "  " + jobSettings + "\n";
    text += "      the job settings, one section per database\n";
    text += "  AppLogger.xml\n";
    text += "      the loggers: where the log goes\n";
    text += "and " + platform::RegistryFileLocation() + "\n";
    text += "      job settings read only when " + jobSettings + " does not exist\n";
    text += "\n";
    text += "Every key of these files and the exit statuses: man morvane\n";
    return text;
}

} // namespace

int RunProgram(int argc, char** argv, CycleHooks hooks)
{
    // Answered before anything starts: no window, no log, no configuration read.
    if (const Information requested = RequestedInformation(argc, argv); requested != Information::None) {
        SetCommandLine(std::vector<std::string>(argv, argv + argc));
        const std::string text = requested == Information::Help ? HelpText() : VersionText();
        std::fputs(text.c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    // Figures on standard output and a line in the log: no window, no cycle.
    if (HealthRequested(argc, argv)) {
        int status = 1;
        try {
            platform::KeepNewFilesPrivate();
            platform::UseUtf8Locale();
            SetCommandLine(std::vector<std::string>(argv, argv + argc));
            status = RunHealthCommand();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
        }
        DestroyAppLogger();
        return status;
    }

    int exitCode = 0;
    try {
        // Before any thread starts: stop requests are taken by a watcher of our own.
        platform::WatchStopRequests({});
        platform::KeepNewFilesPrivate();
        platform::UseUtf8Locale();
        SetCommandLine(std::vector<std::string>(argv, argv + argc));
        ChooseHeadlessPlatformIfNeeded();
        // The runtime folder the locks live in, before the window's own replaces an
        // absent one.
        platform::RuntimeRoot();
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
        // Before the window attaches anything: what a cycle killed half-way may have
        // left, under the database's lock (a second unattended run touches nothing).
        std::optional<StartUpRefusal> refusal;
        std::optional<int> healthyNight;
        std::string profileName;
        GetParamValue("DATABASEINI", profileName);
        std::string profilePath;
        try {
            profilePath = GlobalFIB().ConnectionProfilePath(profileName);
        } catch (const std::exception&) {
            // No profile: the window says so, as it always has.
        }
        // Before the loggers read their configuration: as root, a file someone else
        // could change decides nothing, and is said on standard error only.
        const std::optional<StartUpRefusal> untrusted = RootRunRefusal(profilePath, nullptr);
        if (!untrusted) {
            if (const std::optional<ProfileDatabase> profile = ReadProfileDatabase(profileName)) {
                refusal = RootRunRefusal(profilePath, &*profile);
                if (!refusal)
                    refusal = PrepareDatabaseAtStartUp(*profile, HasParam("AUTO"),
                                                       [](const std::string& line) { ProgramLog(line, 1); });
                // Read while the database is online, before anything of the cycle.
                if (!refusal && HasParam("AUTO"))
                    healthyNight = HealthyNightStatus(*profile);
            }
        }
        if (untrusted) {
            std::fprintf(stderr, "%s\n", untrusted->message.c_str());
            exitCode = untrusted->exitStatus;
        } else if (refusal) {
            ProgramLog(refusal->message, 1);
            std::fprintf(stderr, "%s\n", refusal->message.c_str());
            exitCode = refusal->exitStatus;
        } else if (healthyNight) {
            exitCode = *healthyNight;
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
