#pragma once
// What the restored file must show before it may take the database's place: the
// page size and page buffers asked for, no user index inactive that the old database
// had active, and as many rows in every user table as the backup wrote from the old
// database.

#include "cycle/RunReport.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace morvane {

// Rows per user table (name as the server stores it, trailing blanks removed) and
// the user indexes that are inactive.
struct DatabaseContents {
    std::map<std::string, std::int64_t> rowCounts;
    std::vector<std::string> inactiveIndexes;
};

// What was read from the restored file.
struct RestoredDatabase {
    int pageSize{0};
    int pageBuffers{0};
    DatabaseContents contents;
};

// One French line per difference; empty when the new file may be swapped in.
std::vector<std::string> VerificationDifferences(int wantedPageSize, int wantedPageBuffers,
                                                 const DatabaseContents& old, const RestoredDatabase& restored);

// One French line per header setting the site chose that the restored database does
// not share with the old one as it was backed up: sweep interval, reserved space,
// write mode, read-only, SQL dialect. A setting the old database gave and the new
// one does not is a difference too.
std::vector<std::string> SettingsDifferences(const RunReportDatabase& old, const RunReportDatabase& restored);

// A table name as one SQL identifier: double quotes around it, inner ones doubled.
std::string QuotedIdentifier(const std::string& name);

} // namespace morvane
