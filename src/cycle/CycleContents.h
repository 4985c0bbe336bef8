#pragma once
// Reads through an attachment what the verification before the swap compares.

#include "cycle/CycleVerification.h"
#include "cycle/RunReport.h"

#include <string>
#include <vector>

namespace morvane {

namespace fib {
class TpFIBDatabase;
class TDBParams;
}

// Attaches (unless attached), lists the inactive user indexes, then detaches.
// Errors of the database layer propagate.
std::vector<std::string> ReadInactiveIndexes(fib::TpFIBDatabase& database);

// The other attachments to the database (user, address, program), read through an
// attachment of its own that is closed again. Errors of the database layer propagate.
std::vector<std::string> ReadForeignAttachments(fib::TpFIBDatabase& database);

// The size of the file at localPath and the settings an attachment to connection
// reads (as the window's current settings are read). What cannot be read stays
// empty: the run report must be written whatever state the database is in.
RunReportDatabase ReadReportDatabase(const std::string& connection, const fib::TDBParams& params, int dialect,
                                     const std::string& localPath) noexcept;

} // namespace morvane
