#pragma once
// What a backup or restore request said when it failed, in the order the server said
// it: the output line that names what the request was doing, its error lines, then
// the message the request ended with. A busy server may end the request before it
// has sent its last output lines: the last one it did send stands first then.

#include <string>
#include <string_view>
#include <vector>

namespace morvane {

class TRequestErrors {
public:
    // One line of the request's output, as it arrives.
    void Feed(std::string_view line);
    // The message the server ended the request with: one line per CR LF or LF.
    void AddEndMessage(std::string_view message);

    bool Empty() const noexcept { return lines_.empty(); }
    const std::vector<std::string>& Lines() const noexcept { return lines_; }
    // The lines joined by line feeds, as the log and the failure dialog show them.
    std::string Text() const;

private:
    std::string lastOutputLine_;
    std::vector<std::string> lines_;
};

} // namespace morvane

#include <functional>

namespace morvane {

// Reads a request's output to its end, which is what waits for the server: every
// line goes to onLine, and what the request said when it failed comes back in the
// server's order (empty when it succeeded). An error of the server that ends the
// request is its end message: its own lines, not the SQL code's general text.
std::string ReadRequestOutput(const std::function<bool()>& eof, const std::function<std::string()>& nextLine,
                              const std::function<void(const std::string&)>& onLine);

// The same, the output read in bulk: each chunk cut into the lines the line-by-line
// read would give (a line cut between two chunks is put together), in the same order.
// onChunk is told once each chunk's lines are through, an empty chunk too.
std::string ReadRequestOutputInBulk(const std::function<bool()>& eof, const std::function<std::string()>& nextChunk,
                                    const std::function<void(const std::string&)>& onLine,
                                    const std::function<void()>& onChunk = {});

} // namespace morvane
