// GetAbsoluteFileName on names and base folders from configuration files, in both
// path styles.
#include "FuzzInput.h"
#include "global/Global_File.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    const std::vector<std::string> fields = fuzz::Fields(fuzz::Text(data, size));
    const std::string& name = fields[0];
    const std::string base = fields.size() > 1 ? fields[1] : "C:\\Calvenor\\Morvane";
    for (const PathStyle style : {PathStyle::Windows, PathStyle::Posix})
        fuzz::ExpectingOurExceptions([&] {
            const std::string absolute = GetAbsoluteFileName(name, base, style);
            // An absolute POSIX name starts at the root.
            if (style == PathStyle::Posix && (absolute.empty() || absolute[0] != '/'))
                __builtin_trap();
        });
    return 0;
}
