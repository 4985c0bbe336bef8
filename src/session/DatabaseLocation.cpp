#include "session/DatabaseLocation.h"

#include <algorithm>
#include <array>

namespace morvane {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

constexpr std::string_view UrlMark = "://";
// The protocols the client library names in a URL on this platform.
constexpr std::array<std::string_view, 3> NetworkProtocols{"inet", "inet4", "inet6"};
// Those it names only on Windows.
constexpr std::array<std::string_view, 2> WindowsProtocols{"xnet", "wnet"};

bool IsSchemeCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The protocol of a URL-like text ("inet" of "inet://host/path"); empty when the
// text does not begin so. One letter before "://" is a drive ("C://data/bd.fdb").
std::string_view SchemeOf(std::string_view text)
{
    const std::size_t mark = text.find(UrlMark);
    if (mark == std::string_view::npos || mark < 2)
        return {};
    const std::string_view scheme = text.substr(0, mark);
    return std::all_of(scheme.begin(), scheme.end(), IsSchemeCharacter) ? scheme : std::string_view{};
}

bool IsNetworkProtocol(std::string_view scheme)
{
    return std::find(NetworkProtocols.begin(), NetworkProtocols.end(), scheme) != NetworkProtocols.end();
}

// Where the server's name ends in a "host:path" text: at the first colon, or the
// first one after an address in brackets ("[::1]:path", "[::1]/3050:path").
std::size_t ServerEnd(std::string_view text)
{
    std::size_t from = 0;
    if (!text.empty() && text.front() == '[') {
        const std::size_t closing = text.find(']');
        if (closing != std::string_view::npos)
            from = closing + 1;
    }
    return text.find(':', from);
}

// The server of a URL ("host", "host:port", "[::1]:port") as the service manager
// is named after it: the port after a slash ("host/port"). No server in the URL is
// this machine's.
std::string ServerOfUrlNode(std::string_view node)
{
    if (node.empty())
        return "localhost";
    std::size_t from = 0;
    if (node.front() == '[') {
        const std::size_t closing = node.find(']');
        if (closing == std::string_view::npos)
            return std::string{node};
        from = closing + 1;
    }
    const std::size_t colon = node.find(':', from);
    if (colon == std::string_view::npos)
        return std::string{node};
    return std::string{node.substr(0, colon)} + "/" + std::string{node.substr(colon + 1)};
}

} // namespace

DatabaseLocation SplitDatabaseLocation(std::string_view dbFileText)
{
    if (IsNetworkProtocol(SchemeOf(dbFileText))) {
        // "inet://" node "/" path: the path is all after the slash that ends the node.
        const std::size_t nodeStart = dbFileText.find(UrlMark) + UrlMark.size();
        const std::size_t slash = std::min(dbFileText.find('/', nodeStart), dbFileText.size());
        const std::size_t pathStart = std::min(slash + 1, dbFileText.size());
        return {ServerOfUrlNode(dbFileText.substr(nodeStart, slash - nodeStart)),
                std::string{dbFileText.substr(pathStart)}, std::string{dbFileText.substr(0, pathStart)}};
    }
    const std::size_t colon = ServerEnd(dbFileText);
    if (colon == std::string_view::npos)
        return {std::string{}, std::string{dbFileText}, std::string{}};
    return {std::string{dbFileText.substr(0, colon)}, std::string{dbFileText.substr(colon + 1)},
            std::string{dbFileText.substr(0, colon + 1)}};
}

std::string JoinDatabaseLocation(const DatabaseLocation& location, std::string_view path)
{
    return location.prefix + std::string{path};
}

std::string ServiceDatabaseName(const DatabaseLocation& location)
{
    return location.server.empty() ? location.path : location.server + ":" + location.path;
}

std::optional<std::string> ConnectionFormRefusal(std::string_view dbFileText)
{
    std::string form;
    const std::string_view scheme = SchemeOf(dbFileText);
    if (IsNetworkProtocol(scheme)) {
        if (!SplitDatabaseLocation(dbFileText).path.empty())
            return std::nullopt;
        form = "« " + std::string{scheme} + "://serveur » sans base après le serveur";
    } else if (std::find(WindowsProtocols.begin(), WindowsProtocols.end(), scheme) != WindowsProtocols.end()) {
        form = "« " + std::string{scheme} + ":// », un protocole du client Firebird de Windows seulement";
    } else if (!scheme.empty()) {
        // The client library knows its protocols in lower case only.
        form = "« " + std::string{scheme} + ":// », un protocole que le client Firebird ne connaît pas";
    } else if (dbFileText.starts_with("\\\\")) {
        form = "« \\\\serveur\\base », un canal nommé de Windows";
    } else {
        return std::nullopt;
    }
    return "la base " + std::string{dbFileText} + " est nommée sous la forme " + form +
           ": formes acceptées serveur:chemin, serveur/port:chemin, inet://serveur[:port]/chemin (ou inet4://, "
           "inet6://), serveur:alias, ou le chemin seul pour le moteur embarqué de cette machine";
}

std::string DatabaseNameText(std::string_view named, std::string_view real)
{
    if (named == real || real.empty())
        return std::string{named};
    return std::string{named} + " (fichier réel " + std::string{real} + ")";
}

std::string ExtractFolder(std::string_view fileName)
{
    for (std::size_t i = fileName.size(); i > 0; --i)
        if (IsSeparator(fileName[i - 1]))
            return std::string{fileName.substr(0, i)};
    return {};
}

std::string ChangeFileExtension(std::string_view fileName, std::string_view extension)
{
    const std::size_t nameStart = ExtractFolder(fileName).size();
    const auto point = fileName.rfind('.');
    std::string result{fileName};
    if (point != std::string_view::npos && point >= nameStart)
        result.resize(point);
    result += extension;
    return result;
}

std::string DriveOfDatabase(std::string_view dbFileText)
{
    return SplitDatabaseLocation(dbFileText).path.substr(0, 3);
}

} // namespace morvane

namespace morvane {

std::string ClusterSizeRootOf(std::string_view dbFileText)
{
    const DatabaseLocation location = SplitDatabaseLocation(dbFileText);
    if (!location.path.empty() && location.path.front() == '/')
        return location.path;
    return DriveOfDatabase(dbFileText);
}

} // namespace morvane
