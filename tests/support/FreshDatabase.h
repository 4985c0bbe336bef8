#pragma once
// A new, empty database in its own temporary folder, removed with the object.
// Server databases are created through the server on 127.0.0.1 as SYSDBA, in a
// folder owned by the server's user; local ones by the embedded engine of isql-fb.

#include "support/TemporaryFolder.h"
#include "support/ToolRunner.h"

#include <string>
#include <vector>

namespace morvane::test {

class FreshDatabase {
public:
    enum class Access { Server, Local };

    // A page size of 0 leaves the server's default.
    explicit FreshDatabase(Access access = Access::Server, const std::string& fileName = "test.fdb",
                           int pageSize = 0);

    const std::string& Path() const noexcept { return path_; }
    // "127.0.0.1:<path>" for a server database, the path alone for a local one.
    std::string ConnectionString() const;
    const TemporaryFolder& Folder() const noexcept { return folder_; }
    Access GetAccess() const noexcept { return access_; }

    // Runs a script with isql-fb as SYSDBA on this database (or on another
    // connection string); raises std::runtime_error with isql's output on failure.
    std::string Sql(const std::string& script) const;
    std::string SqlOn(const std::string& connectionString, const std::string& script) const;

    // Output of "fbstat -h" on the file; the database must not be held open by the
    // server at that moment.
    ToolResult HeaderStatistics() const { return HeaderStatisticsOf(path_); }
    static ToolResult HeaderStatisticsOf(const std::string& path);

private:
    Access access_;
    TemporaryFolder folder_;
    std::string path_;
};

// The value after a header line's tab-separated label ("Page buffers\t\t\t2000" → "2000"),
// empty when no line has that label.
std::string HeaderValue(const std::string& statistics, const std::string& label);

} // namespace morvane::test
