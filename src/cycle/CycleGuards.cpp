#include "cycle/CycleGuards.h"

#include "core/Text.h"
#include "core/TextList.h"
#include "database/FIB_Deconnexion.h"
#include "global/Global_File.h"
#include "cycle/CycleFiles.h"
#include "cycle/CycleSteps.h"
#include "cycle/ProgramLog.h"
#include "platform/DurableFile.h"


namespace morvane {

void ShutDownDatabase::BringOnline() noexcept
{
    if (!pending_)
        return;
    pending_ = false;
    try {
        TStringList lines;
        const std::string workingFolder = platform::IsFolder(binFolder_) ? binFolder_ : std::string();
        const std::string result = RunCmdLine(GfixOnlineCommandLine(GfixProgram(binFolder_), databaseName_),
                                              workingFolder, &lines);
        ProgramLogQuietly("Base remise en ligne après l'échec du cycle : " + databaseName_ + " => " + result, 1);
        for (const std::string& line : SplitLines(result))
            output_(line);
    } catch (const std::exception& error) {
        // Runs from a destructor as well: the failure is logged for the operator.
        ProgramLogQuietly("La base " + databaseName_ + " n'a pas pu être remise en ligne: " + error.what(), 1);
    }
}

bool MovedDatabaseFile::MoveBack() noexcept
{
    if (!pending_)
        return true;
    pending_ = false;
    // The rebuilt database already took the path (an error came after the swap).
    if (FileExists(original_))
        return true;
    JournalQuietly(journal_, JournalStep::MovedBack, false);
    if (MoveFileNoReplace(moved_, original_)) {
        JournalQuietly(journal_, JournalStep::MovedBack, true);
        ProgramLogQuietly("Base remise à sa place : " + moved_ + " => " + original_, 1);
        try {
            onBack_();
        } catch (const std::exception& error) {
            // Runs from a destructor while another error is on its way to the operator.
            ProgramLogQuietly(error.what(), 1);
        }
        return true;
    }
    ProgramLogQuietly("La base n'a pas pu être remise à sa place : " + moved_ + " => " + original_, 1);
    return false;
}

} // namespace morvane
