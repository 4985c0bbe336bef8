// The connection profile file (Database.ini) read as lines.
#include "FuzzInput.h"
#include "core/Text.h"
#include "database/Global_FIB.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    fuzz::ExpectingOurExceptions([&] {
        const ConnectionProfile profile = ParseConnectionProfile(SplitLines(fuzz::Text(data, size)));
        if (profile.DatabaseName.size() > size)
            __builtin_trap();
    });
    return 0;
}
