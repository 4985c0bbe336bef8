#pragma once
// Text that arrives in chunks (a child process's output), cut into the lines that
// SplitLines gives of the whole text, each as soon as its end has arrived.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

class TChunkLines {
public:
    // The lines this chunk ends (at CR LF, LF or CR), in order.
    std::vector<std::string> Feed(std::string_view chunk);
    // The text is over: its last line, when it had no line end.
    std::optional<std::string> Finish();

private:
    std::string partial_;
    // The last chunk ended with CR: a LF that starts the next one ends no line.
    bool afterCarriageReturn_{false};
};

} // namespace morvane
