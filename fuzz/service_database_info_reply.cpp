// The reply to the attachments-and-databases query of FetchDatabaseInfo.
#include "FuzzInput.h"
#include "fib/IB_ServicesBuffers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    fib::TDatabaseInfo info;
    fuzz::ExpectingOurExceptions([&] { fib::DecodeDatabaseInfoReply(fuzz::Bytes(data, size), info); });
    // Each database name takes at least its item byte and a length.
    if (info.DatabaseNames.Count() * 3 > size)
        __builtin_trap();
    return 0;
}
