#include "support/FreshDatabase.h"

#include "support/FirebirdServer.h"

#include <fstream>
#include <stdexcept>

namespace morvane::test {

FreshDatabase::FreshDatabase(Access access, const std::string& fileName, int pageSize)
    : access_(access), folder_(access == Access::Server), path_(folder_.File(fileName))
{
    std::string create = "CREATE DATABASE '" + ConnectionString() + "'";
    if (access_ == Access::Server)
        create += std::string(" USER '") + SysdbaUser + "' PASSWORD '" + SysdbaPassword + "'";
    if (pageSize > 0)
        create += " PAGE_SIZE " + std::to_string(pageSize);
    create += " DEFAULT CHARACTER SET ISO8859_1;\n";
    const std::string script = folder_.File("create.sql");
    {
        std::ofstream file(script);
        file << create;
    }
    const ToolResult result = RunTool({"isql-fb", "-q", "-i", script});
    if (result.ExitCode != 0)
        throw std::runtime_error("cannot create " + path_ + ": " + result.Output);
}

std::string FreshDatabase::ConnectionString() const
{
    return access_ == Access::Server ? std::string(ServerHost) + ":" + path_ : path_;
}

std::string FreshDatabase::Sql(const std::string& script) const { return SqlOn(ConnectionString(), script); }

std::string FreshDatabase::SqlOn(const std::string& connectionString, const std::string& script) const
{
    const std::string file = folder_.File("script.sql");
    {
        std::ofstream out(file, std::ios::trunc);
        out << script << "\n";
    }
    const ToolResult result = RunTool({"isql-fb", "-q", "-b", "-i", file, connectionString}, SysdbaEnvironment());
    if (result.ExitCode != 0)
        throw std::runtime_error("isql-fb failed on " + connectionString + ": " + result.Output);
    return result.Output;
}

ToolResult FreshDatabase::HeaderStatisticsOf(const std::string& path)
{
    return RunTool({"fbstat", "-h", path});
}

std::string HeaderValue(const std::string& statistics, const std::string& label)
{
    for (const auto& line : OutputLines(statistics)) {
        std::size_t start = line.find_first_not_of('\t');
        if (start == std::string::npos || line.compare(start, label.size(), label) != 0)
            continue;
        std::size_t value = start + label.size();
        if (value < line.size() && line[value] == ':')
            ++value;
        if (value >= line.size() || line[value] != '\t')
            continue;
        value = line.find_first_not_of('\t', value);
        return value == std::string::npos ? std::string() : line.substr(value);
    }
    return {};
}

} // namespace morvane::test
