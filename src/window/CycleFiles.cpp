#include "window/CycleFiles.h"

#include "global/Global_File.h"
#include "platform/FileMove.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane {

std::string BackupFilePath(std::string_view folder, std::string_view fileName)
{
    std::string path(folder);
    if (path.empty() || (path.back() != '/' && path.back() != '\\'))
        path += '/';
    path += fileName;
    return path;
}

std::string BatchCommandLine(std::string_view batchFile, std::string_view programFolder)
{
    std::string file(batchFile);
    if (file.find('/') == std::string::npos) {
        std::string folder(programFolder);
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
        file = folder + file;
    }
    return QuoteShellArgument(file);
}

bool IsServiceErrorLine(std::string_view line)
{
    return line.find("ERROR:") != std::string_view::npos ||
           line.find("Exiting before completion") != std::string_view::npos;
}

std::string GfixOnlineCommandLine(const std::string& gfixProgram, const std::string& databaseName)
{
    return QuoteShellArgument(gfixProgram) + " -user sysdba -password plumtavern " + QuoteShellArgument(databaseName) +
           " -online normal";
}

bool FileExists(const std::string& path)
{
    struct stat info {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

bool SameFile(const std::string& first, const std::string& second)
{
    struct stat a {};
    struct stat b {};
    return !first.empty() && !second.empty() && ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool DeleteFileIfExists(const std::string& path)
{
    if (path.empty())
        return true;
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool MoveFileNoReplace(const std::string& from, const std::string& to)
{
    return !from.empty() && !to.empty() && platform::RenameNoReplace(from, to);
}

} // namespace morvane
