// The cycle's steps that take the database away from its path before the backup:
// the copy an earlier cycle left set aside, the file moved, opened again for the
// cycle alone, and nobody else attached right before the backup.

#include "cycle/BackupCycle.h"

#include "cycle/CycleFiles.h"
#include "cycle/CycleRefusals.h"
#include "cycle/CycleUndo.h"
#include "session/ProgramLog.h"

namespace morvane {

namespace {

// How often the old path of a moved database is tried until the server no longer
// reaches it there, and for how long at most: a server that goes on past that lets
// the attachments that land be seen and cut.
constexpr std::chrono::milliseconds OldPathProbeInterval{50};
constexpr std::chrono::milliseconds OldPathWaitLimit{3000};
// Rounds of cutting attachments that land on the moved file before the cycle gives up.
constexpr int MovedFileRounds = 5;

} // namespace

StepEnd TBackupCycle::SetPreviousCopyAside()
{
    CycleContext& c = *context_;
    // The checks found nothing there; a file that appeared since (the batch before
    // the backup, another program) may not be replaced either: it is left as it is.
    if (!request_.renameBeforeBackup && !request_.renameAfterRestore)
        throw ECycleRefused("un fichier est apparu au chemin de renommage " + c.paths.rename +
                                " depuis les vérifications, et ni « Before Backup » ni « After Restore » n'est coché: "
                                "il est laissé tel quel et le cycle s'arrête",
                            CycleStage::Backup);
    // Not the database's move: the copy an earlier cycle left is what could not move.
    if (!MoveFileNoReplace(c.paths.rename, c.paths.previous))
        throw Exception("La copie laissée au chemin de renommage par un cycle précédent n'a pas pu être mise de "
                        "côté: " + c.paths.rename + " => " + c.paths.previous + "; la base n'a pas été déplacée");
    c.previousSetAside = true;
    return {};
}

bool TBackupCycle::PutPreviousCopyBack()
{
    CycleContext& c = *context_;
    return MoveFileBack(c.paths.rename, c.paths.previous, c.OpenJournal(), JournalStep::PreviousPutBack,
                        "Copie précédente");
}

StepEnd TBackupCycle::MoveBeforeBackup()
{
    CycleContext& c = *context_;
    if (!MoveFileNoReplace(c.paths.database, c.paths.rename))
        throw Exception("Rename avant backup a échoué:" + c.paths.database + " => " + c.paths.rename);
    c.movedBeforeBackup = true;
    c.backupSource = c.paths.movedConnection;
    server_.NameDatabase(c.paths.movedConnection);
    return {};
}

bool TBackupCycle::MoveDatabaseBack()
{
    CycleContext& c = *context_;
    if (!MoveFileBack(c.paths.database, c.paths.rename, c.OpenJournal(), JournalStep::MovedBack, "Base"))
        return false;
    c.movedBeforeBackup = false;
    try {
        server_.NameDatabase(request_.dbFile);
    } catch (const std::exception& error) {
        ProgramLogQuietly(error.what(), 1);
    }
    return true;
}

StepEnd TBackupCycle::OpenMovedFile()
{
    CycleContext& c = *context_;
    // Only the administrator may attach now, and only the cycle knows where. But
    // while the server still holds the database open under its old path (an
    // attachment it is refusing, one of the cycle's own requests), a client that
    // asks for that path reaches the moved file: it is opened again only once the
    // old path leads nowhere. An attachment that lands all the same is cut, and
    // everything it committed is in the file the backup is about to read.
    for (int round = 1;; ++round) {
        const auto waited =
            server_.WaitUntilUnreached(c.paths.databaseConnection, OldPathProbeInterval, OldPathWaitLimit);
        if (waited.count() > 0)
            ProgramLog("Base encore ouverte sous son ancien chemin: " + std::to_string(waited.count()) +
                           " ms d'attente",
                       200);
        server_.BringOnline(c.paths.movedConnection, fib::TShutdownMode::Multi);
        // Without settings to write, nothing changes the old database before its
        // backup: what it must keep is read with the same attachment.
        const AttachedReading reading = server_.ReadAttached(c.paths.movedConnection, !request_.writeSettings);
        if (reading.others.empty()) {
            if (reading.settings) {
                c.oldSettings = *reading.settings;
                c.oldInactiveIndexes = reading.inactiveIndexes;
                c.keptRead = true;
            }
            return {};
        }
        if (round == MovedFileRounds)
            throw Exception(OthersFoundRefusal("après son déplacement", reading.others));
        ProgramLog("Connexion arrivée pendant le déplacement de la base, coupée: " + OthersText(reading.others), 5);
        server_.Shutdown(c.paths.movedConnection, fib::TShutdownMode::Full, fib::TShutdownWait::Force);
    }
}

StepEnd TBackupCycle::CheckBeforeBackup()
{
    CycleContext& c = *context_;
    // Nobody else attached right before the backup, and what the rebuilt database
    // keeps read after the settings were written.
    const AttachedReading reading = server_.ReadAttached(c.backupSource, true);
    if (!reading.others.empty())
        throw Exception(OthersFoundRefusal("avant le backup", reading.others));
    c.oldSettings = reading.settings.value_or(RunReportDatabase{});
    c.oldInactiveIndexes = reading.inactiveIndexes;
    c.keptRead = true;
    return {};
}

} // namespace morvane
