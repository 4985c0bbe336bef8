// The verbose output of a backup or a restore, as the service sends it line by line.
#include "FuzzInput.h"
#include "cycle/RecordCounts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    const std::string_view text = fuzz::Text(data, size);
    for (const TransferKind kind : {TransferKind::Backup, TransferKind::Restore}) {
        const TRecordTally tally = TallyRecordOutput(text, kind);
        // Counts are digits only: never negative, and the rows so far are their sum.
        std::int64_t sum = 0;
        for (const auto& [table, count] : tally.Counts()) {
            if (table.empty() || count < 0)
                __builtin_trap();
            sum += count;
        }
        if (sum != tally.RecordsSoFar())
            __builtin_trap();
        const TransferredRows rows = CompareTransfers(tally, tally);
        if (rows.restored.size() < rows.old.size())
            __builtin_trap();
    }
    return 0;
}
