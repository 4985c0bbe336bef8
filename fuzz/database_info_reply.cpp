// Database information replies: integer items and the attached user names.
#include "FuzzInput.h"
#include "fib/FIBDatabaseInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    const auto reply = fuzz::Bytes(data, size);
    fuzz::ExpectingOurExceptions([&] {
        (void)fib::VaxInteger(reply);
        (void)fib::DecodeInfoInt(reply);
        (void)fib::DecodeInfoItem(reply, size > 0 ? data[0] : 0);
        (void)fib::DecodeInfoItem(reply, 28);
        const TStringList names = fib::DecodeUserNames(reply);
        std::size_t total = 0;
        for (std::size_t i = 0; i < names.Count(); ++i)
            total += names[i].size() + 2;
        // Every name came out of the reply with its item and length bytes.
        if (total > size)
            __builtin_trap();
    });
    return 0;
}
