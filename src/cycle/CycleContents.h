#pragma once
// Reads through an attachment what the verification before the swap compares.

#include "cycle/CycleVerification.h"
#include "cycle/DatabaseChecks.h"
#include "cycle/RestoreFailure.h"
#include "cycle/RunReport.h"

#include <optional>
#include <string>
#include <vector>

namespace morvane {

namespace fib {
class TpFIBDatabase;
class TDBParams;
}

// The readings below attach the database when it is not attached, and then detach
// it again; an attachment the caller made stays. Errors of the database layer
// propagate.

// The inactive user indexes.
std::vector<std::string> ReadInactiveIndexes(fib::TpFIBDatabase& database);

// An index as the catalogue describes it, found by its name or by the name of the
// constraint it backs; none when the database has neither.
std::optional<CatalogueIndex> ReadCatalogueIndex(fib::TpFIBDatabase& database, const std::string& name);

// A database component of the cycle's own, named and parameterised like the
// window's, that fires no connection trigger of the database.
void PrepareOwnAttachment(fib::TpFIBDatabase& database, const std::string& connection, const fib::TDBParams& params,
                          int dialect);

// The shadow files of the database, its continuation files, its owner and whether it
// has the site's command tables.
void ReadDatabaseFacts(fib::TpFIBDatabase& database, DatabaseFacts& facts);

// The file the server opened for connection, as it names it (MON$DATABASE_NAME): what
// an alias or a link leads to. Errors of the database layer propagate.
std::string ReadDatabaseFileName(const std::string& connection, const fib::TDBParams& params, int dialect);

// The other attachments to the database (user, address, program).
std::vector<std::string> ReadForeignAttachments(fib::TpFIBDatabase& database);

// The header's settings read through an attachment (the database must be attached),
// but for the page buffers: an attachment reports its own cache there. Errors of
// the database layer propagate.
RunReportDatabase ReadAttachedSettings(fib::TpFIBDatabase& database);

// The size of the file at localPath and the settings an attachment to connection
// reads (as the window's current settings are read), but for the page buffers: an
// attachment reports its own cache there. What cannot be read stays empty: the run
// report must be written whatever state the database is in.
RunReportDatabase ReadReportDatabase(const std::string& connection, const fib::TDBParams& params, int dialect,
                                     const std::string& localPath) noexcept;

} // namespace morvane
