// The reply to the configuration query of Fetch.
#include "FuzzInput.h"
#include "fib/IB_ServicesBuffers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    fib::TConfigParams params;
    fuzz::ExpectingOurExceptions([&] { fib::DecodeConfigReply(fuzz::Bytes(data, size), params); });
    // Each key and value takes at least four bytes of the reply.
    if (params.ConfigFileData.ConfigKeys.size() * 4 > size)
        __builtin_trap();
    return 0;
}
