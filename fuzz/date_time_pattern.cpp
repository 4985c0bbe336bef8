// Date-time patterns from AppLogger.xml and ?FORMATDATE...? macros, and the C
// library's strftime formats the locale data is built from.
#include "FuzzInput.h"
#include "global/DateTimeFormat.h"

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    // Moments chosen by the first byte: ordinary, midnight, leap day, the epoch,
    // before the epoch, far years.
    static const std::array<TDateTime, 8> moments{
        EncodeDateTime(2026, 12, 10, 3, 44, 13, 250), EncodeDateTime(2024, 2, 29), EncodeDateTime(1899, 12, 30),
        EncodeDateTime(1800, 1, 1, 12), EncodeDateTime(9999, 12, 31, 23, 59, 59, 999), EncodeDateTime(1, 1, 1),
        EncodeDateTime(2000, 1, 1, 0, 0, 0, 1), -0.5};
    if (size == 0)
        return 0;
    const TDateTime moment = moments[data[0] % moments.size()];
    const std::string_view pattern = fuzz::Text(data + 1, size - 1);

    static const FormatSettings settings;
    fuzz::ExpectingOurExceptions([&] { (void)FormatDateTime(pattern, moment, settings); });
    fuzz::ExpectingOurExceptions([&] {
        const std::string converted = PatternFromStrftime(pattern, "/", ":");
        (void)FormatDateTime(converted, moment, settings);
    });
    return 0;
}
