#include "session/DatabaseHealth.h"

#include "session/HeaderReport.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace morvane {

namespace {

constexpr std::string_view Blanks = " \t\r\n";

std::string_view TrimBlanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(Blanks);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(Blanks);
    return text.substr(first, last - first + 1);
}

// The whole number at the start of text (blanks before it skipped); nothing when
// there is none or it does not fit.
std::optional<std::int64_t> LeadingNumber(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(Blanks);
    if (first == std::string_view::npos)
        return std::nullopt;
    text.remove_prefix(first);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() || value < 0)
        return std::nullopt;
    return value;
}

// The number after "key:" in a statistics line ("total records: 52").
std::optional<std::int64_t> NumberAfter(std::string_view line, std::string_view key)
{
    const std::size_t at = line.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    return LeadingNumber(line.substr(at + key.size()));
}

// A header line "Oldest transaction<tabs>1234": the number when the line is that field's.
std::optional<std::int64_t> HeaderField(std::string_view trimmed, std::string_view field)
{
    if (trimmed.size() <= field.size() || trimmed.substr(0, field.size()) != field)
        return std::nullopt;
    const char after = trimmed[field.size()];
    if (after != ' ' && after != '\t')
        return std::nullopt;
    return LeadingNumber(trimmed.substr(field.size()));
}

// A table's heading: its name at the start of an unindented line, then its relation
// number in brackets ("T1 (128)"). A name may hold blanks and brackets of its own.
std::optional<std::string> TableHeading(std::string_view line)
{
    if (line.empty() || line.front() == ' ' || line.front() == '\t')
        return std::nullopt;
    const std::string_view trimmed = TrimBlanks(line);
    if (trimmed.size() < 4 || trimmed.back() != ')')
        return std::nullopt;
    const std::size_t open = trimmed.rfind(" (");
    if (open == std::string_view::npos || open == 0)
        return std::nullopt;
    const std::string_view number = trimmed.substr(open + 2, trimmed.size() - open - 3);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    return std::string(trimmed.substr(0, open));
}

std::optional<std::int64_t> Difference(const std::optional<std::int64_t>& next, const std::optional<std::int64_t>& oldest)
{
    if (!next || !oldest)
        return std::nullopt;
    return *next > *oldest ? *next - *oldest : 0;
}

} // namespace

std::optional<std::int64_t> DatabaseHealth::InterestingGap() const { return Difference(nextTransaction, oldestTransaction); }
std::optional<std::int64_t> DatabaseHealth::ActiveGap() const { return Difference(nextTransaction, oldestActive); }
std::optional<std::int64_t> DatabaseHealth::SnapshotGap() const { return Difference(nextTransaction, oldestSnapshot); }

std::optional<std::int64_t> DatabaseHealth::TransactionGap() const
{
    std::optional<std::int64_t> largest;
    for (const std::optional<std::int64_t>& gap : {InterestingGap(), ActiveGap(), SnapshotGap()})
        if (gap && (!largest || *gap > *largest))
            largest = gap;
    return largest;
}

namespace {
template <typename Member>
std::int64_t Sum(const std::vector<TableHealth>& tables, Member member)
{
    std::int64_t total = 0;
    for (const TableHealth& table : tables)
        // Saturates: a report made up to overflow must not wrap the totals.
        total = table.*member > INT64_MAX - total ? INT64_MAX : total + table.*member;
    return total;
}
} // namespace

std::int64_t DatabaseHealth::Records() const { return Sum(tables, &TableHealth::records); }
std::int64_t DatabaseHealth::BackVersions() const { return Sum(tables, &TableHealth::backVersions); }
std::int64_t DatabaseHealth::DataPages() const { return Sum(tables, &TableHealth::dataPages); }

std::int64_t DatabaseHealth::LongestChain() const
{
    std::int64_t longest = 0;
    for (const TableHealth& table : tables)
        longest = std::max(longest, table.longestChain);
    return longest;
}

std::optional<std::int64_t> DatabaseHealth::DataBytes() const
{
    if (!tablesRead || !pageSize)
        return std::nullopt;
    const std::int64_t pages = DataPages();
    if (*pageSize > 0 && pages > INT64_MAX / *pageSize)
        return std::nullopt;
    return pages * *pageSize;
}

std::optional<double> DatabaseHealth::DataPercent() const
{
    const std::optional<std::int64_t> bytes = DataBytes();
    if (!bytes || !fileBytes || *fileBytes <= 0)
        return std::nullopt;
    return std::min(100.0, 100.0 * static_cast<double>(*bytes) / static_cast<double>(*fileBytes));
}

DatabaseHealth ParseStatisticsReport(std::span<const std::string> lines)
{
    DatabaseHealth health;
    TableHealth* table = nullptr;
    for (const std::string& raw : lines) {
        const std::string_view line = raw;
        const std::string_view trimmed = TrimBlanks(line);
        if (!health.tablesRead) {
            if (trimmed.starts_with("Analyzing database pages")) {
                health.tablesRead = true;
                continue;
            }
            if (auto value = HeaderField(trimmed, "Oldest transaction"))
                health.oldestTransaction = value;
            else if (auto value = HeaderField(trimmed, "Oldest active"))
                health.oldestActive = value;
            else if (auto value = HeaderField(trimmed, "Oldest snapshot"))
                health.oldestSnapshot = value;
            else if (auto value = HeaderField(trimmed, "Next transaction"))
                health.nextTransaction = value;
            else if (auto value = HeaderField(trimmed, "Page size"))
                health.pageSize = value;
            else if (health.databaseFile.empty())
                if (auto database = ParseHeaderReport(trimmed, HeaderKeyword::Database))
                    health.databaseFile = database->file;
            continue;
        }
        if (auto name = TableHeading(line)) {
            health.tables.push_back(TableHealth{std::move(*name)});
            table = &health.tables.back();
            continue;
        }
        // The end of the report, or a line outside any table.
        if (table == nullptr || line.empty() || (line.front() != ' ' && line.front() != '\t')) {
            table = nullptr;
            continue;
        }
        if (auto value = NumberAfter(trimmed, "total records:"))
            table->records = *value;
        if (auto value = NumberAfter(trimmed, "total versions:"))
            table->backVersions = *value;
        if (auto value = NumberAfter(trimmed, "max versions:"))
            table->longestChain = *value;
        if (trimmed.starts_with("Data pages:")) {
            if (auto value = NumberAfter(trimmed, "Data pages:"))
                table->dataPages = *value;
            if (auto value = NumberAfter(trimmed, "average fill:"))
                table->averageFillPercent = static_cast<int>(std::min<std::int64_t>(*value, 100));
        }
    }
    return health;
}

std::vector<TableHealth> LargestTables(const DatabaseHealth& health, std::size_t count)
{
    std::vector<TableHealth> tables = health.tables;
    std::sort(tables.begin(), tables.end(), [](const TableHealth& a, const TableHealth& b) {
        return a.dataPages != b.dataPages ? a.dataPages > b.dataPages : a.name < b.name;
    });
    if (tables.size() > count)
        tables.resize(count);
    return tables;
}

} // namespace morvane
