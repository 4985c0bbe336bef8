#include "cycle/CycleJournal.h"

#include "core/Exception.h"
#include "global/Global_Utils.h"
#include "cycle/CycleFiles.h"
#include "platform/DurableFile.h"
#include "cycle/CycleState.h"
#include "platform/FileLock.h"
#include "platform/PrivateFolder.h"

#include <array>

namespace morvane {

namespace {

constexpr std::string_view Signature = "MORVANE JOURNAL 1";
constexpr std::array<JournalStep, 11> Steps{
    JournalStep::MovedBeforeBackup, JournalStep::RestoreVerified, JournalStep::OldFileMoved,
    JournalStep::NewFileMoved,      JournalStep::MovedBack,       JournalStep::ShutDown,
    JournalStep::BackOnline,        JournalStep::PreviousSetAside, JournalStep::PreviousPutBack,
    JournalStep::ReadOnlySet,       JournalStep::ReadWriteBack};
// A journal holds a few lines; anything longer is not one of ours.
constexpr std::size_t MaxEntries = 32;

bool StartsWith(std::string_view text, std::string_view head) { return text.substr(0, head.size()) == head; }

[[noreturn]] void Refuse(const std::string& what) { throw Exception("Journal du cycle illisible: " + what); }

} // namespace

std::string_view JournalStepName(JournalStep step)
{
    switch (step) {
    case JournalStep::MovedBeforeBackup: return "moved-before-backup";
    case JournalStep::RestoreVerified: return "restore-verified";
    case JournalStep::OldFileMoved: return "old-file-moved";
    case JournalStep::NewFileMoved: return "new-file-moved";
    case JournalStep::MovedBack: return "moved-back";
    case JournalStep::ShutDown: return "shut-down";
    case JournalStep::BackOnline: return "back-online";
    case JournalStep::PreviousSetAside: return "previous-set-aside";
    case JournalStep::PreviousPutBack: return "previous-put-back";
    case JournalStep::ReadOnlySet: return "read-only-set";
    case JournalStep::ReadWriteBack: return "read-write-back";
    }
    return "";
}

bool JournalState::Has(JournalStep step, bool done) const
{
    for (const Entry& entry : entries)
        if (entry.step == step && (entry.done || !done))
            return true;
    return false;
}

std::string JournalText(const JournalState& state)
{
    std::string text(Signature);
    text += "\ndatabase=" + state.databasePath + "\nrename=" + state.renamePath + "\nnew=" + state.newPath + "\n";
    for (const JournalState::Entry& entry : state.entries)
        text += std::string(entry.done ? "done " : "begin ") + std::string(JournalStepName(entry.step)) + "\n";
    return text;
}

JournalState ParseJournal(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty())
            lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    if (lines.size() < 4 || lines[0] != Signature)
        Refuse("en-tête absent");
    if (lines.size() > 4 + MaxEntries)
        Refuse("trop de lignes");

    JournalState state;
    const std::array<std::pair<std::string_view, std::string*>, 3> paths{
        {{"database=", &state.databasePath}, {"rename=", &state.renamePath}, {"new=", &state.newPath}}};
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!StartsWith(lines[i + 1], paths[i].first))
            Refuse("ligne " + std::to_string(i + 2) + " inattendue");
        *paths[i].second = std::string(lines[i + 1].substr(paths[i].first.size()));
    }
    if (state.databasePath.empty())
        Refuse("chemin de la base vide");

    for (std::size_t i = 4; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const bool done = StartsWith(line, "done ");
        if (!done && !StartsWith(line, "begin "))
            Refuse("ligne " + std::to_string(i + 1) + " inattendue");
        const std::string_view name = line.substr(done ? 5 : 6);
        bool known = false;
        for (JournalStep step : Steps)
            if (JournalStepName(step) == name) {
                state.entries.push_back({step, done});
                known = true;
            }
        if (!known)
            Refuse("étape inconnue " + std::string(name));
    }
    return state;
}

JournalRecovery DecideRecovery(const JournalState& state, const std::function<bool(const std::string&)>& exists)
{
    using Action = JournalRecovery::Action;
    if (exists(state.databasePath))
        return {Action::Nothing, {}, {}};
    if (state.Has(JournalStep::RestoreVerified, true) && exists(state.newPath))
        return {Action::MoveNewIn, state.newPath, state.databasePath};
    const bool oldMoved =
        state.Has(JournalStep::MovedBeforeBackup, false) || state.Has(JournalStep::OldFileMoved, false);
    if (oldMoved && exists(state.renamePath))
        return {Action::MoveOldBack, state.renamePath, state.databasePath};
    return {Action::Unresolved, {}, {}};
}

