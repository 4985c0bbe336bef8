// The cycle's steps from the restored file to the database: what is checked before
// the new file may take the database's place, the swap itself, and what follows it.

#include "cycle/BackupCycle.h"

#include "core/Text.h"
#include "cycle/CycleFiles.h"
#include "cycle/CycleUndo.h"
#include "cycle/CycleVerification.h"
#include "cycle/DatabaseControl.h"
#include "platform/DurableFile.h"
#include "session/DatabaseLocation.h"
#include "session/HeaderReport.h"
#include "session/JobSettings.h"
#include "session/ProgramLog.h"

namespace morvane {

namespace {

constexpr const char* RenameFailureText = "Le rename de la vieille bd ou de la nouvelle ne fonctionne pas.";

std::string JoinedDifferences(const std::vector<std::string>& differences)
{
    std::string text;
    for (const std::string& difference : differences)
        text += (text.empty() ? "" : "; ") + difference;
    return text;
}

} // namespace

StepEnd TBackupCycle::VerifyNewDatabase()
{
    CycleContext& c = *context_;
    std::vector<std::string> differences;
    StepReached("verification-started");
    try {
        if (c.oldSettings.readOnly.value_or(false))
            server_.SetReadOnly(c.paths.newConnection, true);
        RestoredDatabase restored;
        // The header as the server reports it, as the header report reads it.
        const std::vector<std::string> header = server_.HeaderLines(c.paths.newConnection);
        for (const std::string& line : header) {
            if (const auto value = ParseHeaderReport(line, HeaderKeyword::PageSize))
                restored.pageSize = StrToInt(value->text);
            else if (const auto buffers = ParseHeaderReport(line, HeaderKeyword::PageBuffers))
                restored.pageBuffers = buffers->number;
        }
        const AttachedReading attached = server_.ReadAttached(c.paths.newConnection, true);
        const RunReportDatabase attachedSettings = attached.settings.value_or(RunReportDatabase{});
        restored.contents.inactiveIndexes = attached.inactiveIndexes;
        DatabaseContents old{{}, c.oldInactiveIndexes};
        if (c.backupRan) {
            // Rows per table as the backup wrote them and the restore read them back.
            const TransferredRows rows = CompareTransfers(c.backupTally, c.restoreTally);
            restored.contents.rowCounts = rows.restored;
            old.rowCounts = rows.old;
            differences.insert(differences.end(), rows.problems.begin(), rows.problems.end());
            const std::vector<std::string> settings = SettingsDifferences(c.oldSettings, attachedSettings);
            differences.insert(differences.end(), settings.begin(), settings.end());
        } else {
            // A restore run alone has no backup of this run to compare with: what it
            // cannot know is said, and the rest is checked.
            restored.contents = old;
            ProgramLog("Nouvelle base " + c.paths.newDatabase +
                           ": lignes, index et réglages non comparés, pas de backup dans ce cycle",
                       5);
        }
        const std::vector<std::string> found =
            VerificationDifferences(PageSizeSetting(request_.pageSizeText), request_.pageBuffers, old, restored);
        differences.insert(differences.begin(), found.begin(), found.end());
        if (differences.empty())
            c.verifiedSettings = PreferHeaderValues(ReadHeaderSettings(header), attachedSettings);
    } catch (const std::exception& error) {
        differences.push_back(std::string("nouvelle base illisible: ") + error.what());
    }
    c.verificationFailure = JoinedDifferences(differences);
    if (c.verificationFailure.empty()) {
        ProgramLog("Nouvelle base vérifiée: " + c.paths.newDatabase, 200);
        return {};
    }
    ProgramLog("Vérification de la nouvelle base " + c.paths.newDatabase + ": " + c.verificationFailure, 1);
    // Kept under its own name for inspection; the old database stays in place.
    c.keepNewFile = true;
    view_.ProcessMessages();
    throw ECycleStepFailed(c.verificationFailure);
}

StepEnd TBackupCycle::CheckOldFileClosed()
{
    CycleContext& c = *context_;
    // The old file has been closed since its backup: nothing written into it can be
    // missing from the new one.
    std::string attributes;
    try {
        attributes = server_.Attributes(c.paths.movedConnection);
    } catch (const std::exception& error) {
        attributes = error.what();
    }
    if (attributes.find("full shutdown") != std::string::npos)
        return {};
    c.verificationFailure = "l'ancienne base n'est plus fermée depuis son backup (Attributes " + attributes + ")";
    ProgramLog("Vérification de la nouvelle base " + c.paths.newDatabase + ": " + c.verificationFailure, 1);
    c.keepNewFile = true;
    throw ECycleStepFailed(c.verificationFailure);
}

StepEnd TBackupCycle::CopyOwnerAndMode()
{
    const CycleContext& c = *context_;
    // What the site had set and the rebuild did not ask to change stays as it was:
    // the file's owner, group and mode.
    const std::string& old = c.movedBeforeBackup ? c.paths.rename : c.paths.database;
    if (std::string error; !c.newFileIdentity ||
                           !platform::CopyOwnerAndMode(old, c.paths.newDatabase, *c.newFileIdentity, error))
        ProgramLog("Propriétaire et droits de " + old + " non repris par la nouvelle base (" + error + ")", 5);
    return {};
}

StepEnd TBackupCycle::CopyShutdownState()
{
    CycleContext& c = *context_;
    // A maintenance shutdown the site had set is set on the new file before it takes
    // the path, so it is never open to all there.
    const fib::TShutdownMode mode = ShutdownModeOf(c.originalAttributes);
    if (mode == fib::TShutdownMode::Normal)
        return {};
    try {
        server_.Shutdown(c.paths.newConnection, mode, fib::TShutdownWait::Force);
    } catch (const std::exception& error) {
        c.verificationFailure =
            std::string("l'état d'arrêt de l'ancienne base n'a pas pu être repris (") + error.what() + ")";
        ProgramLog("Vérification de la nouvelle base " + c.paths.newDatabase + ": " + c.verificationFailure, 1);
        c.keepNewFile = true;
        throw ECycleStepFailed(c.verificationFailure);
    }
    return {};
}

StepEnd TBackupCycle::SyncNewFile()
{
    platform::SyncFile(context_->paths.newDatabase);
    return {};
}

StepEnd TBackupCycle::MoveOldFileAway()
{
    CycleContext& c = *context_;
    // The file at the rename path goes only when there is a database to take its place.
    if (request_.renameAfterRestore && FileExists(c.paths.rename) && FileExists(c.paths.database) &&
        !SameFile(c.paths.rename, c.paths.database))
        DeleteFileIfExists(c.paths.rename);
    if (!MoveFileNoReplace(c.paths.database, c.paths.rename)) {
        view_.ShowFailure(RenameFailureText, ExtractFolder(c.paths.database));
        view_.SetStatusColour(PanelColour::Failed);
        throw ECycleStepFailed(RenameFailureText);
    }
    c.movedBeforeBackup = true;
    return {};
}

bool TBackupCycle::MoveOldFileBack()
{
    CycleContext& c = *context_;
    return MoveFileBack(c.paths.database, c.paths.rename, c.OpenJournal(), JournalStep::MovedBack, "Base");
}

StepEnd TBackupCycle::Swap()
{
    CycleContext& c = *context_;
    // Only the file that was verified takes the database's place: a link or another
    // file put at its name meanwhile stays where it is.
    if (!c.newFileIdentity || platform::RegularFileIdentity(c.paths.newDatabase) != c.newFileIdentity) {
        const std::string text = "Le nouveau fichier " + c.paths.newDatabase +
                                 " n'est plus celui qui a été vérifié: il ne prend pas la place de la base";
        ProgramLog(text, 1);
        view_.ShowFailure(text, ExtractFolder(c.paths.database));
        view_.SetStatusColour(PanelColour::Failed);
        throw ECycleStepFailed(text);
    }
    if (!MoveFileNoReplace(c.paths.newDatabase, c.paths.database)) {
        // The new file stays under its own name; the old one goes back so the
        // database path is not left empty.
        c.keepNewFile = true;
        view_.ShowFailure(RenameFailureText, ExtractFolder(c.paths.database));
        view_.SetStatusColour(PanelColour::Failed);
        throw ECycleStepFailed(RenameFailureText);
    }
    // The restored database is online: clients find it at the path from now on.
    c.backAtPathAt = Now();
    return {};
}

StepEnd TBackupCycle::ShowNewHeader()
{
    CycleContext& c = *context_;
    // Freeing the backup file's blocks holds the file system up for a while: it is
    // done while the window shows the new database's header.
    if (c.backupRemoval)
        c.backupRemoval->Start();
    view_.RefreshHeader();
    view_.ProcessMessages();
    return {};
}

StepEnd TBackupCycle::OpenOldCopy()
{
    CycleContext& c = *context_;
    // The old copy is what the database was: open again, at a path no client uses.
    // It has been shut down since its backup, as checked before the swap.
    try {
        server_.BringOnlineFromShutdown(c.paths.movedConnection, ShutdownModeOf(c.originalAttributes));
    } catch (const std::exception& error) {
        ProgramLog("L'ancienne base " + c.paths.rename + " reste arrêtée: " + error.what(), 5);
    }
    return {};
}

StepEnd TBackupCycle::RemovePreviousCopy()
{
    DeleteFileIfExists(context_->paths.previous);
    return {};
}

} // namespace morvane
