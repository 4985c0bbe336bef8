// The program's command line: NAME=VALUE parameters and the names taken from the
// program's own path.
#include "FuzzInput.h"
#include "global/Global_Utils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    // NUL-separated arguments, as the system hands them over; argument 0 is kept
    // absolute so the program's path is never searched for along PATH.
    std::vector<std::string> arguments = fuzz::Fields(fuzz::Text(data, size));
    if (arguments[0].empty() || arguments[0][0] != '/')
        arguments[0].insert(0, "/opt/calvenor/");
    const std::string lastName = arguments.size() > 1 ? arguments.back().substr(0, arguments.back().find('=')) : "AUTO";
    SetCommandLine(arguments);

    fuzz::ExpectingOurExceptions([&] {
        (void)ApplicationTitle();
        (void)ApplicationKey();
        (void)ProgramFolder();
        (void)ParamsAsText(true);
        std::string value;
        const bool found = GetParamValue(lastName, value);
        // A parameter given on the line is always found again.
        if (arguments.size() > 1 && !found)
            __builtin_trap();
        (void)HasParam("DATABASEINI");
    });
    return 0;
}
