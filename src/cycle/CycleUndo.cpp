#include "cycle/CycleUndo.h"

#include "cycle/CycleFiles.h"
#include "cycle/CycleSteps.h"
#include "session/ProgramLog.h"

namespace morvane {

namespace {
// A request still finishing on the file (a backup whose reader went away) holds
// the database a few seconds at most.
constexpr int OnlineTries = 5;
} // namespace

bool MoveFileBack(const std::string& original, const std::string& moved, TCycleJournal* journal,
                  JournalStep step, const std::string& what) noexcept
{
    // The rebuilt database already took the path (an error came after the swap).
    if (FileExists(original))
        return true;
    JournalQuietly(journal, step, false);
    if (MoveFileNoReplace(moved, original)) {
        JournalQuietly(journal, step, true);
        ProgramLogQuietly(what + " remise à sa place : " + moved + " => " + original, 1);
        return true;
    }
    ProgramLogQuietly(what + " : impossible de la remettre à sa place : " + moved + " => " + original, 1);
    return false;
}

bool BringBackOnline(const BackOnlineRequest& request, TCycleJournal* journal) noexcept
{
    if (!FileExists(request.databasePath)) {
        ProgramLogQuietly("La base " + request.databaseName + " n'est pas à sa place: elle n'a pas été remise en ligne",
                          1);
        return false;
    }
    std::string error;
    for (int attempt = 1; attempt <= OnlineTries; ++attempt) {
        try {
            request.online();
            error.clear();
            break;
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (attempt < OnlineTries && request.pauseBeforeRetry) {
            try {
                request.pauseBeforeRetry();
            } catch (const std::exception&) {
                // A pause that fails only shortens the wait.
            }
        }
    }
    std::string attributes;
    try {
        attributes = request.attributes();
    } catch (const std::exception& e) {
        attributes = std::string("en-tête illisible: ") + e.what();
        if (error.empty())
            error = attributes;
    }
    bool asItWas = false;
    try {
        asItWas = request.backAsItWas(attributes);
    } catch (const std::exception&) {
        asItWas = false;
    }
    if (error.empty() && asItWas) {
        ProgramLogQuietly("Base remise en ligne après l'échec du cycle : " + request.databaseName + " => Attributes " +
                              attributes,
                          1);
        JournalQuietly(journal, JournalStep::BackOnline, true);
        return true;
    }
    ProgramLogQuietly("La base " + request.databaseName + " n'a pas pu être remise en ligne" +
                          (error.empty() ? std::string() : ": " + error) + " (Attributes " + attributes + ")",
                      1);
    return false;
}

} // namespace morvane
