#include "window/ReportAreaHealth.h"

#include "platform/DurableFile.h"
#include "session/HealthAdvice.h"
#include "session/HealthReading.h"
#include "session/HealthSettings.h"
#include "session/JobSettings.h"

#include <exception>

namespace morvane {

std::vector<std::string> ReportAreaHealthLines(const std::vector<std::string>& headerLines, const std::string& dbFile,
                                               const TStringList& userParams, bool unattended)
{
    HealthSettings settings;
    std::string refused;
    try {
        bool sectionFound = false;
        settings = HealthSettingsOf(JobSettingsOfDatabase(dbFile, sectionFound));
    } catch (const std::exception& error) {
        // The defaults meanwhile; --health and the log say the same.
        refused = error.what();
    }
    DatabaseHealth health = ParseStatisticsReport(headerLines);
    if (!health.databaseFile.empty())
        if (const std::optional<long long> size = platform::FileSize(health.databaseFile))
            health.fileBytes = *size;
    std::string failure;
    if (settings.tables && !unattended) {
        try {
            health = ReadDatabaseHealth(userParams, dbFile, true);
        } catch (const std::exception& error) {
            failure = error.what();
        }
    }
    std::vector<std::string> lines = HealthReportLines(health);
    if (!failure.empty())
        lines.push_back("Statistiques des tables non lues : " + failure);
    if (!refused.empty())
        lines.push_back("Réglage refusé, seuils par défaut : " + refused);
    for (std::string& line : AdviceLines(AdviseRebuild(health, settings.thresholds)))
        lines.push_back(std::move(line));
    // Ended by an empty line, as the server ends the header report.
    lines.emplace_back();
    return lines;
}

} // namespace morvane
