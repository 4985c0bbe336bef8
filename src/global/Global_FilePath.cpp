// Absolute file names, in the Windows style of the site's own paths and in the
// native POSIX style the program uses.

#include "global/Global_File.h"

#include "core/Exception.h"
#include "core/Text.h"

#include <filesystem>
#include <vector>

namespace morvane {

namespace {

// Raised inside the steps; the outermost call turns it into the message with its own arguments.
struct PathFailure {};

char Separator(PathStyle style) { return style == PathStyle::Windows ? '\\' : '/'; }

std::string CurrentFolder(PathStyle style)
{
    std::error_code error;
    std::string folder = std::filesystem::current_path(error).string();
    if (error)
        throw PathFailure{};
    if (style == PathStyle::Windows)
        for (char& c : folder)
            if (c == '/')
                c = '\\';
    return folder;
}

bool IsDriveRooted(std::string_view path)
{
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\';
}

// Splits an absolute path into its root and the folder names below it.
void SplitRoot(const std::string& path, PathStyle style, std::string& root, std::string& rest)
{
    if (style == PathStyle::Posix) {
        root = "/";
        rest = path.substr(1);
        return;
    }
    if (IsDriveRooted(path)) {
        root = path.substr(0, 3);
        rest = path.substr(3);
    } else if (path.rfind("\\\\", 0) == 0) {
        // \\server\share\ is the root of a network path.
        const std::size_t server = path.find('\\', 2);
        const std::size_t end = server == std::string::npos ? std::string::npos : path.find('\\', server + 1);
        root = path.substr(0, end) + "\\";
        rest = end == std::string::npos ? std::string() : path.substr(end + 1);
    } else {
        root = "\\";
        rest = path.substr(1);
    }
}

bool IsAbsoluteFolder(const std::string& path, PathStyle style)
{
    if (style == PathStyle::Posix)
        return !path.empty() && path[0] == '/';
    return IsDriveRooted(path) || (!path.empty() && path[0] == '\\');
}

// The base folder made absolute, "." and ".." resolved, with a trailing separator.
std::string AbsoluteFolder(std::string base, PathStyle style)
{
    const char separator = Separator(style);
    if (style == PathStyle::Windows)
        for (char& c : base)
            if (c == '/')
                c = '\\';
    if (!IsAbsoluteFolder(base, style))
        base = CurrentFolder(style) + separator + base;

    std::string root, rest;
    SplitRoot(base, style, root, rest);
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find(separator, start);
        if (end == std::string::npos)
            end = rest.size();
        const std::string name = rest.substr(start, end - start);
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = end + 1;
    }
    std::string folder = root;
    for (const std::string& name : names)
        folder += name + separator;
    return folder;
}

// The folder above a folder that ends with a separator, with its own trailing separator.
std::string ParentFolder(const std::string& folder, char separator)
{
    std::string path = folder;
    if (!path.empty() && path.back() == separator)
        path.pop_back();
    const std::size_t last = path.find_last_of(separator);
    if (last == std::string::npos)
        throw PathFailure{};
    return path.substr(0, last + 1);
}

std::string Resolve(const std::string& rawName, const std::string& baseFolder, PathStyle style)
{
    const std::string name = Trim(rawName);
    const std::string base = AbsoluteFolder(baseFolder, style);
    const char separator = Separator(style);
    const std::string here = std::string(".") + separator;
    const std::string up = std::string("..") + separator;

    if (name.empty())
        return base;
    if (style == PathStyle::Windows) {
        if ((name.size() >= 3 && name[1] == ':' && name[2] == '\\') || name.rfind("\\\\", 0) == 0)
            return name;
    } else if (name[0] == '/') {
        return name; // no drive part: a leading separator is already absolute
    }
    if (name.rfind(here, 0) == 0)
        return Resolve(name.substr(2), base, style);
    if (name.rfind(up, 0) == 0) {
        const std::string parent = ParentFolder(base, separator);
        // Climbing to the top of the drive (or of the file system) is refused.
        const bool top = style == PathStyle::Windows ? (parent == "\\\\" || (parent.size() == 3 && IsDriveRooted(parent)))
                                                     : parent == "/";
        if (top)
            throw PathFailure{};
        return Resolve(name.substr(3), parent, style);
    }
    if (style == PathStyle::Windows && name[0] == '\\') {
        // \\server\share has no drive letter to put the name on.
        std::string root, rest;
        SplitRoot(base, style, root, rest);
        const std::string drive = root.substr(0, root.size() - 1);
        if (drive.size() != 2 || drive[1] != ':')
            throw PathFailure{};
        return drive + name;
    }
    return base + name;
}

} // namespace

std::string GetAbsoluteFileName(const std::string& name, const std::string& baseFolder, PathStyle style)
{
    try {
        return Resolve(name, baseFolder, style);
    } catch (const PathFailure&) {
        throw Exception("Erreur GetAbsoluteFileName(" + name + "," + baseFolder + ")");
    } catch (const std::exception&) {
        // Whatever else fails on the way (memory, the file system) has the same message.
        throw Exception("Erreur GetAbsoluteFileName(" + name + "," + baseFolder + ")");
    }
}

std::string TGlobalFile::GetAbsoluteFileName(const std::string& name, const std::string& baseFolder) const
{
    return morvane::GetAbsoluteFileName(name, baseFolder, PathStyle::Posix);
}

} // namespace morvane
