#include "session/HealthReading.h"

#include "fib/IB_ServicesProperties.h"
#include "fib/ServiceOutputLines.h"
#include "platform/DurableFile.h"
#include "session/DatabaseLocation.h"
#include "session/SessionGuards.h"

#include <vector>

namespace morvane {

DatabaseHealth ReadDatabaseHealth(const TStringList& userParams, const std::string& connection, bool tables,
                                  const std::string& localPath)
{
    // A service of its own: the window's and the cycle's keep their header-only options.
    fib::TpFIBStatisticalService statistics(nullptr);
    statistics.SetParams(userParams);
    const DatabaseLocation location = SplitDatabaseLocation(connection);
    statistics.SetServerName(location.server);
    // The server reads the data pages through an attachment of its own, which a name
    // with the server in it sends back through the network without credentials
    // ("unavailable database"): that request names the database as the server sees it.
    statistics.DatabaseName = tables ? location.path : ServiceDatabaseName(location);
    // The data pages with their record versions bring the header with them.
    statistics.Options = tables ? fib::TStatOptions{fib::TStatOption::DataPages, fib::TStatOption::RecordVersions}
                                : fib::TStatOptions{fib::TStatOption::HeaderPages};
    std::vector<std::string> lines;
    fib::ServiceOutputLines output;
    {
        ServiceSessionGuard session(statistics);
        statistics.Attach();
        statistics.ServiceStart();
        // In bulk: a database of many tables writes thousands of lines.
        while (!statistics.Eof())
            for (std::string& line : output.Feed(statistics.GetNextChunk()))
                lines.push_back(std::move(line));
        if (std::optional<std::string> last = output.Finish())
            lines.push_back(std::move(*last));
        statistics.Detach();
    }
    DatabaseHealth health = ParseStatisticsReport(lines);
    // The program runs beside the server: the file the server names is the one it sees.
    const std::string& file = localPath.empty() ? health.databaseFile : localPath;
    if (!file.empty())
        if (const std::optional<long long> size = platform::FileSize(file))
            health.fileBytes = *size;
    return health;
}

} // namespace morvane
