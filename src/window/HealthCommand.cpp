#include "window/HealthCommand.h"

#include "core/Text.h"
#include "cycle/CycleExitStatus.h"
#include "cycle/SettingsWrite.h"
#include "cycle/StartUp.h"
#include "database/Global_FIB.h"
#include "global/Global_Utils.h"
#include "logger/uLogTextFile.h"
#include "session/HealthAdvice.h"
#include "session/HealthReading.h"
#include "session/HealthSettings.h"
#include "session/JobSettings.h"
#include "session/ProfileDatabase.h"
#include "session/ProgramLog.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

namespace morvane {

namespace {

struct HealthReading {
    DatabaseHealth health;
    HealthAdvice advice;
};

// The job settings of the profile's database, the figures and the advice. Raises
// what the settings or the server raise.
HealthReading ReadHealth(const ProfileDatabase& profile)
{
    bool sectionFound = false;
    const HealthSettings settings = HealthSettingsOf(JobSettingsOfDatabase(profile.dbFile, sectionFound));
    HealthReading reading;
    reading.health = ReadDatabaseHealth(ServiceUserParams(profile.credentials.user, profile.credentials.password),
                                        profile.dbFile, settings.tables);
    reading.advice = AdviseRebuild(reading.health, settings.thresholds);
    return reading;
}

std::string LogLine(const ProfileDatabase& profile, const HealthReading& reading)
{
    const std::optional<std::int64_t> gap = reading.health.TransactionGap();
    std::string line = "Santé de la base " + profile.dbFile + " : écart de transactions " +
                       (gap ? std::to_string(*gap) : std::string("?"));
    if (reading.health.tablesRead)
        line += ", " + std::to_string(reading.health.BackVersions()) + " versions anciennes";
    line += reading.advice.rebuild ? " ; reconstruction conseillée : " : " ; aucune reconstruction nécessaire";
    for (std::size_t i = 0; i < reading.advice.reasons.size(); ++i)
        line += (i == 0 ? "" : " ; ") + reading.advice.reasons[i];
    return line;
}

} // namespace

bool HealthRequested(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::string_view word(argv[i]);
        if (SameText(word.substr(0, word.find('=')), "--health"))
            return true;
    }
    return false;
}

int RunHealthCommand()
{
    // The night's log stays as it is: lines are added to it, nothing else.
    KeepLogFilesAsTheyAre();
    std::string profileName;
    GetParamValue("DATABASEINI", profileName);
    std::string profilePath;
    try {
        profilePath = GlobalFIB().ConnectionProfilePath(profileName);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return ExitStartUpError;
    }
    // As root, a file someone else could change decides nothing, not even where the log goes.
    if (const std::optional<StartUpRefusal> untrusted = RootRunRefusal(profilePath, nullptr)) {
        std::fprintf(stderr, "%s\n", untrusted->message.c_str());
        return untrusted->exitStatus;
    }
    const std::optional<ProfileDatabase> profile = ReadProfileDatabase(profileName);
    if (!profile) {
        std::fprintf(stderr, "Profil de connexion illisible : %s\n", profilePath.c_str());
        return ExitStartUpError;
    }
    if (const std::optional<StartUpRefusal> refusal = RootRunRefusal(profilePath, &*profile)) {
        std::fprintf(stderr, "%s\n", refusal->message.c_str());
        return refusal->exitStatus;
    }
    HealthReading reading;
    try {
        reading = ReadHealth(*profile);
    } catch (const std::exception& error) {
        const std::string message = "Santé de la base " + profile->dbFile + " non lue : " + error.what();
        std::fprintf(stderr, "%s\n", message.c_str());
        ProgramLogQuietly(message, 1);
        return ExitStartUpError;
    }
    std::string text = "Base :\t\t\t\t" + profile->dbFile + "\n";
    for (const std::string& line : HealthReportLines(reading.health))
        text += line + "\n";
    for (const std::string& line : AdviceLines(reading.advice))
        text += line + "\n";
    std::fputs(text.c_str(), stdout);
    ProgramLogQuietly(LogLine(*profile, reading), 100);
    if (std::fflush(stdout) != 0)
        return ExitStartUpError;
    return reading.advice.rebuild ? ExitRebuildAdvisable : 0;
}

std::optional<int> HealthyNightStatus(const ProfileDatabase& profile)
{
    try {
        bool sectionFound = false;
        if (!HealthSettingsOf(JobSettingsOfDatabase(profile.dbFile, sectionFound)).checkAuto)
            return std::nullopt;
        const HealthReading reading = ReadHealth(profile);
        ProgramLog(LogLine(profile, reading), 1);
        if (reading.advice.rebuild)
            return std::nullopt;
        ProgramLog("Nuit sans reconstruction (HealthCheckAuto) : la base n'en a pas besoin, rien n'a été touché", 1);
        return ExitHealthyNightSkipped;
    } catch (const std::exception& error) {
        ProgramLogQuietly(std::string("Test de santé avant la nuit impossible, la reconstruction a lieu : ") +
                              error.what(),
                          1);
        return std::nullopt;
    }
}

} // namespace morvane
