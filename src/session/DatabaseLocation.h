#pragma once
// How the program reads a DB File text (a server and a database on it, in one of the
// forms the Firebird client library takes) and the file-name pieces it derives from
// the path. Pure functions over text.
//
// Forms: "host:path", "host/port:path", "[ipv6]:path" and "[ipv6]/port:path";
// "inet://host[:port]/path" (and inet4://, inet6://), where an absolute POSIX path
// gives two slashes after the server ("inet://host//srv/bd.fdb"); an alias of the
// server's databases.conf in place of the path; the path alone (the embedded engine
// of this machine). A Windows drive in the path stays part of the path
// ("127.0.0.1:C:\BD.FDB").

#include <optional>
#include <string>
#include <string_view>

namespace morvane {

struct DatabaseLocation {
    // The server as its service manager is named after it: "host", "host/port",
    // "[::1]/port"; empty when the text names no server.
    std::string server;
    // The database on the server: a file's path, or an alias the server resolves; the
    // whole text when it names no server.
    std::string path;
    // The text before the path, as written ("127.0.0.1:", "inet://host:3050/"; empty
    // without a server): any other path put after it names a file of the same server
    // in the same form.
    std::string prefix;
};

DatabaseLocation SplitDatabaseLocation(std::string_view dbFileText);

// Another database of the same server, in the text's own form: the location's prefix
// followed by path.
std::string JoinDatabaseLocation(const DatabaseLocation& location, std::string_view path);

// The database as a service request names it: "server:path", or the path alone when
// there is no server (the services do not take the URL forms there).
std::string ServiceDatabaseName(const DatabaseLocation& location);

// Why the program cannot use the text's form (a protocol of Windows only, one the
// client library does not know, a URL without a database), in the program's words
// and naming the form; nothing when it can.
std::optional<std::string> ConnectionFormRefusal(std::string_view dbFileText);

// The database as a message names it: the name the DB File text gives and, when it
// is not the file itself (a link, an alias), the real file after it.
std::string DatabaseNameText(std::string_view named, std::string_view real);

// The folder part of a file name: everything up to and including the last
// separator ("\", "/" or ":"); empty when there is none.
std::string ExtractFolder(std::string_view fileName);

// The file name with its extension (from the last point of the name on) replaced;
// a name without a point gets the new extension appended.
std::string ChangeFileExtension(std::string_view fileName, std::string_view extension);

// The first three characters of a DB File text's path: the drive whose cluster size
// the window shows.
std::string DriveOfDatabase(std::string_view dbFileText);

} // namespace morvane

namespace morvane {

// What the window's cluster-size label measures for a DB File text: the drive text
// above for a Windows path; a POSIX path has no drive, so the path itself (the
// cluster size is that of the file system holding it).
std::string ClusterSizeRootOf(std::string_view dbFileText);

} // namespace morvane
