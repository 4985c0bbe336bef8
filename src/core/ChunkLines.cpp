#include "core/ChunkLines.h"

namespace morvane {

std::vector<std::string> TChunkLines::Feed(std::string_view chunk)
{
    std::vector<std::string> lines;
    if (!chunk.empty()) {
        if (afterCarriageReturn_ && chunk.front() == '\n')
            chunk.remove_prefix(1);
        afterCarriageReturn_ = false;
    }
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        const char c = chunk[i];
        if (c != '\r' && c != '\n') {
            partial_ += c;
            continue;
        }
        lines.push_back(std::move(partial_));
        partial_.clear();
        if (c == '\r') {
            if (i + 1 == chunk.size())
                afterCarriageReturn_ = true;
            else if (chunk[i + 1] == '\n')
                ++i;
        }
    }
    return lines;
}

std::optional<std::string> TChunkLines::Finish()
{
    afterCarriageReturn_ = false;
    if (partial_.empty())
        return std::nullopt;
    std::string last = std::move(partial_);
    partial_.clear();
    return last;
}

} // namespace morvane
