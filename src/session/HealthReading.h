#pragma once
// The health figures read from the server: one statistics request through the
// services API, the header alone (cheap, a few pages) or with every data page of
// the user tables and their record versions (a read of the whole data).

#include "core/TextList.h"
#include "session/DatabaseHealth.h"

#include <string>

namespace morvane {

// connection: a DB File text (server, colon, path). tables: the per-table
// statistics too. localPath: the file whose size is taken, when the program sees it
// (empty: the file the server names). Errors of the service propagate.
DatabaseHealth ReadDatabaseHealth(const TStringList& userParams, const std::string& connection, bool tables,
                                  const std::string& localPath = {});

} // namespace morvane
