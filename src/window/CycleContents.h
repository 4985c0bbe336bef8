#pragma once
// Reads through an attachment what the verification before the swap compares.

#include "window/CycleVerification.h"

namespace morvane {

namespace fib {
class TpFIBDatabase;
}

// Attaches (unless attached), counts the rows of every user table and lists the
// inactive user indexes, then detaches. Errors of the database layer propagate.
DatabaseContents ReadDatabaseContents(fib::TpFIBDatabase& database);

} // namespace morvane
