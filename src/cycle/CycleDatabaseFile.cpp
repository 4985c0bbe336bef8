#include "cycle/CycleDatabaseFile.h"

#include "core/Component.h"
#include "core/Text.h"
#include "cycle/BackupCycle.h"
#include "cycle/CycleState.h"
#include "cycle/DatabaseControl.h"
#include "cycle/SettingsWrite.h"
#include "fib/IB_ServicesProperties.h"
#include "platform/DurableFile.h"
#include "platform/FileLock.h"
#include "platform/PrivateFolder.h"
#include "session/DatabaseLocation.h"
#include "session/HeaderReport.h"
#include "session/ProgramLog.h"

namespace morvane {

namespace {

bool IsLocalPath(const std::string& path) { return !path.empty() && path.front() == '/'; }

// The answer for an alias, kept for the next time the server cannot tell. A state
// root that cannot be written only loses the memory: the cycle goes on.
void Remember(const std::string& dbFile, const std::string& real) noexcept
{
    try {
        const std::string path = RememberedDatabaseFilePath(dbFile);
        if (RememberedDatabaseFile(dbFile) != real)
            platform::WriteFileDurably(path, real + "\n", 0600);
    } catch (const std::exception&) {
    }
}

} // namespace

DatabaseFile ResolveDatabaseFile(const std::string& dbFile, const DatabaseFileQuestion& askServer)
{
    const std::string named = SplitDatabaseLocation(dbFile).path;
    DatabaseFile file{named, named, DatabaseFileSource::AsNamed};
    std::string answer;
    try {
        answer = askServer(dbFile);
    } catch (const std::exception&) {
        // No file at the path, a server away: what this machine knows decides.
    }
    // The server sees the files of this machine: the program runs beside it. An
    // answer that names no file here is a server elsewhere, whose files the cycle
    // cannot move.
    if (IsLocalPath(answer) && platform::TargetExists(answer)) {
        file.real = platform::FollowedFilePath(answer);
        file.source = DatabaseFileSource::Server;
        if (!IsLocalPath(named))
            Remember(dbFile, file.real);
        return file;
    }
    if (IsLocalPath(named)) {
        file.real = platform::FollowedFilePath(named);
        file.source = DatabaseFileSource::Links;
        return file;
    }
    try {
        if (const std::optional<std::string> remembered = RememberedDatabaseFile(dbFile)) {
            file.real = *remembered;
            file.source = DatabaseFileSource::Remembered;
        }
    } catch (const std::exception&) {
        // A state root that cannot be trusted remembers nothing.
    }
    return file;
}

std::optional<std::string> RememberedDatabaseFile(const std::string& dbFile)
{
    bool isLink = false;
    const std::optional<platform::OwnFileText> read =
        platform::ReadFileWithoutFollowing(RememberedDatabaseFilePath(dbFile), isLink);
    // Only the run's own file decides which file a run moves.
    if (!read || !read->regular || !read->ownedByRunUser || read->writableByOthers)
        return std::nullopt;
    const std::string real = TrimRight(read->text);
    if (!IsLocalPath(real) || real.find('\n') != std::string::npos)
        return std::nullopt;
    return real;
}

std::string HeaderDatabaseFile(const std::vector<std::string>& headerLines)
{
    for (const std::string& line : headerLines)
        if (const auto value = ParseHeaderReport(line, HeaderKeyword::Database))
            return value->file;
    return {};
}

DatabaseFile DatabaseFileAtStartUp(const ProfileDatabase& profile)
{
    return ResolveDatabaseFile(profile.dbFile, [&](const std::string& connection) {
        TComponent root;
        auto& statistics = root.CreateOwned<fib::TpFIBStatisticalService>();
        statistics.SetLoginPrompt(false);
        statistics.Options = fib::TStatOptions{fib::TStatOption::HeaderPages};
        return HeaderDatabaseFile(ReadHeaderLines(
            statistics, ServiceUserParams(profile.credentials.user, profile.credentials.password), connection));
    });
}

DatabaseFile TBackupCycle::RequestedDatabaseFile()
{
    const std::string named = SplitDatabaseLocation(request_.dbFile).path;
    // A form the program cannot use is not asked about: the checks before the cycle
    // refuse it.
    if (ConnectionFormRefusal(request_.dbFile))
        return {named, named};
    const DatabaseFile file =
        ResolveDatabaseFile(request_.dbFile, [this](const std::string& connection) {
            return server_.DatabaseFile(connection);
        });
    if (file.source == DatabaseFileSource::Remembered)
        ProgramLog("La base " + request_.dbFile + " est introuvable pour le serveur: le cycle prend le fichier qu'il "
                                                  "nommait la dernière fois, " + file.real,
                   5);
    else if (file.real != file.named)
        ProgramLog("La base " + request_.dbFile + " est le fichier " + file.real, 200);
    return file;
}

} // namespace morvane
