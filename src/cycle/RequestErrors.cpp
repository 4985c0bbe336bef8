#include "cycle/RequestErrors.h"

#include "fib/ServiceOutputLines.h"

#include "core/Text.h"
#include "cycle/CycleFiles.h"
#include "fib/fib.h"

namespace morvane {

void TRequestErrors::Feed(std::string_view line)
{
    std::string text = Trim(line);
    if (text.empty())
        return;
    if (!IsServiceErrorLine(text)) {
        // Each index that cannot be built is named before its errors, also when
        // another one failed first.
        if (!lines_.empty() && text.find("cannot commit index ") != std::string::npos)
            lines_.push_back(text);
        lastOutputLine_ = std::move(text);
        return;
    }
    // The line before the first error says what failed ("cannot commit index ...").
    if (lines_.empty() && !lastOutputLine_.empty())
        lines_.push_back(lastOutputLine_);
    lines_.push_back(std::move(text));
}

void TRequestErrors::AddEndMessage(std::string_view message)
{
    // The server does not always send its output before ending a request; its last
    // line received then says where the request stopped.
    if (lines_.empty() && !lastOutputLine_.empty())
        lines_.push_back(lastOutputLine_);
    std::size_t start = 0;
    while (start <= message.size()) {
        const std::size_t end = message.find('\n', start);
        const std::string_view piece =
            message.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (std::string text = Trim(piece); !text.empty())
            lines_.push_back(std::move(text));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
}

std::string TRequestErrors::Text() const
{
    std::string text;
    for (const std::string& line : lines_)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

std::string ReadRequestOutputInBulk(const std::function<bool()>& eof, const std::function<std::string()>& nextChunk,
                                    const std::function<void(const std::string&)>& onLine,
                                    const std::function<void()>& onChunk)
{
    TRequestErrors errors;
    fib::ServiceOutputLines lines;
    const auto take = [&](const std::string& line) {
        errors.Feed(line);
        if (onLine)
            onLine(line);
    };
    try {
        while (!eof()) {
            for (const std::string& line : lines.Feed(nextChunk()))
                take(line);
            if (onChunk)
                onChunk();
        }
    } catch (const fib::EFIBError& error) {
        if (const std::optional<std::string> last = lines.Finish())
            take(*last);
        errors.AddEndMessage(error.ServerMessage().empty() ? std::string(error.what()) : error.ServerMessage());
        return errors.Text();
    }
    if (const std::optional<std::string> last = lines.Finish())
        take(*last);
    return errors.Text();
}

std::string ReadRequestOutput(const std::function<bool()>& eof, const std::function<std::string()>& nextLine,
                              const std::function<void(const std::string&)>& onLine)
{
    TRequestErrors errors;
    try {
        while (!eof()) {
            const std::string line = nextLine();
            errors.Feed(line);
            if (onLine)
                onLine(line);
        }
    } catch (const fib::EFIBError& error) {
        errors.AddEndMessage(error.ServerMessage().empty() ? std::string(error.what()) : error.ServerMessage());
    }
    return errors.Text();
}

} // namespace morvane
