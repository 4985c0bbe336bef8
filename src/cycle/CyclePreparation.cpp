// The cycle's steps before anything moves: its checks, the site's batch files, the
// workstations sent away and the shutdown.

#include "cycle/BackupCycle.h"

#include "core/ChunkLines.h"
#include "core/Text.h"
#include "core/TextList.h"
#include "cycle/CycleFiles.h"
#include "cycle/CycleRefusals.h"
#include "cycle/CycleLock.h"
#include "cycle/CyclePreflight.h"
#include "cycle/CycleUndo.h"
#include "cycle/DatabaseControl.h"
#include "global/Global_File.h"
#include "global/Global_Utils.h"
#include "platform/DurableFile.h"
#include "platform/FileLock.h"
#include "session/ProgramLog.h"

namespace morvane {


StepEnd TBackupCycle::Preflight()
{
    CycleContext& c = *context_;
    // Before the lock, which is named after the file: a name that leads to no file of
    // this machine names no lock either.
    if (const auto refusal = DatabaseNameRefusal(request_.dbFile, c.paths.named, c.paths.database))
        throw ECycleRefused(*refusal, CycleStage::Preflight);
    CycleLockAttempt attempt = TryHoldCycleLock(c.paths.database);
    if (!attempt.hold)
        throw ECycleRefused(CycleLockRefusal(c.paths.database, attempt.holder), CycleStage::AlreadyRunning);
    c.lock = std::move(attempt.hold);
    TakeSharedFiles();
    PreflightInput input{c.paths.database, request_.backupFolder, c.paths.rename,
                         request_.renameBeforeBackup || request_.renameAfterRestore, request_.refusedSetting,
                         c.paths.named};
    if (const auto refusal = PreflightRefusal(input, hooks_.freeSpace))
        throw ECycleRefused(*refusal, CycleStage::Preflight);
    return {};
}

void TBackupCycle::TakeSharedFiles()
{
    CycleContext& c = *context_;
    bool told = false;
    std::string busy;
    std::string holder;
    // Between two tries the window goes on; a stop request ends the wait. The next
    // try comes as soon as the other cycle lets go of the file, a second at most.
    const auto pause = [&] {
        if (!told) {
            ProgramLog("Le fichier " + busy + " sert à un autre cycle Morvane (" + holder +
                           "): ce cycle attend sa fin avant de commencer",
                       5);
            told = true;
        }
        if (hooks_.stopRequested())
            throw ECycleInterrupted("Cycle interrompu par une demande d'arrêt pendant l'attente du fichier " + busy +
                                    ": rien n'a été touché");
        platform::WaitUntilLockFree(SharedFileLockPath(busy), std::chrono::seconds(1));
    };
    c.sharedFiles.emplace(pause);
    if (!c.sharedFiles->Take({c.paths.backup, c.paths.rename, c.paths.previous}, hooks_.sharedFileWait, busy, holder))
        throw ECycleRefused(SharedFileBusyRefusal(busy, holder, hooks_.sharedFileWait), CycleStage::SharedFileBusy);
    if (told)
        ProgramLog("Le fichier " + busy + " est libre: le cycle commence", 5);
}

StepEnd TBackupCycle::CheckDatabase()
{
    CycleContext& c = *context_;
    RunReportDatabase before;
    const DatabaseFacts facts = server_.Facts(c.paths.databaseConnection, request_.forceDisconnection, before);
    before.sizeBytes = platform::FileSize(c.paths.database);
    if (report_ != nullptr) {
        report_->SetBefore(before);
        // Online still, before the cut: the reading adds nothing to the downtime.
        report_->SetHealthBefore(server_.ReadHealth(c.paths.databaseConnection, c.paths.database,
                                                    request_.healthTables));
    }
    c.beforeRead = true;
    c.originalAttributes = facts.attributes;
    c.noWorkstationRequest = WorkstationRequestUnavailable(facts);
    if (const auto refusal = DatabaseRefusal(request_.dbFile, facts))
        throw ECycleRefused(refusal->message,
                            refusal->disconnection ? CycleStage::Disconnection : CycleStage::Preflight);
    return {};
}

StepEnd TBackupCycle::BatchBeforeBackup()
{
    // From here the site's services are stopped: the batch after the restore runs
    // however the cycle ends.
    context_->servicesStopped = true;
    if (request_.batchBeforeBackup.empty())
        return {StepOutcome::Skipped, {}};
    RunBatchFile(request_.batchBeforeBackup);
    return {};
}

StepEnd TBackupCycle::SendWorkstationsAway()
{
    const CycleContext& c = *context_;
    if (request_.forceDisconnection && c.noWorkstationRequest) {
        // Nobody else attached: nothing to ask. Somebody attached: they are cut,
        // after the grace the running transactions get.
        const std::vector<std::string> others = server_.ForeignAttachments(c.paths.databaseConnection);
        if (others.empty())
            return {StepOutcome::Skipped, "personne d'autre n'est connecté"};
        ProgramLog("Pas de demande de déconnexion aux postes: " + *c.noWorkstationRequest + ". Connectés: " +
                       OthersText(others) + "; la base sera arrêtée, les transactions en cours ayant " +
                       std::to_string(request_.transactionGrace) + " s pour se terminer",
                   5);
        return {StepOutcome::Skipped, *c.noWorkstationRequest};
    }
    if (request_.forceDisconnection) {
        server_.SendWorkstationsAway(request_.dbFile, request_.unattended, [this](const std::string& line) {
            view_.AppendLine(line);
            ProgramLog(line, 200);
        });
    } else if (const std::vector<std::string> others = server_.ForeignAttachments(c.paths.databaseConnection);
               !others.empty()) {
        throw Exception(OthersAttachedRefusal(request_.dbFile, others));
    }
    return {};
}

StepEnd TBackupCycle::ShutDown()
{
    CycleContext& c = *context_;
    c.cutStartedAt = Now();
    try {
        if (request_.forceDisconnection)
            CutAfterGrace();
        else
            server_.Shutdown(c.paths.databaseConnection, fib::TShutdownMode::Full, fib::TShutdownWait::Attachments);
    } catch (const std::exception& error) {
        if (request_.forceDisconnection)
            throw;
        // Someone attached between the look and the shutdown: nothing was cut.
        throw Exception(OthersAttachedRefusal(request_.dbFile, {error.what()}));
    }
    c.shutDown = true;
    const std::string line = "Base arrêtée pour le cycle (shutdown full) : " + request_.dbFile + " => Attributes " +
                             server_.Attributes(c.paths.databaseConnection);
    view_.AppendLine(line);
    ProgramLog(line, 200);
    return {StepOutcome::Ok, "shutdown full"};
}

void TBackupCycle::CutAfterGrace()
{
    const CycleContext& c = *context_;
    // A client committing right now keeps what it commits: new transactions are
    // refused, the running ones get the grace to end, then everyone is cut. One
    // still running after it is cut with the rest (its work is rolled back).
    if (request_.transactionGrace > 0 && !server_.ForeignAttachments(c.paths.databaseConnection).empty()) {
        try {
            server_.ShutdownAfterTransactions(c.paths.databaseConnection, fib::TShutdownMode::Full,
                                              request_.transactionGrace);
            return;
        } catch (const std::exception& error) {
            ProgramLog("Transactions encore en cours après " + std::to_string(request_.transactionGrace) +
                           " s de grâce, elles sont coupées: " + OneLineText(error.what()),
                       5);
        }
    }
    server_.Shutdown(c.paths.databaseConnection, fib::TShutdownMode::Full, fib::TShutdownWait::Force);
}

bool TBackupCycle::BringBackOnlineAsItWas()
{
    CycleContext& c = *context_;
    // Back to the state the site had set: online, or a maintenance shutdown.
    const fib::TShutdownMode original = ShutdownModeOf(c.originalAttributes);
    BackOnlineRequest request;
    request.databaseName = request_.dbFile;
    request.databasePath = c.paths.database;
    request.online = [&] { server_.BringOnline(c.paths.databaseConnection, original); };
    request.attributes = [&] { return server_.Attributes(c.paths.databaseConnection); };
    request.backAsItWas = [original](const std::string& attributes) { return ShutdownModeOf(attributes) == original; };
    request.pauseBeforeRetry = [this] { server_.PauseBeforeRetry(); };
    return BringBackOnline(request, c.OpenJournal());
}

StepEnd TBackupCycle::BatchAfterBackup()
{
    if (request_.batchAfterBackup.empty())
        return {StepOutcome::Skipped, {}};
    context_->middleBatchRan = true;
    RunBatchFile(request_.batchAfterBackup);
    return {};
}

StepEnd TBackupCycle::BatchAfterRestore()
{
    if (request_.batchAfterRestore.empty())
        return {StepOutcome::Skipped, {}};
    RunBatchFile(request_.batchAfterRestore);
    return {};
}

void TBackupCycle::RunBatchFile(const std::string& batchFile)
{
    // A missing or failing batch file is no error: the shell's complaint is its output.
    // Each line reaches the report area and the log as soon as it is complete, so a
    // batch file that waits shows what it did before it waits.
    TChunkLines lines;
    const auto show = [&](const std::string& line) {
        view_.AppendLine(line);
        ProgramLog(batchFile + " : " + line, 200);
    };
    TStringList chunks;
    RunCmdLine(BatchCommandLine(batchFile, ProgramFolder()), ProgramFolder(), &chunks, [&](std::string_view chunk) {
        for (const std::string& line : lines.Feed(chunk))
            show(line);
    });
    if (const std::optional<std::string> last = lines.Finish())
        show(*last);
}

} // namespace morvane
