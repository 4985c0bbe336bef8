#include "cycle/CycleContext.h"

#include "cycle/CycleFiles.h"
#include "session/DatabaseLocation.h"

namespace morvane {

CyclePaths CyclePathsOf(const CycleRequest& request, const std::string& backupFileName, const DatabaseFile& file)
{
    const DatabaseLocation location = SplitDatabaseLocation(request.dbFile);
    CyclePaths paths;
    paths.server = location.server;
    paths.named = file.named;
    paths.database = file.real;
    paths.rename = request.renamePath;
    paths.previous = PreviousCopyPath(request.renamePath);
    paths.newDatabase = file.real + NewDatabaseSuffix;
    paths.backup = BackupFilePath(request.backupFolder, backupFileName);
    paths.backupName = backupFileName;
    paths.databaseConnection = JoinDatabaseLocation(location, paths.database);
    paths.movedConnection = JoinDatabaseLocation(location, paths.rename);
    paths.newConnection = JoinDatabaseLocation(location, paths.newDatabase);
    return paths;
}

std::string DatabaseNameText(const CyclePaths& paths) { return DatabaseNameText(paths.named, paths.database); }

CycleContext::CycleContext(CycleRequest cycleRequest, const std::string& backupFileName, const DatabaseFile& file)
    : request(std::move(cycleRequest)), paths(CyclePathsOf(request, backupFileName, file)),
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
