// Parameter lines an administrator writes (connection profile, transaction
// settings, service parameters, backup file lists) turned into client buffers.
#include "FuzzInput.h"
#include "core/Text.h"
#include "fib/FIBDatabaseDpb.h"
#include "fib/IB_ServicesBuffers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    const std::string_view text = fuzz::Text(data, size);
    TStringList lines;
    lines.SetText(text);

    TStringList dpb = lines;
    fuzz::ExpectingOurExceptions([&] { (void)fib::BuildDpb(dpb); });
    TStringList tpb = lines;
    fuzz::ExpectingOurExceptions([&] { (void)fib::BuildTpb(tpb); });
    fuzz::ExpectingOurExceptions([&] { (void)fib::BuildAttachBuffer(lines); });
    for (const std::string& line : SplitLines(text))
        fuzz::ExpectingOurExceptions([&] { (void)fib::ParseFileListLine(line); });
    return 0;
}
