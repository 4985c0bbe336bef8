// The output of a request read in bulk: the reply as the server sends it, then its
// bytes cut into lines. However the same bytes are split into chunks, the lines are
// the same.
#include "FuzzInput.h"
#include "fib/IB_ServicesBuffers.h"
#include "fib/ServiceOutputLines.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> AllLines(morvane::fib::ServiceOutputLines& lines, std::vector<std::string> taken)
{
    if (auto last = lines.Finish())
        taken.push_back(*last);
    return taken;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvane;
    fuzz::ExpectingOurExceptions([&] {
        const fib::ServiceChunk chunk = fib::DecodeServiceChunk(fuzz::Bytes(data, size));
        // Only a reply without bytes ends the output: none is dropped at the end.
        if (chunk.Text.size() > size || (chunk.End && !chunk.Text.empty()))
            __builtin_trap();
        fib::ServiceOutputLines whole;
        const std::vector<std::string> once = AllLines(whole, whole.Feed(chunk.Text));
        // The same bytes in two chunks, cut where the first byte says.
        const std::size_t cut = size == 0 ? 0 : data[0] % (chunk.Text.size() + 1);
        fib::ServiceOutputLines split;
        std::vector<std::string> twice = split.Feed(std::string_view(chunk.Text).substr(0, cut));
        for (std::string& line : split.Feed(std::string_view(chunk.Text).substr(cut)))
            twice.push_back(std::move(line));
        if (AllLines(split, std::move(twice)) != once)
            __builtin_trap();
    });
    return 0;
}
