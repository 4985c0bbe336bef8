#pragma once
// The file names and file moves of the backup cycle. The names are pure functions
// over text; the moves act on the local file system and report, never raise.

#include <string>
#include <string_view>

namespace morvane {

// The fixed name of the cycle's backup file.
inline constexpr const char* CycleBackupFileName = "Morvane.fbk";
// Appended to the database path to name the file the restore writes.
inline constexpr const char* NewDatabaseSuffix = "_Morvane";

// The name of a cycle's backup file. A site's middle batch file may read it by its
// fixed name; without one it is named after its database ("Morvane-BD.FDB.fbk"),
// so two databases that share a backup folder never write one file.
std::string CycleBackupFileNameFor(std::string_view databasePath, bool middleBatchFile);

// The backup folder and the file name joined by one separator: a folder that
// already ends with one (as the header report writes it) gets no second one.
std::string BackupFilePath(std::string_view folder, std::string_view fileName);

// The file a batch text names: a name without a folder is in the program's folder.
std::string BatchFilePath(std::string_view batchFile, std::string_view programFolder);

// The command line that runs a batch file. A name without a folder names a file in
// the program's folder (the shell does not search the current folder); the whole
// name is one word for the shell, whatever it holds.
std::string BatchCommandLine(std::string_view batchFile, std::string_view programFolder);

// True for an output line by which the backup and restore requests report that they
// ended in error (gbak writes "gbak: ERROR:..." and "gbak:Exiting before completion...").
bool IsServiceErrorLine(std::string_view line);

bool FileExists(const std::string& path);
// True when both names reach one existing file (the same name, a link, another spelling).
bool SameFile(const std::string& first, const std::string& second);
// Removes a file; a missing file is no error. False when a file is still there.
bool DeleteFileIfExists(const std::string& path);
// Moves a file to a name that must not exist yet: an existing file at the target
// makes the move fail, so a move never silently destroys another file.
bool MoveFileNoReplace(const std::string& from, const std::string& to);

} // namespace morvane
