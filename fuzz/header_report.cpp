// The header statistics report that the server's service prints, line by line.
#include "FuzzInput.h"
#include "core/Text.h"
#include "session/HeaderReport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    for (const std::string& line : SplitLines(fuzz::Text(data, size)))
        for (const HeaderKeyword keyword : HeaderKeywords)
            fuzz::ExpectingOurExceptions([&] { (void)ParseHeaderReport(line, keyword); });
    return 0;
}
