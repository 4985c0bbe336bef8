#include "cycle/CycleGuards.h"

#include "core/Text.h"
#include "core/TextList.h"
#include "cycle/DatabaseControl.h"
#include "cycle/CycleFiles.h"
#include "cycle/CycleSteps.h"
#include "session/ProgramLog.h"

#include <chrono>
#include <thread>


namespace morvane {

void ShutDownDatabase::Fail() noexcept
{
    failed_ = true;
    if (!onFailure_)
        return;
    try {
        onFailure_();
    } catch (const std::exception& error) {
        ProgramLogQuietly(error.what(), 1);
    }
}

bool ShutDownDatabase::BringOnline() noexcept
{
    if (!pending_)
        return !failed_;
    pending_ = false;
    if (!FileExists(databasePath_)) {
        Fail();
        ProgramLogQuietly("La base " + databaseName_ + " n'est pas à sa place: elle n'a pas été remise en ligne", 1);
        return false;
    }
    std::string error;
    // The server may still be finishing a request on the file (a backup whose
    // reader went away): a few tries a second apart.
    for (int attempt = 0; attempt < 5; ++attempt) {
        try {
            online_();
            error.clear();
            break;
        } catch (const std::exception& e) {
            error = e.what();
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    }
    std::string attributes;
    try {
        attributes = attributes_();
    } catch (const std::exception& e) {
        // Runs from a destructor as well: what could not be read is said, not raised.
        attributes = std::string("en-tête illisible: ") + e.what();
        if (error.empty())
            error = attributes;
    }
    const bool asItWas = backAsItWas_ ? backAsItWas_(attributes) : !AttributesSayShutDown(attributes);
    if (error.empty() && asItWas) {
        ProgramLogQuietly("Base remise en ligne après l'échec du cycle : " + databaseName_ + " => Attributes " +
                              attributes,
                          1);
        JournalQuietly(journal_, JournalStep::BackOnline, true);
        return true;
    }
    Fail();
    ProgramLogQuietly("La base " + databaseName_ + " n'a pas pu être remise en ligne" +
                          (error.empty() ? std::string() : ": " + error) + " (Attributes " + attributes + ")",
                      1);
    return false;
}

bool MovedDatabaseFile::MoveBack() noexcept
{
    if (!pending_)
        return true;
    pending_ = false;
    // The rebuilt database already took the path (an error came after the swap).
    if (FileExists(original_))
        return true;
    JournalQuietly(journal_, backStep_, false);
    if (MoveFileNoReplace(moved_, original_)) {
        JournalQuietly(journal_, backStep_, true);
        ProgramLogQuietly(what_ + " remise à sa place : " + moved_ + " => " + original_, 1);
        try {
            onBack_();
        } catch (const std::exception& error) {
            // Runs from a destructor while another error is on its way to the operator.
            ProgramLogQuietly(error.what(), 1);
        }
        return true;
    }
    ProgramLogQuietly(what_ + " : impossible de la remettre à sa place : " + moved_ + " => " + original_, 1);
    return false;
}

} // namespace morvane
