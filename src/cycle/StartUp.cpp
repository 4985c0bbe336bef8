#include "cycle/StartUp.h"

#include "core/Exception.h"
#include "core/Component.h"
#include "cycle/CycleContext.h"
#include "cycle/CycleDatabaseFile.h"
#include "cycle/CycleExitStatus.h"
#include "cycle/CycleFiles.h"
#include "cycle/CycleJournal.h"
#include "cycle/CycleLock.h"
#include "cycle/CyclePreflight.h"
#include "cycle/DatabaseControl.h"
#include "cycle/DatabaseState.h"
#include "session/DatabaseLocation.h"
#include "cycle/SettingsWrite.h"
#include "global/Global_Utils.h"
#include "platform/PrivateFolder.h"
#include "session/JobSettings.h"
#include "session/ProgramLog.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/pFIBDatabase.h"
#include "fib/pFIBProps.h"

#include <chrono>
#include <thread>

namespace morvane {

std::optional<StartUpRefusal> RootRunRefusal(const std::string& profilePath, const ProfileDatabase* profile)
{
    if (!platform::RunningAsRoot())
        return std::nullopt;
    std::vector<std::string> files{ProgramFolder() + "AppLogger.xml", JobSettingsFileName(), profilePath};
    if (profile != nullptr) {
        bool sectionFound = false;
        const TJobSettings settings = JobSettingsOfDatabase(profile->dbFile, sectionFound);
        for (const std::string* batch :
             {&settings.batchFileBeforeBackup, &settings.batchFileAfterBackup, &settings.batchFileAfterRestore})
            if (!batch->empty())
                files.push_back(BatchFilePath(*batch, ProgramFolder()));
    }
    for (const std::string& file : files)
        if (const std::optional<std::string> reason = platform::ChangeableByOthersThanRoot(file))
            return StartUpRefusal{ExitPreflightRefused,
                                  "Lancé par root, le programme refuse " + file + ": " + *reason +
                                      ". Un fichier qu'un autre utilisateur peut changer déciderait de ce que root "
                                      "renomme et exécute: rendez-le à root seul (chown root, chmod go-w), lui et "
                                      "ses dossiers"};
    return std::nullopt;
}

std::optional<StartUpRefusal> PrepareDatabaseAtStartUp(const ProfileDatabase& profile, bool unattended,
                                                       const std::function<void(const std::string&)>& log)
{
    // Said before the window attaches anything in a form the client would refuse.
    if (std::optional<std::string> refusal = ConnectionFormPreflightRefusal(profile.dbFile))
        return StartUpRefusal{ExitPreflightRefused, std::move(*refusal)};
    const DatabaseLocation location = SplitDatabaseLocation(profile.dbFile);
    if (location.path.empty())
        return std::nullopt;
    // The lock and the journal belong to the file the text leads to: a link followed,
    // an alias as the server says, or as it said last time when its file is away.
    const std::string database = DatabaseFileAtStartUp(profile).real;
    // Held while the journal is read and acted on, let go when start-up is done.
    std::optional<CycleLockHold> lock;
    std::string ownJournal;
    try {
        CycleLockAttempt attempt = TryHoldCycleLock(database);
        if (!attempt.hold) {
            if (unattended)
                return StartUpRefusal{ExitAlreadyRunning, CycleLockRefusal(database, attempt.holder)};
            // A journal on disk is that cycle's own, still being written: only the
            // window opens, and its buttons wait for that cycle's end.
            ProgramLog("Un cycle Morvane d'un autre processus travaille sur la base " + database + " (" +
                           attempt.holder + "): la fenêtre s'ouvre sans toucher à son journal",
                       5);
            return std::nullopt;
        }
        lock = std::move(attempt.hold);
        ownJournal = CycleJournalPath(database);
    } catch (const Exception& error) {
        // State folders that cannot be trusted: nothing is read from them or done.
        return StartUpRefusal{ExitStartUpError, error.Message()};
    }

    const auto withControl = [&](const std::string& databasePath,
                                 const std::function<void(TDatabaseControl&, const std::string&)>& request) {
        TComponent root;
        root.SetName("FormMorvane");
        auto& config = root.CreateOwned<fib::TpFIBConfigService>();
        config.SetName("ConfigService1");
        config.SetLoginPrompt(false);
        auto& statistics = root.CreateOwned<fib::TpFIBStatisticalService>();
        statistics.SetName("FIBStatisticalService");
        statistics.SetLoginPrompt(false);
        statistics.Options = fib::TStatOptions{fib::TStatOption::HeaderPages};
        TDatabaseControl control(config, statistics,
                                 ServiceUserParams(profile.credentials.user, profile.credentials.password), {}, 3);
        request(control, JoinDatabaseLocation(location, databasePath));
    };
    const auto bringOnline = [&](const std::string& databasePath) {
        withControl(databasePath, [](TDatabaseControl& control, const std::string& connection) {
            control.BringOnline(connection);
            const std::string attributes = control.Attributes(connection);
            if (AttributesSayShutDown(attributes))
                throw Exception("Attributes " + attributes);
        });
    };
    // Readers may be attached again already: they are cut for the switch back.
    const auto putReadWriteBack = [&](const std::string& databasePath) {
        withControl(databasePath, [](TDatabaseControl& control, const std::string& connection) {
            StateRequests requests;
            requests.attributes = [&] { return control.Attributes(connection); };
            requests.shutdown = [&](fib::TShutdownMode mode) {
                control.Shutdown(connection, mode, fib::TShutdownWait::Force, 0);
            };
            requests.online = [&](fib::TShutdownMode mode) { control.BringOnlineFromShutdown(connection, mode); };
            requests.access = [&](bool readOnly) { control.SetReadOnly(connection, readOnly); };
            requests.pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); };
            const StateOutcome outcome = DriveDatabaseState(requests, DatabaseState{});
            if (!outcome.reached)
                throw Exception("Attributes " + outcome.attributes +
                                (outcome.lastError.empty() ? std::string() : ": " + outcome.lastError));
        });
    };
    // The database's own journal first, then those earlier versions left where
    // another user could have written them: acted on only when they are the run's
    // own and name only this database's paths, as its job settings make them.
    bool sectionFound = false;
    const ExpectedJournalPaths ownPaths{
        location.path, JobSettingsOfDatabase(profile.dbFile, sectionFound, database).renamePath,
        location.path + NewDatabaseSuffix};
    std::vector<std::pair<std::string, const ExpectedJournalPaths*>> journals{{ownJournal, nullptr}};
    for (const std::string& legacy : LegacyCycleJournalPaths(location.path))
        journals.emplace_back(legacy, &ownPaths);
    for (const auto& [journal, expected] : journals) {
        std::optional<std::string> unresolved;
        try {
            unresolved = ResolveLeftJournal(journal, log, bringOnline, expected, putReadWriteBack);
        } catch (const Exception& error) {
            // A journal that cannot be read is left for the administrator, never guessed at.
            unresolved = error.Message();
        }
        if (unresolved)
            return StartUpRefusal{ExitStartUpError, *unresolved};
    }
    return std::nullopt;
}

} // namespace morvane
