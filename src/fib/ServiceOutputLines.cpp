#include "fib/ServiceOutputLines.h"

namespace morvane::fib {

std::vector<std::string> ServiceOutputLines::Feed(std::string_view chunk)
{
    std::vector<std::string> lines;
    for (std::size_t end = chunk.find('\n'); end != std::string_view::npos; end = chunk.find('\n')) {
        partial_.append(chunk.substr(0, end));
        partial_ += ' ';
        lines.push_back(std::move(partial_));
        partial_.clear();
        chunk.remove_prefix(end + 1);
    }
    partial_.append(chunk);
    return lines;
}

std::optional<std::string> ServiceOutputLines::Finish()
{
    if (partial_.empty())
        return std::nullopt;
    std::string last = std::move(partial_);
    partial_.clear();
    return last;
}

} // namespace morvane::fib
