// The cycle's steps that carry the data: the settings written, the backup of the
// old file, closing it for good, and the restore into the new file, with their
// progress.

#include "cycle/BackupCycle.h"

#include "core/Text.h"
#include "cycle/CycleFiles.h"
#include "cycle/CycleRefusals.h"
#include "cycle/RestoreFailure.h"
#include "platform/DurableFile.h"
#include "session/JobSettings.h"
#include "session/ProgramLog.h"

#include <algorithm>

namespace morvane {

namespace {

// How often the restored file's written pages are sent on to the disk.
constexpr std::chrono::milliseconds WriteBackInterval{500};

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

StepEnd TBackupCycle::WriteSettings()
{
    server_.WriteSettings(context_->backupSource, request_.settings,
                          [this](SettingItem item, bool done) { view_.MarkSetting(item, done); });
    return {};
}

StepEnd TBackupCycle::Backup()
{
    CycleContext& c = *context_;
    const std::string& backupName = c.paths.backupName;
    DeleteFileIfExists(c.paths.backup);
    c.backupRan = true;
    c.backupTally = TRecordTally(TransferKind::Backup);
    try {
        TransferProgress progress{"backup", c.paths.backup, &previous_.backup, previous_.rows.backup, 0, true};
        const auto requestStarted = [&] {
            StepReached("backup-started");
            view_.SetStatus("Début backup: " + backupName, PanelColour::Running);
            view_.ProcessMessages();
            progress.started = std::chrono::steady_clock::now();
        };
        // The backup's loop does not process the window's messages.
        const std::string errorText = server_.Backup(
            c.backupSource, c.paths.backup, requestStarted, [&](const std::string& line) { c.backupTally.Feed(line); },
            [&] { ShowStepProgress(progress, c.backupTally); });
        c.backupTally.Finish();
        c.backupTrace = EndStepProgress(progress, c.backupTally, errorText.empty());
        view_.EndProgress();
        view_.SetStatus("Fin backup: " + backupName, PanelColour::Idle);
        view_.ProcessMessages();
        if (!errorText.empty())
            throw Exception(errorText);
        // What the restore will check it reads: this file, as this backup left it.
        c.backupStamp = platform::RegularFileStamp(c.paths.backup);
        if (!c.backupStamp)
            throw Exception("le fichier de backup " + c.paths.backup + " n'est pas un fichier ordinaire");
        return {};
    } catch (const std::exception& error) {
        c.requestFailure = error.what();
        ProgramLog(std::string("Erreur Backup: ") + error.what(), 1);
    }
    DeleteFileIfExists(c.paths.backup);
    throw ECycleStepFailed(c.requestFailure);
}

StepEnd TBackupCycle::CloseAfterBackup()
{
    // Closed again for good: the backup holds everything the old file will ever
    // hold. The shutdown fails when anyone but the cycle is attached.
    try {
        server_.Shutdown(context_->paths.movedConnection, fib::TShutdownMode::Full, fib::TShutdownWait::Attachments);
    } catch (const std::exception& error) {
        throw Exception(OthersFoundRefusal("après le backup", {error.what()}));
    }
    return {};
}

StepEnd TBackupCycle::Restore()
{
    CycleContext& c = *context_;
    const std::string& backupName = c.paths.backupName;
    // A size typed in the box that the server would round up: the restore asks for
    // what it will get, and the log says so.
    bool pageSizeRoundedUp = false;
    const int pageSize = PageSizeSetting(request_.pageSizeText, &pageSizeRoundedUp);
    if (pageSizeRoundedUp)
        ProgramLog("Restore: " + PageSizeRoundedUpText(request_.pageSizeText), 5);
    // Only the backup this cycle wrote is restored: another file at its name (a
    // cycle of another database, a copy the site's batch file put there) never takes
    // this database's place.
    if (c.backupStamp && !BackupFileIsOwn()) {
        c.requestFailure = "le fichier de backup " + c.paths.backup +
                           " n'est plus celui que le backup de ce cycle a écrit: il n'est pas restauré";
        ProgramLog("Erreur Restore: " + c.requestFailure, 1);
        throw ECycleStepFailed(c.requestFailure);
    }
    DeleteFileIfExists(c.paths.newDatabase);
    c.restoreTally = TRecordTally(TransferKind::Restore);
    // The backup file goes whatever the restore's outcome, by the end of the cycle.
    c.backupRemoval.emplace(c.paths.backup);
    bool restored = false;
    try {
        // The restore reads back what this run's backup wrote, line for line; without
        // a backup in this run, the rows the last run restored.
        const bool backupRead = c.backupTally.LinesSeen() > 0;
        TransferProgress progress{"restore", c.paths.newDatabase, &previous_.restore,
                                  backupRead ? c.backupTally.RecordsSoFar() : previous_.rows.restore,
                                  backupRead ? static_cast<std::int64_t>(c.backupTally.LinesSeen()) : 0};
        TProgressThrottle writeBack(WriteBackInterval);
        const auto requestStarted = [&] {
            StepReached("restore-started");
            view_.SetStatus("Début restore: " + backupName, PanelColour::Running);
            view_.ProcessMessages();
            progress.started = std::chrono::steady_clock::now();
        };
        const std::string errorText = server_.Restore(
            c.paths.backup, c.paths.newConnection, pageSize, request_.pageBuffers, requestStarted,
            [&](const std::string& line) {
                c.restoreTally.Feed(line);
                view_.ProcessMessages();
            },
            [&] {
                ShowStepProgress(progress, c.restoreTally);
                // The new file goes to disk as the server writes it: its sync before the
                // swap has little left to wait for.
                if (writeBack.Due(std::chrono::steady_clock::now()))
                    platform::StartWriteBack(c.paths.newDatabase);
                view_.ProcessMessages();
            });
        c.restoreTally.Finish();
        c.restoreTrace = EndStepProgress(progress, c.restoreTally, errorText.empty());
        view_.EndProgress();
        if (!errorText.empty())
            throw Exception(errorText);
        // In the database's folder another user may write: what is there now is the
        // file the server wrote, and no link.
        c.newFileIdentity = platform::RegularFileIdentity(c.paths.newDatabase);
        restored = c.newFileIdentity.has_value();
        if (!restored)
            throw Exception("le fichier " + c.paths.newDatabase + " n'a pas été créé");
    } catch (const std::exception& error) {
        c.requestFailure = error.what();
        ProgramLog(std::string("Erreur Restore: ") + error.what(), 1);
    }
    view_.SetStatus("Fin restore: " + backupName, PanelColour::Idle);
    if (restored)
        return {};
    // A restore that failed leaves a partial file at best: it never takes the
    // database's place.
    DeleteFileIfExists(c.paths.newDatabase);
    c.backupRemoval.reset();
    view_.ProcessMessages();
    throw ECycleStepFailed(c.requestFailure);
}

std::string TBackupCycle::ExplainRestoreFailure() noexcept
{
    const CycleContext& c = *context_;
    std::string sentences;
    try {
        bool roundedUp = false;
        const int pageSize = PageSizeSetting(request_.pageSizeText, &roundedUp);
        for (const RestoreFailureCause& cause : RestoreFailureCauses(c.requestFailure)) {
            std::optional<CatalogueIndex> index;
            if (!cause.CatalogueName().empty()) {
                try {
                    index = server_.ReadCatalogueIndex(c.paths.databaseConnection, cause.CatalogueName());
                } catch (const std::exception& error) {
                    // The sentence then says what the server named, without the catalogue.
                    ProgramLog("Catalogue de la base non lu pour " + cause.CatalogueName() + ": " + error.what(), 5);
                }
            }
            sentences += (sentences.empty() ? "" : "\n") + RestoreFailureSentence(cause, index, pageSize);
        }
    } catch (const std::exception& error) {
        // The failure is reported with the server's lines all the same.
        ProgramLogQuietly(std::string("Cause du restore en échec non établie: ") + error.what(), 5);
    }
    return sentences;
}

bool TBackupCycle::BackupFileIsOwn() const
{
    const CycleContext& c = *context_;
    const std::optional<platform::FileStamp> now = platform::RegularFileStamp(c.paths.backup);
    if (!c.backupStamp || !now)
        return false;
    // The middle batch file may move the file away and back: then its size and the
    // time it was written still say it is the same backup.
    if (c.middleBatchRan)
        return now->size == c.backupStamp->size && now->modifiedNanoseconds == c.backupStamp->modifiedNanoseconds;
    return *now == *c.backupStamp;
}

bool TBackupCycle::RemoveNewFile()
{
    const CycleContext& c = *context_;
    // A new file that differs stays under its own name for inspection.
    if (!c.keepNewFile)
        DeleteFileIfExists(c.paths.newDatabase);
    return true;
}

void TBackupCycle::ShowStepProgress(TransferProgress& transfer, const TRecordTally& tally)
{
    const double elapsed = SecondsSince(transfer.started);
    transfer.request.Reply(elapsed, static_cast<std::int64_t>(tally.LinesSeen()), tally.RecordsSoFar());
    if (!transfer.throttle.Due(std::chrono::steady_clock::now()))
        return;
    const ProgressTrace& previous = *transfer.previous;
    const std::string& writtenFile = transfer.writtenFile;
    ProgressSample sample = transfer.request.Sample(elapsed);
    sample.recordsExpected = transfer.expectedRows;
    sample.linesExpected = transfer.expectedLines;
    // The table being written is not done yet.
    if (transfer.declaresTables) {
        sample.tablesExpected = static_cast<std::int64_t>(tally.Declared().size());
        sample.tablesDone = std::max<std::int64_t>(static_cast<std::int64_t>(tally.TablesStarted()) - 1, 0);
    }
    sample = SampleOfStep(sample, UsableTrace(previous), databaseBytes_, [&writtenFile] {
        return static_cast<std::int64_t>(platform::FileSize(writtenFile).value_or(0));
    });
    const ProgressEstimate estimate = EstimateProgress(sample, previous);
    view_.ShowProgress(transfer.step, estimate.fraction, elapsed, estimate.secondsLeft);
    // The log follows at each new percent: a line or two a second on a short step,
    // about a hundred on a long one.
    const int percent = static_cast<int>(estimate.fraction * 100);
    if (percent != transfer.loggedPercent) {
        transfer.loggedPercent = percent;
        ProgramLog(ProgressLogLine(transfer.step, estimate, elapsed), 200);
    }
}

ProgressTrace TBackupCycle::EndStepProgress(TransferProgress& transfer, const TRecordTally& tally, bool succeeded)
{
    const double elapsed = SecondsSince(transfer.started);
    ProgramLog(ProgressEndLogLine(transfer.step, elapsed), 200);
    if (!succeeded)
        return {};
    transfer.request.Finish(elapsed, static_cast<std::int64_t>(tally.LinesSeen()), tally.RecordsSoFar());
    return transfer.request.Trace();
}

std::vector<RunReportTable> TBackupCycle::TransferredTables() const
{
    const TransferredRows rows = CompareTransfers(context_->backupTally, context_->restoreTally);
    std::vector<RunReportTable> tables;
    for (const auto& [name, count] : rows.old) {
        const auto restored = rows.restored.find(name);
        tables.push_back({name, count,
                          restored == rows.restored.end() ? std::nullopt : std::optional<std::int64_t>(restored->second)});
    }
    for (const auto& [name, count] : rows.restored)
        if (rows.old.count(name) == 0)
            tables.push_back({name, std::nullopt, count});
    return tables;
}

} // namespace morvane
