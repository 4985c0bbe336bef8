#include "cycle/CycleContext.h"

#include "cycle/CycleFiles.h"
#include "session/DatabaseLocation.h"

namespace morvane {

std::string JoinDatabaseLocation(const std::string& server, const std::string& path)
{
    return server.empty() ? path : server + ":" + path;
}

CyclePaths CyclePathsOf(const CycleRequest& request, const std::string& backupFileName)
{
    const DatabaseLocation location = SplitDatabaseLocation(request.dbFile);
    CyclePaths paths;
    paths.server = location.server;
    paths.database = location.path;
    paths.rename = request.renamePath;
    paths.previous = PreviousCopyPath(request.renamePath);
    paths.newDatabase = location.path + NewDatabaseSuffix;
    paths.backup = BackupFilePath(request.backupFolder, backupFileName);
    paths.backupName = backupFileName;
    paths.databaseConnection = JoinDatabaseLocation(location.server, location.path);
    paths.movedConnection = JoinDatabaseLocation(location.server, paths.rename);
    paths.newConnection = JoinDatabaseLocation(location.server, paths.newDatabase);
    return paths;
}

CycleContext::CycleContext(CycleRequest cycleRequest, const std::string& backupFileName)
    : request(std::move(cycleRequest)), paths(CyclePathsOf(request, backupFileName)),
      backupSource(paths.databaseConnection)
{
}

TCycleJournal& CycleContext::Journal()
{
    if (!journal_)
        journal_ = std::make_unique<TCycleJournal>(CycleJournalPath(paths.database), paths.database, paths.rename,
                                                   paths.newDatabase);
    return *journal_;
}

} // namespace morvane
