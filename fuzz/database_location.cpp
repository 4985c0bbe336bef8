// The DB File text as the program splits it into a server and a database, and joins
// another path to its server in the same form: the text the connection profile and
// the window give, typed by a site's administrator.
#include "FuzzInput.h"
#include "session/DatabaseLocation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    const std::vector<std::string> fields = fuzz::Fields(fuzz::Text(data, size));
    const std::string& text = fields.front();
    const DatabaseLocation location = SplitDatabaseLocation(text);
    // The text is its server part followed by its database, nothing lost or added.
    if (JoinDatabaseLocation(location, location.path) != text)
        __builtin_trap();
    // A server is named only by a text that has a server part.
    if (!location.server.empty() && location.prefix.empty())
        __builtin_trap();
    (void)ServiceDatabaseName(location);
    // Another file of the same server (the moved database, the new one, an absolute
    // path as the server names it): joined, then split again, it is that file on
    // that server.
    const std::string& path = fields.size() > 1 ? fields[1] : text;
    if (!ConnectionFormRefusal(text) && !location.prefix.empty() && path.size() > 1 && path[0] == '/' &&
        path[1] != '/' && path.find(']') == std::string::npos) {
        const DatabaseLocation other = SplitDatabaseLocation(JoinDatabaseLocation(location, path));
        if (other.server != location.server || other.path != path || other.prefix != location.prefix)
            __builtin_trap();
    }
    return 0;
}
