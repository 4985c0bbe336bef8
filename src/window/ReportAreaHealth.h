#pragma once
// The health figures the report area shows below the header report.

#include "core/TextList.h"

#include <string>
#include <vector>

namespace morvane {

// The header's counters come from the header report already read (no request of
// their own); every table's statistics are read too in a window someone looks at,
// when the database's job settings keep HealthTables on (an unattended run reads
// them in its cycle, online, and not twice). A reading that fails is said in a line.
std::vector<std::string> ReportAreaHealthLines(const std::vector<std::string>& headerLines, const std::string& dbFile,
                                               const TStringList& userParams, bool unattended);

} // namespace morvane
