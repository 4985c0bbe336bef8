#include "cycle/CyclePreflight.h"

#include "core/Format.h"
#include "cycle/CycleFiles.h"
#include "cycle/CycleJournal.h"
#include "platform/DurableFile.h"
#include "platform/FileLock.h"
#include "session/DatabaseLocation.h"

namespace morvane {

namespace {

const std::string Prefix = "Vérification avant le cycle: ";

std::string Bytes(std::uint64_t bytes)
{
    return FormatText("%llu octets", static_cast<unsigned long long>(bytes));
}

} // namespace

std::optional<FileSystemSpace> LocalFreeSpace(const std::string& folder)
{
    const auto space = platform::FileSystemSpaceOf(folder);
    if (!space)
        return std::nullopt;
    return FileSystemSpace{space->device, space->freeBytes};
}

std::optional<std::string> ConnectionFormPreflightRefusal(const std::string& dbFile)
{
    if (const std::optional<std::string> refusal = ConnectionFormRefusal(dbFile))
        return Prefix + *refusal + ": rien n'a été lancé, déplacé ni effacé";
    return std::nullopt;
}

std::optional<std::string> DatabaseNameRefusal(const std::string& dbFile, const std::string& named,
                                               const std::string& real)
{
    if (std::optional<std::string> refusal = ConnectionFormPreflightRefusal(dbFile))
        return refusal;
    // A name that is no path of this machine would be read from the program's own folder.
    if (real.empty() || real.front() != '/')
        return Prefix + "le serveur ne dit pas quel fichier est la base " + dbFile +
               " (un alias qu'il ne connaît pas, ou une base absente), et " + named +
               " n'est pas un chemin de fichier de cette machine: rien n'a été lancé, déplacé ni effacé";
    return std::nullopt;
}

std::optional<std::string> PreflightRefusal(const PreflightInput& input, const FreeSpaceProbe& probe)
{
    if (!input.refusedSetting.empty())
        return input.refusedSetting;
    const std::string database =
        DatabaseNameText(input.databaseName.empty() ? input.databasePath : input.databaseName, input.databasePath);
    if (!platform::PathExists(input.databasePath))
        return Prefix + "la base de données " + database +
               " est introuvable sur cette machine: rien n'a été lancé, déplacé ni effacé";
    const std::optional<long long> databaseSize = platform::FileSize(input.databasePath);
    if (!databaseSize)
        return Prefix + "la base de données " + database + " n'est pas un fichier";

    if (!platform::IsFolder(input.backupFolder))
        return Prefix + "le dossier de backup " + input.backupFolder + " n'existe pas";

    const std::string databaseFolder = platform::FolderOfPath(input.databasePath);
    if (!platform::FolderWritable(databaseFolder))
        return Prefix + "le dossier de la base " + databaseFolder + " n'est pas accessible en écriture";

    // The old file is moved there while the database is rebuilt: clients that look
    // for it at its path find nothing to write into.
    if (input.renamePath.empty())
        return Prefix + "le chemin de renommage est vide";
    // Compared as files, wherever the links of either lead.
    const std::string renameFile = platform::FollowedFilePath(input.renamePath);
    const std::string rename = DatabaseNameText(input.renamePath, renameFile);
    if (input.renamePath == input.databasePath || SameFile(input.renamePath, input.databasePath) ||
        renameFile == input.databasePath)
        return Prefix + "le chemin de renommage " + rename + " est celui de la base de données" +
               (rename == database ? "" : " " + database);
    if (platform::IsFolder(input.renamePath))
        return Prefix + "le chemin de renommage " + input.renamePath + " est un dossier";
    const std::string renameFolder = platform::FolderOfPath(input.renamePath);
    if (!platform::IsFolder(renameFolder))
        return Prefix + "le dossier du chemin de renommage " + renameFolder + " n'existe pas";
    if (!platform::FolderWritable(renameFolder))
        return Prefix + "le dossier du chemin de renommage " + renameFolder + " n'est pas accessible en écriture";
    // A rename cannot cross file systems; a copy would leave the database half moved.
    if (platform::DeviceOf(renameFolder) != platform::DeviceOf(input.databasePath))
        return Prefix + "le chemin de renommage " + rename +
               " n'est pas sur le même système de fichiers que la base de données " + database;
    if (platform::PathExists(input.renamePath)) {
        if (!input.mayReplacePrevious)
            return Prefix + "un fichier existe déjà au chemin de renommage " + input.renamePath +
                   " et ni « Before Backup » ni « After Restore » n'est coché: il ne serait pas remplacé";
        const std::string previous = PreviousCopyPath(input.renamePath);
        if (platform::PathExists(previous))
            return Prefix + "la copie mise de côté par un cycle précédent " + previous +
                   " existe encore: elle doit être examinée et effacée à la main";
    }

    const auto size = static_cast<std::uint64_t>(*databaseSize);
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