bool RecoveryBringsOnline(const JournalState& state)
{
    return state.Has(JournalStep::ShutDown, false) && !state.Has(JournalStep::BackOnline, true) &&
           !state.Has(JournalStep::NewFileMoved, true);
}

bool RecoveryPutsReadWriteBack(const JournalState& state)
{
    return state.Has(JournalStep::ReadOnlySet, false) && !state.Has(JournalStep::ReadWriteBack, true) &&
           !state.Has(JournalStep::NewFileMoved, true);
}

JournalRecovery DecidePreviousCopy(const JournalState& state, const std::function<bool(const std::string&)>& exists)
{
    using Action = JournalRecovery::Action;
    const std::string previous = PreviousCopyPath(state.renamePath);
    if (!state.Has(JournalStep::PreviousSetAside, false) || state.Has(JournalStep::PreviousPutBack, true) ||
        state.Has(JournalStep::NewFileMoved, true) || !exists(previous) || exists(state.renamePath))
        return {Action::Nothing, {}, {}};
    return {Action::MoveOldBack, previous, state.renamePath};
}

std::string PreviousCopyPath(const std::string& renamePath) { return renamePath + ".morvane-precedent"; }

TCycleJournal::TCycleJournal(std::string journalPath, std::string databasePath, std::string renamePath,
                             std::string newPath)
    : path_(std::move(journalPath))
{
    for (const std::string* text : {&databasePath, &renamePath, &newPath})
        if (text->find_first_of("\r\n") != std::string::npos)
            throw Exception("Journal du cycle: un chemin contient un saut de ligne: " + *text);
    state_.databasePath = std::move(databasePath);
    state_.renamePath = std::move(renamePath);
    state_.newPath = std::move(newPath);
    Write();
}

TCycleJournal::~TCycleJournal()
{
    if (open_)
        Finish();
}

void TCycleJournal::Record(JournalStep step, bool done)
{
    // The renames this line reports must be on disk before the line says so.
    if (done) {
        platform::SyncFolderOf(state_.databasePath);
        platform::SyncFolderOf(state_.renamePath);
    }
    state_.entries.push_back({step, done});
    Write();
}

bool TCycleJournal::Finish() noexcept
{
    if (!FileExists(state_.databasePath) || RecoveryBringsOnline(state_) || RecoveryPutsReadWriteBack(state_))
        return false;
    open_ = false;
    platform::SyncFolderOf(state_.databasePath);
    platform::SyncFolderOf(state_.renamePath);
    if (!DeleteFileIfExists(path_))
        return false;
    platform::SyncFolderOf(path_);
    return true;
}

void TCycleJournal::Write()
{
    // A whole new text renamed over the old one: a crash leaves either journal, never half of one.
    platform::WriteFileDurably(path_, JournalText(state_), 0600);
}

std::string CycleJournalPath(const std::string& databasePath) { return CycleStateFolder(databasePath) + "/journal"; }

std::vector<std::string> LegacyCycleJournalPaths(const std::string& databasePath)
{
    return {platform::CanonicalFilePath(databasePath) + ".morvane-journal", ProgramFolder() + "morvane-cycle.journal"};
}

