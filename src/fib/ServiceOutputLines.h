#pragma once
// A request's output read in bulk, cut back into the lines the line-by-line read
// gives: the server gives a line read alone with its line feed replaced by a blank,
// so each line here ends with that blank too, and consumers see the same text
// whichever way the output was read. Pure, for any chunking of the same bytes.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::fib {

class ServiceOutputLines {
public:
    // The lines this chunk completes, in order.
    std::vector<std::string> Feed(std::string_view chunk);
    // The output is over: the last line, when it had no line feed.
    std::optional<std::string> Finish();

private:
    std::string partial_;
};

} // namespace morvane::fib
