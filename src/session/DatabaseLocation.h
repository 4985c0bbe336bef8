#pragma once
// How the window reads a DB File text (server, colon, path on the server) and the
// file-name pieces it derives from the path. Pure functions over text.

#include <string>
#include <string_view>

namespace morvane {

struct DatabaseLocation {
    std::string server; // before the first colon; empty when there is none
    std::string path;   // after the first colon; the whole text when there is none
};

DatabaseLocation SplitDatabaseLocation(std::string_view dbFileText);

// The folder part of a file name: everything up to and including the last
// separator ("\", "/" or ":"); empty when there is none.
std::string ExtractFolder(std::string_view fileName);

// The file name with its extension (from the last point of the name on) replaced;
// a name without a point gets the new extension appended.
std::string ChangeFileExtension(std::string_view fileName, std::string_view extension);

// The three characters after the first colon of a DB File text (the first three
// when there is no colon): the drive whose cluster size the window shows.
std::string DriveOfDatabase(std::string_view dbFileText);

} // namespace morvane

namespace morvane {

// What the window's cluster-size label measures for a DB File text: the drive text
// above for a Windows path; a POSIX path has no drive, so the path itself (the
// cluster size is that of the file system holding it).
std::string ClusterSizeRootOf(std::string_view dbFileText);

} // namespace morvane
