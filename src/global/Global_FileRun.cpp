// The command runner: a command's merged output, gathered chunk by chunk while
// the window is kept alive.

#include "global/Global_File.h"

#include "core/Exception.h"
#include "core/MessagePump.h"
#include "platform/ChildProcess.h"

#include <array>

namespace morvane {

namespace {
constexpr std::size_t ChunkSize = 1024;

bool EndsALine(const std::string& chunk)
{
    // CR LF as the Windows tools write, or LF alone as ours do.
    return !chunk.empty() && chunk.back() == '\n';
}
} // namespace

std::string QuoteShellArgument(std::string_view text)
{
    // Inside single quotes the shell takes every character as it is, except the
    // single quote itself, which is closed, escaped and reopened.
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string RunCmdLine(const std::string& command, const std::string& workingFolder, TStringList* lines)
{
    return RunCmdLine(command, workingFolder, lines, {});
}

std::string RunCmdLine(const std::string& command, const std::string& workingFolder, TStringList* lines,
                       const std::function<void(std::string_view chunk)>& onChunk)
{
    std::string result;
    bool join = false;
    platform::ChildProcess child(command, workingFolder);
    ProcessMessages();
    std::array<char, ChunkSize> buffer{};
    for (;;) {
        const auto read = child.Read(buffer);
        if (read.status == platform::ChildProcess::ReadStatus::EndOfOutput)
            break;
        if (read.status == platform::ChildProcess::ReadStatus::Failed)
            throw Exception("Global_File.RunCmdLine pipe read error");
        std::string chunk(buffer.data(), read.count);
        chunk.resize(chunk.find('\0') == std::string::npos ? chunk.size() : chunk.find('\0'));
        if (lines != nullptr) {
            lines->Add(chunk);
            if (join && lines->Count() >= 2) {
                (*lines)[lines->Count() - 2] += (*lines)[lines->Count() - 1];
                lines->Delete(lines->Count() - 1);
            }
            join = !EndsALine(chunk);
        }
        result += chunk;
        if (onChunk)
            onChunk(chunk);
        ProcessMessages();
    }
    return result;
}

} // namespace morvane
