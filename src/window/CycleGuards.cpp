#include "window/CycleGuards.h"

#include "core/Text.h"
#include "core/TextList.h"
#include "global/FIB_Deconnexion.h"
#include "global/Global_File.h"
#include "window/CycleFiles.h"
#include "window/CycleSteps.h"
#include "window/WindowLog.h"

#include <sys/stat.h>

namespace morvane {

namespace {

bool IsFolderPath(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

void ShutDownDatabase::BringOnline() noexcept
{
    if (!pending_)
        return;
    pending_ = false;
    try {
        TStringList lines;
        const std::string workingFolder = IsFolderPath(binFolder_) ? binFolder_ : std::string();
        const std::string result = RunCmdLine(GfixOnlineCommandLine(GfixProgram(binFolder_), databaseName_),
                                              workingFolder, &lines);
        WindowLogQuietly("Base remise en ligne après l'échec du cycle : " + databaseName_ + " => " + result, 1);
        for (const std::string& line : SplitLines(result))
            output_(line);
    } catch (const std::exception& error) {
        // Runs from a destructor as well: the failure is logged for the operator.
        WindowLogQuietly("La base " + databaseName_ + " n'a pas pu être remise en ligne: " + error.what(), 1);
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
        WindowLogQuietly("Base remise à sa place : " + moved_ + " => " + original_, 1);
        try {
            onBack_();
        } catch (const std::exception& error) {
            // Runs from a destructor while another error is on its way to the operator.
            WindowLogQuietly(error.what(), 1);
        }
        return true;
    }
    WindowLogQuietly("La base n'a pas pu être remise à sa place : " + moved_ + " => " + original_, 1);
    return false;
}

} // namespace morvane
