#include "cycle/CyclePreflight.h"

#include "core/Format.h"
#include "cycle/CycleFiles.h"
#include "platform/DurableFile.h"

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

std::optional<std::string> PreflightRefusal(const PreflightInput& input, const FreeSpaceProbe& probe)
{
    if (!platform::PathExists(input.databasePath))
        return Prefix + "la base de données " + input.databasePath +
               " est introuvable sur cette machine: rien n'a été lancé, déplacé ni effacé";
    const std::optional<long long> databaseSize = platform::FileSize(input.databasePath);
    if (!databaseSize)
        return Prefix + "la base de données " + input.databasePath + " n'est pas un fichier";

    if (!platform::IsFolder(input.backupFolder))
        return Prefix + "le dossier de backup " + input.backupFolder + " n'existe pas";

    if (!input.renamePath.empty()) {
        if (input.renamePath == input.databasePath || SameFile(input.renamePath, input.databasePath))
            return Prefix + "le chemin de renommage " + input.renamePath + " est celui de la base de données";
        if (platform::IsFolder(input.renamePath))
            return Prefix + "le chemin de renommage " + input.renamePath + " est un dossier";
    }

    const auto size = static_cast<std::uint64_t>(*databaseSize);
    const std::string databaseFolder = platform::FolderOfPath(input.databasePath);
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
