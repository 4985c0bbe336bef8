#include "cycle/CycleFiles.h"

#include "global/Global_File.h"
#include "platform/DurableFile.h"
#include "platform/FileMove.h"

namespace morvane {

std::string CycleBackupFileNameFor(std::string_view databasePath, bool middleBatchFile)
{
    if (middleBatchFile)
        return CycleBackupFileName;
    const std::size_t separator = databasePath.find_last_of("/\\");
    const std::string_view name = separator == std::string_view::npos ? databasePath : databasePath.substr(separator + 1);
    return "Morvane-" + std::string(name) + ".fbk";
}

std::string BackupFilePath(std::string_view folder, std::string_view fileName)
{
    std::string path(folder);
    if (path.empty() || (path.back() != '/' && path.back() != '\\'))
        path += '/';
    path += fileName;
    return path;
}

std::string BatchFilePath(std::string_view batchFile, std::string_view programFolder)
{
    std::string file(batchFile);
    if (file.find('/') == std::string::npos) {
        std::string folder(programFolder);
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
        file = folder + file;
    }
    return file;
}

std::string BatchCommandLine(std::string_view batchFile, std::string_view programFolder)
{
    return QuoteShellArgument(BatchFilePath(batchFile, programFolder));
}

bool IsServiceErrorLine(std::string_view line)
{
    return line.find("ERROR:") != std::string_view::npos ||
           line.find("Exiting before completion") != std::string_view::npos;
}

bool FileExists(const std::string& path) { return platform::PathExists(path); }

bool SameFile(const std::string& first, const std::string& second) { return platform::SameFile(first, second); }

bool DeleteFileIfExists(const std::string& path) { return platform::RemoveFile(path); }

bool MoveFileNoReplace(const std::string& from, const std::string& to)
{
    return !from.empty() && !to.empty() && platform::RenameNoReplace(from, to);
}

} // namespace morvane
