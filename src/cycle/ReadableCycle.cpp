// The cycle that keeps the database readable: it stays at its path, switched to
// read-only, while it is backed up and restored, so readers go on reading and
// writers are refused ("attempted update on read-only database") instead of cut for
// the whole rebuild. Readers are cut twice for a second or two: for the switch,
// which needs the database to itself, and for the swap.

#include "cycle/BackupCycle.h"

#include "cycle/CycleFiles.h"
#include "cycle/CycleSteps.h"
#include "cycle/DatabaseControl.h"
#include "global/Global_Utils.h"
#include "session/ProgramLog.h"

#include <chrono>
#include <thread>

namespace morvane {

namespace {

// Between a refused request and the next look at the header: readers that
// re-attach at once make the server refuse now and then.
constexpr std::chrono::milliseconds StatePause{150};

} // namespace

// The same runner and, where they fit, the same steps as the cycle that takes the
// database away; what differs is where the old file is until the swap.
std::vector<CycleStepDefinition> TBackupCycle::ReadableCycleSteps()
{
    CycleContext& c = *context_;
    using S = CycleStep;
    using G = CycleStage;
    const auto step = [this](auto function) { return [this, function] { return (this->*function)(); }; };
    const auto readWriteBefore = [&c] { return !StateOfAttributes(c.originalAttributes).readOnly; };
    // The backup reads the database at its path, where the readers are.
    c.backupSource = c.paths.databaseConnection;
    return {
        {.key = "preflight", .reportLine = S::Preflight, .stage = G::Preflight, .run = step(&TBackupCycle::Preflight)},
        {.key = "database-checks", .reportLine = S::DatabaseChecks, .stage = G::Preflight,
         .run = step(&TBackupCycle::CheckDatabase)},
        {.key = "batch-before-backup", .reportLine = S::BatchBeforeBackup, .stage = G::Preparation,
         .run = step(&TBackupCycle::BatchBeforeBackup)},
        // A read-only database refuses these settings: they are written while it is not.
        {.key = "settings-write", .reportLine = S::SettingsWrite, .stage = G::Backup,
         .when = [&c] { return c.request.writeSettings; }, .run = step(&TBackupCycle::WriteSettings)},
        // The workstations finish their writes before the cut, as in the other cycle.
        {.key = "disconnection", .reportLine = S::Disconnection, .stage = G::Disconnection,
         .run = step(&TBackupCycle::SendWorkstationsAway)},
        // From here no write reaches the database: what the backup reads is all there is.
        {.key = "read-only-set", .reportLine = S::Disconnection, .stage = G::Disconnection,
         .journal = JournalStep::ReadOnlySet, .when = readWriteBefore, .run = step(&TBackupCycle::SwitchToReadOnly),
         .undo = step(&TBackupCycle::PutReadWriteBack)},
        {.key = "before-backup-check", .reportLine = S::Backup, .stage = G::Backup,
         .run = step(&TBackupCycle::ReadKeptSettings)},
        {.key = "backup", .reportLine = S::Backup, .stage = G::Backup, .leavesUndone = "backup en échec",
         .run = step(&TBackupCycle::Backup), .undo = [&c] { return DeleteFileIfExists(c.paths.backup), true; }},
        {.key = "batch-after-backup", .reportLine = S::BatchAfterBackup, .stage = G::Backup, .afterFailure = true,
         .when = [&c] { return c.backupRan; }, .run = step(&TBackupCycle::BatchAfterBackup)},
        {.key = "restore", .reportLine = S::Restore, .stage = G::Restore, .leavesUndone = "restore en échec",
         .run = step(&TBackupCycle::Restore), .undo = step(&TBackupCycle::RemoveNewFile)},
        {.key = "verification", .reportLine = S::Verification, .stage = G::Restore,
         .leavesUndone = "nouvelle base différente", .run = step(&TBackupCycle::VerifyNewDatabase)},
        {.key = "old-file-read-only", .reportLine = S::Verification, .stage = G::Restore,
         .leavesUndone = "ancienne base rouverte en écriture", .run = step(&TBackupCycle::CheckStillReadOnly)},
        {.key = "owner-copied", .reportLine = S::Verification, .stage = G::Restore,
         .run = step(&TBackupCycle::CopyOwnerAndMode)},
        {.key = "shutdown-state-copied", .reportLine = S::Verification, .stage = G::Restore,
         .leavesUndone = "état d'arrêt non repris", .run = step(&TBackupCycle::CopyShutdownState)},
        {.key = "restore-verified", .reportLine = S::Verification, .stage = G::Restore,
         .journal = JournalStep::RestoreVerified, .journalDoneOnly = true, .run = step(&TBackupCycle::SyncNewFile)},
        // The second cut: the old file closed for good, then the two renames.
        {.key = "shut-down", .reportLine = S::Swap, .stage = G::Swap, .journal = JournalStep::ShutDown,
         .run = step(&TBackupCycle::CutForSwap), .undo = step(&TBackupCycle::PutStateBack)},
        {.key = "previous-set-aside", .reportLine = S::Swap, .stage = G::Swap,
         .journal = JournalStep::PreviousSetAside, .when = [&c] { return FileExists(c.paths.rename); },
         .run = step(&TBackupCycle::SetPreviousCopyAside), .undo = step(&TBackupCycle::PutPreviousCopyBack)},
        {.key = "old-file-moved", .reportLine = S::Swap, .stage = G::Swap, .journal = JournalStep::OldFileMoved,
         .run = step(&TBackupCycle::MoveOldFileAway), .undo = step(&TBackupCycle::MoveOldFileBack)},
        // The commit point: from here the rebuilt database is the database.
        {.key = "new-file-moved", .reportLine = S::Swap, .stage = G::Swap, .journal = JournalStep::NewFileMoved,
         .commitPoint = true, .run = step(&TBackupCycle::Swap)},
        {.key = "header-shown", .reportLine = S::Swap, .stage = G::Swap, .run = step(&TBackupCycle::ShowNewHeader)},
        {.key = "old-copy-opened", .reportLine = S::Swap, .stage = G::Swap,
         .run = step(&TBackupCycle::OpenOldCopyAsItWas)},
        {.key = "previous-copy-removed", .reportLine = S::Swap, .stage = G::Swap,
         .when = [&c] { return c.previousSetAside; }, .run = step(&TBackupCycle::RemovePreviousCopy)},
    };
}

StateOutcome TBackupCycle::DriveState(const std::string& connection, const DatabaseState& wanted, bool force,
                                      StateRequestTimes* times)
{
    // Clients are cut from the first request on, not while the header is read, and
    // may attach again once the last one has been answered.
    const auto request = [times](const std::function<void()>& call) {
        if (times != nullptr && !times->first)
            times->first = Now();
        try {
            call();
        } catch (const std::exception&) {
            // A refusal is an answer too; the header read next says what it did.
            if (times != nullptr)
                times->lastAnswered = Now();
            throw;
        }
        if (times != nullptr)
            times->lastAnswered = Now();
    };
    StateRequests requests;
    requests.attributes = [&] { return server_.Attributes(connection); };
    requests.shutdown = [&](fib::TShutdownMode mode) {
        request([&] {
            server_.Shutdown(connection, mode, force ? fib::TShutdownWait::Force : fib::TShutdownWait::Attachments);
        });
    };
    requests.online = [&](fib::TShutdownMode mode) {
        request([&] { server_.BringOnlineFromShutdown(connection, mode); });
    };
    requests.access = [&](bool readOnly) { request([&] { server_.SetReadOnly(connection, readOnly); }); };
    requests.pause = [] { std::this_thread::sleep_for(StatePause); };
    return DriveDatabaseState(requests, wanted);
}

namespace {

std::string OutcomeText(const StateOutcome& outcome)
{
    return "Attributes " + outcome.attributes + (outcome.lastError.empty() ? std::string() : ": " + outcome.lastError);
}

} // namespace

StepEnd TBackupCycle::SwitchToReadOnly()
{
    CycleContext& c = *context_;
    // The switch needs the database to itself: a multi-user shutdown cuts everyone,
    // the access mode changes, and it is open to all again.
    DatabaseState wanted = StateOfAttributes(c.originalAttributes);
    wanted.readOnly = true;
    StateRequestTimes cut;
    const StateOutcome outcome = DriveState(c.paths.databaseConnection, wanted, request_.forceDisconnection, &cut);
    // Readers were cut until it was open again or, when it was not, until here: a
    // failure's undo counts its own cut.
    c.cutStartedAt = cut.first.value_or(Now());
    c.readCutsMs +=
        MillisecondsBetween(*c.cutStartedAt, outcome.reached ? cut.lastAnswered.value_or(Now()) : Now());
    if (!outcome.reached)
        throw Exception("La base " + request_.dbFile + " n'a pas pu passer en lecture seule (" +
                        OutcomeText(outcome) + ")");
    const std::string line = "Base en lecture seule pour le cycle, ouverte aux lecteurs : " + request_.dbFile +
                             " => Attributes " + outcome.attributes + " (" + std::to_string(outcome.requests) +
                             " demandes, coupure " + std::to_string(c.readCutsMs) + " ms)";
    view_.AppendLine(line);
    ProgramLog(line, 200);
    return {StepOutcome::Ok, "lecture seule"};
}

bool TBackupCycle::PutReadWriteBack()
{
    CycleContext& c = *context_;
    DatabaseState wanted = StateOfAttributes(c.originalAttributes);
    wanted.readOnly = false;
    // The swap's undo may have put it back already: nothing is cut then.
    StateRequestTimes cut;
    const StateOutcome outcome = DriveState(c.paths.databaseConnection, wanted, true, &cut);
    if (cut.first)
        c.readCutsMs += MillisecondsBetween(*cut.first, cut.lastAnswered.value_or(Now()));
    if (!outcome.reached) {
        ProgramLogQuietly("La base " + request_.dbFile + " n'a pas pu être remise en lecture-écriture (" +
                              OutcomeText(outcome) + ")",
                          1);
        return false;
    }
    ProgramLogQuietly("Base remise en ligne en lecture-écriture après l'échec du cycle : " + request_.dbFile +
                          " => Attributes " + outcome.attributes,
                      1);
    JournalQuietly(c.OpenJournal(), JournalStep::ReadWriteBack, true);
    return true;
}

StepEnd TBackupCycle::ReadKeptSettings()
{
    CycleContext& c = *context_;
    const std::string line = "La base reste à sa place et lisible jusqu'au swap (GarderLectureClients) : " +
                             c.paths.database + " n'est renommée en " + c.paths.rename + " qu'après le restore";
    view_.AppendLine(line);
    ProgramLog(line, 5);
    // Readers are welcome: only what the rebuilt database keeps is read. Its access
    // mode is the one it had before the cycle switched it.
    const AttachedReading reading = server_.ReadAttached(c.paths.databaseConnection, true);
    c.oldSettings = reading.settings.value_or(RunReportDatabase{});
    c.oldSettings.readOnly = StateOfAttributes(c.originalAttributes).readOnly;
    c.oldInactiveIndexes = reading.inactiveIndexes;
    c.keptRead = true;
    return {};
}

StepEnd TBackupCycle::CheckStillReadOnly()
{
    CycleContext& c = *context_;
    // Read-only since its backup: nothing written into it can be missing from the new one.
    std::string attributes;
    try {
        attributes = server_.Attributes(c.paths.databaseConnection);
    } catch (const std::exception& error) {
        attributes = error.what();
    }
    if (StateOfAttributes(attributes).readOnly)
        return {};
    c.verificationFailure = "l'ancienne base n'est plus en lecture seule depuis son backup (Attributes " + attributes +
                            ")";
    ProgramLog("Vérification de la nouvelle base " + c.paths.newDatabase + ": " + c.verificationFailure, 1);
    c.keepNewFile = true;
    throw ECycleStepFailed(c.verificationFailure);
}

StepEnd TBackupCycle::CutForSwap()
{
    CycleContext& c = *context_;
    // Readers only are attached: cutting them loses nothing.
    StateRequestTimes cut;
    const StateOutcome outcome =
        DriveState(c.paths.databaseConnection, DatabaseState{fib::TShutdownMode::Full, true}, true, &cut);
    c.swapCutStartedAt = cut.first.value_or(Now());
    if (!c.cutStartedAt)
        c.cutStartedAt = c.swapCutStartedAt;
    if (!outcome.reached)
        throw Exception("La base " + request_.dbFile + " n'a pas pu être arrêtée pour le swap (" +
                        OutcomeText(outcome) + ")");
    c.shutDown = true;
    ProgramLog("Base arrêtée pour le swap (shutdown full) : " + request_.dbFile + " => Attributes " +
                   outcome.attributes + " (" + std::to_string(outcome.requests) + " demandes, " +
                   std::to_string(MillisecondsBetween(*c.swapCutStartedAt, Now())) + " ms)",
               200);
    return {StepOutcome::Ok, "shutdown full"};
}

bool TBackupCycle::PutStateBack()
{
    CycleContext& c = *context_;
    if (!FileExists(c.paths.database)) {
        ProgramLogQuietly("La base " + request_.dbFile + " n'est pas à sa place: elle n'a pas été remise en ligne", 1);
        return false;
    }
    // As the site had it: its shutdown level and its access mode before the cycle.
    StateRequestTimes back;
    const StateOutcome outcome =
        DriveState(c.paths.databaseConnection, StateOfAttributes(c.originalAttributes), true, &back);
    if (c.swapCutStartedAt) {
        c.readCutsMs += MillisecondsBetween(*c.swapCutStartedAt, back.lastAnswered.value_or(Now()));
        c.swapCutStartedAt.reset();
    }
    if (!outcome.reached) {
        ProgramLogQuietly("La base " + request_.dbFile + " n'a pas pu être remise en ligne (" + OutcomeText(outcome) +
                              ")",
                          1);
        return false;
    }
    ProgramLogQuietly("Base remise en ligne après l'échec du cycle : " + request_.dbFile + " => Attributes " +
                          outcome.attributes,
                      1);
    JournalQuietly(c.OpenJournal(), JournalStep::BackOnline, true);
    if (!StateOfAttributes(c.originalAttributes).readOnly)
        JournalQuietly(c.OpenJournal(), JournalStep::ReadWriteBack, true);
    return true;
}

StepEnd TBackupCycle::OpenOldCopyAsItWas()
{
    CycleContext& c = *context_;
    // The old copy is what the database was: open again, with the access mode it had,
    // at a path no client uses.
    const StateOutcome outcome = DriveState(c.paths.movedConnection, StateOfAttributes(c.originalAttributes), true);
    if (!outcome.reached)
        ProgramLog("L'ancienne base " + c.paths.rename + " reste dans l'état " + OutcomeText(outcome), 5);
    return {};
}

} // namespace morvane
