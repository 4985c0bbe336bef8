// The swap journal as start-up reads it back: the one file a run as root acts on
// that lies in a folder another user may write.
#include "FuzzInput.h"
#include "cycle/CycleJournal.h"

namespace {

bool SameState(const morvane::JournalState& a, const morvane::JournalState& b)
{
    if (a.databasePath != b.databasePath || a.renamePath != b.renamePath || a.newPath != b.newPath ||
        a.entries.size() != b.entries.size())
        return false;
    for (std::size_t i = 0; i < a.entries.size(); ++i)
        if (a.entries[i].step != b.entries[i].step || a.entries[i].done != b.entries[i].done)
            return false;
    return true;
}

// A move start-up may make: from a file that is there, to a path that is free.
void CheckMove(const morvane::JournalRecovery& recovery, const std::function<bool(const std::string&)>& exists)
{
    if (recovery.action != morvane::JournalRecovery::Action::MoveNewIn &&
        recovery.action != morvane::JournalRecovery::Action::MoveOldBack)
        return;
    if (recovery.from.empty() || recovery.to.empty() || !exists(recovery.from) || exists(recovery.to))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    fuzz::ExpectingOurExceptions([&] {
        const JournalState state = ParseJournal(fuzz::Text(data, size));
        // What was read is written back the same way and reads back the same.
        if (!SameState(ParseJournal(JournalText(state)), state))
            __builtin_trap();
        const std::string paths[] = {state.databasePath, state.renamePath, state.newPath,
                                     PreviousCopyPath(state.renamePath)};
        // Every combination of the four files being there or not.
        for (unsigned present = 0; present < 16; ++present) {
            const auto exists = [&](const std::string& path) {
                for (unsigned i = 0; i < 4; ++i)
                    if ((present & (1u << i)) != 0 && path == paths[i])
                        return true;
                return false;
            };
            const JournalRecovery recovery = DecideRecovery(state, exists);
            CheckMove(recovery, exists);
            if (recovery.action != JournalRecovery::Action::Nothing && recovery.action != JournalRecovery::Action::Unresolved &&
                recovery.to != state.databasePath)
                __builtin_trap();
            CheckMove(DecidePreviousCopy(state, exists), exists);
            (void)RecoveryBringsOnline(state);
        }
    });
    return 0;
}