std::optional<std::string> UntrustedJournalReason(const JournalFile& file, const ExpectedJournalPaths& expected)
{
    if (file.isLink)
        return std::string("c'est un lien symbolique");
    if (!file.regular)
        return std::string("ce n'est pas un fichier ordinaire");
    if (!file.ownedByRunUser)
        return std::string("il n'appartient pas à l'utilisateur du programme");
    if (file.writableByOthers)
        return std::string("d'autres utilisateurs peuvent l'écrire");
    JournalState state;
    try {
        state = ParseJournal(file.text);
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
    const auto differs = [](const char* what, const std::string& named, const std::string& own) {
        return std::string("il nomme ") + what + " " + named + " au lieu de " + own;
    };
    if (state.databasePath != expected.databasePath)
        return differs("la base", state.databasePath, expected.databasePath);
    if (state.renamePath != expected.renamePath)
        return differs("le chemin de renommage", state.renamePath, expected.renamePath);
    if (state.newPath != expected.newPath)
        return differs("le nouveau fichier", state.newPath, expected.newPath);
    return std::nullopt;
}

std::optional<std::string> ResolveLeftJournal(const std::string& journalPath,
                                              const std::function<void(const std::string&)>& log,
                                              const std::function<void(const std::string&)>& bringOnline,
                                              const ExpectedJournalPaths* foreignFolder,
                                              const std::function<void(const std::string&)>& putReadWriteBack)
{
    bool isLink = false;
    const std::optional<platform::OwnFileText> read = platform::ReadFileWithoutFollowing(journalPath, isLink);
    if (!read && !isLink)
        return std::nullopt;
    JournalFile file;
    file.isLink = isLink;
    if (read) {
        file.text = read->text;
        file.regular = read->regular;
        file.ownedByRunUser = read->ownedByRunUser;
        file.writableByOthers = read->writableByOthers;
    }
    // Beside the database another user may have written it: it is acted on only when
    // it is the run's own and names only this database's own paths.
    if (foreignFolder != nullptr) {
        if (const std::optional<std::string> reason = UntrustedJournalReason(file, *foreignFolder))
            return "Journal du cycle non pris en compte: " + journalPath + " (" + *reason +
                   "): le programme s'arrête sans rien toucher et le laisse à l'administrateur";
    }
    const JournalState state = ParseJournal(file.text);
    log("Cycle interrompu trouvé (journal " + journalPath + ") pour la base " + state.databasePath);

    const JournalRecovery recovery = DecideRecovery(state, [](const std::string& path) { return FileExists(path); });
    switch (recovery.action) {
    case JournalRecovery::Action::Nothing:
        log("La base de données est à sa place: " + state.databasePath);
        break;
    case JournalRecovery::Action::MoveNewIn:
    case JournalRecovery::Action::MoveOldBack:
        if (!MoveFileNoReplace(recovery.from, recovery.to))
            return "Cycle interrompu: la base n'a pas pu être remise à sa place (" + recovery.from + " => " +
                   recovery.to + "), le journal " + journalPath + " est conservé";
        platform::SyncFolderOf(recovery.to);
        log(std::string(recovery.action == JournalRecovery::Action::MoveNewIn
                            ? "Nouvelle base vérifiée mise à sa place: "
                            : "Ancienne base remise à sa place: ") +
            recovery.from + " => " + recovery.to);
        break;
    case JournalRecovery::Action::Unresolved:
        return "Cycle interrompu: aucune base à remettre à sa place pour " + state.databasePath + ", le journal " +
               journalPath + " est conservé";
    }
    // The verified new file took the path: the old copy at the rename path is opened
    // again, as the cycle would have done after its swap.
    // A cycle that kept the database readable switched it to read-only: the old copy
    // goes back to read-write too.
    const auto& openAgain = putReadWriteBack && state.Has(JournalStep::ReadOnlySet, false) ? putReadWriteBack
                                                                                           : bringOnline;
    if (recovery.action == JournalRecovery::Action::MoveNewIn && state.Has(JournalStep::ShutDown, false)) {
        try {
            openAgain(state.renamePath);
            log("Ancienne base remise en ligne: " + state.renamePath);
        } catch (const std::exception& error) {
            log("L'ancienne base " + state.renamePath + " reste arrêtée: " + error.what());
        }
    }
    // The cycle switched the database to read-only for its readers and was stopped
    // before it could switch it back: online and read-write, from whatever level.
    if (RecoveryPutsReadWriteBack(state)) {
        try {
            (putReadWriteBack ? putReadWriteBack : bringOnline)(state.databasePath);
        } catch (const std::exception& error) {
            return "Cycle interrompu: la base " + state.databasePath +
                   " n'a pas pu être remise en ligne en lecture-écriture (" + error.what() + "), le journal " +
                   journalPath + " est conservé";
        }
        log("Base remise en ligne en lecture-écriture: " + state.databasePath);
    }
    // The cycle shut the database down and was stopped before it could bring it back.
    if (RecoveryBringsOnline(state)) {
        try {
            bringOnline(state.databasePath);
        } catch (const std::exception& error) {
            return "Cycle interrompu: la base " + state.databasePath + " n'a pas pu être remise en ligne (" +
                   error.what() + "), le journal " + journalPath + " est conservé";
        }
        log("Base remise en ligne: " + state.databasePath);
    }
    const JournalRecovery previous =
        DecidePreviousCopy(state, [](const std::string& path) { return FileExists(path); });
    if (previous.action == JournalRecovery::Action::MoveOldBack) {
        if (MoveFileNoReplace(previous.from, previous.to))
            log("Copie précédente remise à sa place: " + previous.from + " => " + previous.to);
        else
            log("La copie précédente n'a pas pu être remise à sa place: " + previous.from + " => " + previous.to);
    } else if (state.Has(JournalStep::PreviousSetAside, true) && FileExists(PreviousCopyPath(state.renamePath))) {
        log("Copie précédente laissée sous le nom " + PreviousCopyPath(state.renamePath));
    }
    if (!DeleteFileIfExists(journalPath))
        return "Cycle interrompu: le journal " + journalPath + " n'a pas pu être effacé";
    platform::SyncFolderOf(journalPath);
    log("Journal du cycle effacé: " + journalPath);
    return std::nullopt;
}

} // namespace morvane
