#include "window/CyclePreflight.h"

#include "core/Format.h"
#include "window/CycleFiles.h"
#include "window/CycleTestHooks.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace morvane {

namespace {

const std::string Prefix = "Vérification avant le cycle: ";

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Bytes(std::uint64_t bytes)
{
    return FormatText("%llu octets", static_cast<unsigned long long>(bytes));
}

} // namespace

std::optional<FileSystemSpace> LocalFreeSpace(const std::string& folder)
{
    struct stat info {};
    struct statvfs space {};
    if (::stat(folder.c_str(), &info) != 0 || ::statvfs(folder.c_str(), &space) != 0)
        return std::nullopt;
    FileSystemSpace result{static_cast<std::uint64_t>(info.st_dev),
                           static_cast<std::uint64_t>(space.f_bavail) * static_cast<std::uint64_t>(space.f_frsize)};
    if (const auto simulated = TestFreeSpace())
        result.freeBytes = *simulated;
    return result;
}

std::optional<std::string> PreflightRefusal(const PreflightInput& input, const FreeSpaceProbe& probe)
{
    struct stat database {};
    if (input.databasePath.empty() || ::stat(input.databasePath.c_str(), &database) != 0)
        return Prefix + "la base de données " + input.databasePath +
               " est introuvable sur cette machine: rien n'a été lancé, déplacé ni effacé";
    if (!S_ISREG(database.st_mode))
        return Prefix + "la base de données " + input.databasePath + " n'est pas un fichier";

    struct stat folder {};
    if (input.backupFolder.empty() || ::stat(input.backupFolder.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return Prefix + "le dossier de backup " + input.backupFolder + " n'existe pas";

    struct stat rename {};
    if (!input.renamePath.empty()) {
        if (input.renamePath == input.databasePath || SameFile(input.renamePath, input.databasePath))
            return Prefix + "le chemin de renommage " + input.renamePath + " est celui de la base de données";
        if (::stat(input.renamePath.c_str(), &rename) == 0 && S_ISDIR(rename.st_mode))
            return Prefix + "le chemin de renommage " + input.renamePath + " est un dossier";
    }

    const auto size = static_cast<std::uint64_t>(database.st_size);
    const std::string databaseFolder = FolderOf(input.databasePath);
    const std::optional<FileSystemSpace> backupSpace = probe(input.backupFolder);
    const std::optional<FileSystemSpace> databaseSpace = probe(databaseFolder);
    if (!backupSpace)
        return Prefix + "l'espace libre du dossier de backup " + input.backupFolder + " est illisible";
    if (!databaseSpace)
        return Prefix + "l'espace libre du dossier de la base " + databaseFolder + " est illisible";
    if (backupSpace->device == databaseSpace->device) {
        if (backupSpace->freeBytes < 2 * size)
            return Prefix + "espace libre insuffisant sur " + input.backupFolder + ": " +
                   Bytes(backupSpace->freeBytes) + " libres, " + Bytes(2 * size) +
                   " nécessaires (backup et nouvelle base de " + Bytes(size) + " chacun)";
        return std::nullopt;
    }
    if (backupSpace->freeBytes < size)
        return Prefix + "espace libre insuffisant sur le dossier de backup " + input.backupFolder + ": " +
               Bytes(backupSpace->freeBytes) + " libres, " + Bytes(size) + " nécessaires";
    if (databaseSpace->freeBytes < size)
        return Prefix + "espace libre insuffisant sur le dossier de la base " + databaseFolder + ": " +
               Bytes(databaseSpace->freeBytes) + " libres, " + Bytes(size) + " nécessaires";
    return std::nullopt;
}

} // namespace morvane
