// File-name templates with ?...? macros (log file names, command-line values).
#include "FuzzInput.h"
#include "core/DateTime.h"
#include "global/Global_File.h"
#include "global/Global_Utils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    // The first field is the template, the others are command-line parameters that
    // ?PARAMSTR=...? may name (and which may hold macros of their own).
    const std::vector<std::string> fields = fuzz::Fields(fuzz::Text(data, size));
    std::vector<std::string> arguments{"/opt/calvenor/morvane"};
    arguments.insert(arguments.end(), fields.begin() + 1, fields.end());
    SetCommandLine(arguments);

    static const TDateTime moment = EncodeDateTime(2026, 12, 31, 23, 59, 59, 999);
    const ScopedClock clock([] { return moment; });
    fuzz::ExpectingOurExceptions([&] {
        TDateTime nextChange = 0;
        (void)GlobalFile().ExpandMacros(fields[0], nextChange);
        // A text that depends on the date changes after the moment it was made, never before.
        if (nextChange < moment)
            __builtin_trap();
    });
    return 0;
}
