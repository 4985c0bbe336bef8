#pragma once
// The database's health as the statistics report gives it: the header's
// transaction counters, and per table the records, back versions, longest chain of
// versions, data pages and their fill. The reader is a pure function over the
// report's lines, so it is tested on recorded text and fuzzed.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace morvane {

struct TableHealth {
    std::string name;
    std::int64_t records{0};
    std::int64_t backVersions{0};
    std::int64_t longestChain{0}; // the most versions one record carries
    std::int64_t dataPages{0};
    int averageFillPercent{0};
};

struct DatabaseHealth {
    // The header's counters; a counter the report does not hold stays unknown.
    std::optional<std::int64_t> oldestTransaction; // oldest interesting
    std::optional<std::int64_t> oldestActive;
    std::optional<std::int64_t> oldestSnapshot;
    std::optional<std::int64_t> nextTransaction;
    std::optional<std::int64_t> pageSize;
    // The file the server opened, as its report names it (empty when it does not).
    std::string databaseFile;
    // The file's size, when it could be read (not part of the report).
    std::optional<std::int64_t> fileBytes;
    // The per-table statistics were asked for and read: only then do the totals mean anything.
    bool tablesRead{false};
    std::vector<TableHealth> tables;

    // next − oldest interesting, next − oldest active, next − oldest snapshot; unknown
    // when either counter is, never negative.
    std::optional<std::int64_t> InterestingGap() const;
    std::optional<std::int64_t> ActiveGap() const;
    std::optional<std::int64_t> SnapshotGap() const;
    // The largest of the three gaps known.
    std::optional<std::int64_t> TransactionGap() const;

    std::int64_t Records() const;
    std::int64_t BackVersions() const;
    std::int64_t LongestChain() const;
    std::int64_t DataPages() const;
    // The bytes of the data pages of the user tables.
    std::optional<std::int64_t> DataBytes() const;
    // The share of the file those bytes make, 0 to 100; unknown without the tables,
    // the page size or the file's size.
    std::optional<double> DataPercent() const;
};

// Reads a statistics report's lines (header alone, or header and data pages with
// record versions, as the services API or gstat writes them). Lines it does not know
// are passed over, a number it cannot read leaves its value unknown (or 0 in a
// table); it never raises. tablesRead is set when the report reached its analysis
// of the database's pages.
DatabaseHealth ParseStatisticsReport(std::span<const std::string> lines);

// The tables by data pages, largest first (by name among equals), at most `count`.
std::vector<TableHealth> LargestTables(const DatabaseHealth& health, std::size_t count);

} // namespace morvane
