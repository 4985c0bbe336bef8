// The reply to a service line query, as the server sends it.
#include "FuzzInput.h"
#include "fib/IB_ServicesBuffers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    fuzz::ExpectingOurExceptions([&] {
        const fib::ServiceLine line = fib::DecodeServiceLine(fuzz::Bytes(data, size));
        // The line can never be longer than the reply that carried it.
        if (line.Text.size() > size)
            __builtin_trap();
    });
    return 0;
}
