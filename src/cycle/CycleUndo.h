#pragma once
// What a failed cycle undoes: a file it moved away goes back to its path, and a
// database it shut down comes back to the state the site had set. Both run on the
// way out of a failure, so they report and never raise.

#include "cycle/CycleJournal.h"

#include <functional>
#include <string>

namespace morvane {

// The file at moved goes back to original, its journal lines written (quietly).
// True when a file is at original afterwards (it may be the rebuilt database, which
// already took the path); what says in the log which file it was ("Base").
bool MoveFileBack(const std::string& original, const std::string& moved, TCycleJournal* journal,
                  JournalStep step, const std::string& what) noexcept;

struct BackOnlineRequest {
    std::string databaseName; // as the log names it
    std::string databasePath; // where the file must be
    std::function<void()> online;
    std::function<std::string()> attributes;
    // Whether the attributes read afterwards show the state the database had.
    std::function<bool(const std::string&)> backAsItWas;
    // Between two tries: the server may still be finishing a request on the file.
    std::function<void()> pauseBeforeRetry;
};

// True when the header shows the database back as it was; the log says which.
bool BringBackOnline(const BackOnlineRequest& request, TCycleJournal* journal) noexcept;

} // namespace morvane
