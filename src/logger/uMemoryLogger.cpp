#include "logger/uMemoryLogger.h"

#include "core/Text.h"
#include "global/Global_File.h"
#include "global/Global_Utils.h"
#include "logger/uLogTextFile.h"

#include <cstdio>

namespace morvane {

std::string MemoryLoggerBatchText(const std::deque<std::string>& lines)
{
    std::size_t size = 1;
    for (const auto& line : lines)
        size += line.size() + 1;
    std::string text;
    text.reserve(size);
    bool first = true;
    for (const auto& line : lines) {
        if (!first)
            text += '\n';
        text += line;
        first = false;
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32)
        text.pop_back();
    text += '\n';
    return text;
}

TMemoryLogger::TMemoryLogger(std::uint8_t niveauMax, std::int32_t logSpecifique, const TStringList* params,
                             bool insertTime, std::string formatDateTime, bool insertNiveauLog)
    : TLogger(niveauMax, logSpecifique, params, insertTime, std::move(formatDateTime), insertNiveauLog)
{
    if (params == nullptr)
        return;
    std::string fileName;
    ForEachLoggerParam(params, [&](std::string_view name, const std::string& value) {
        if (name == "MaxLigne") {
            if (!TryStrToInt(value, maxLigne_))
                throw Exception("MemoryLogger : Paramètre MaxLigne doit être un entier");
        } else if (name == "FileName") {
            fileMask_ = value;
            fileName = GlobalFile().ExpandMacros(fileMask_, nameHasDate_);
        } else if (name == "DoAppend") {
            doAppend_ = LoggerParamIsTrue(value);
        } else if (name == "DumpType") {
            mode_ = value == "Buffer" ? DumpMode::Buffer : DumpMode::Ring;
        } else if (name == "NiveauDump") {
            niveauDump_ = StrToInt(value);
        }
    });
    SetFileName(fileName);
}

TMemoryLogger::~TMemoryLogger()
{
    // The application logger destroys its loggers after its writer has ended, so no
    // LogMessage can be running; the lock still orders this last batch after the
    // batches of any thread that logged directly, whatever that thread did since.
    std::lock_guard guard(OutputLock());
    if (mode_ != DumpMode::Buffer || buffer_.empty())
        return;
    try {
        WriteBatch();
    } catch (const std::exception& error) {
        // A destructor must not throw: the operator learns of the lost batch here instead.
        std::fprintf(stderr, "TMemoryLogger : dernier lot non écrit (%zu lignes) dans \"%s\" : %s\n",
                     buffer_.size(), currentFileName_.c_str(), error.what());
    }
}

std::size_t TMemoryLogger::BufferedLineCount() const
{
    std::lock_guard guard(OutputLock());
    return buffer_.size();
}

std::string TMemoryLogger::CurrentFileName() const
{
    std::lock_guard guard(OutputLock());
    return currentFileName_;
}

void TMemoryLogger::SetFileName(const std::string& name)
{
    std::lock_guard guard(OutputLock());
    SwitchFile(name);
}

void TMemoryLogger::SwitchFile(const std::string& name) { SwitchLogFile(currentFileName_, name, doAppend_); }

void TMemoryLogger::DumpToFile()
{
    std::lock_guard guard(OutputLock());
    WriteBatch();
}

void TMemoryLogger::WriteBatch()
{
    if (currentFileName_.empty())
        return;
    if (nameHasDate_)
        SwitchFile(GlobalFile().ExpandMacros(fileMask_, nameHasDate_));
    const std::string text = MemoryLoggerBatchText(buffer_);
    try {
        LogFileHandle file;
        const int error = file.OpenForAppend(currentFileName_, false);
        if (error != 0)
            RaiseInOutError(error, currentFileName_);
        file.Write(text, currentFileName_);
        file.Close(currentFileName_);
        return;
    } catch (const EInOutError&) {
        // The file has gone, is held, or refused the batch: one more try, creating it
        // when missing. A write that failed half-way leaves its part, so the batch
        // may then stand partly twice in the file; that beats losing it.
    }
    LogFileHandle file;
    const int error = file.OpenForAppend(currentFileName_, true);
    if (error != 0)
        RaiseInOutError(error, currentFileName_);
    file.Write(text, currentFileName_);
    file.Close(currentFileName_);
}

void TMemoryLogger::DoLog(const std::string& line)
{
    buffer_.push_back(line);
    // A ring smaller than one line would have to drop more lines than it holds.
    const long long limit = mode_ == DumpMode::Ring && maxLigne_ < 1 ? 1 : maxLigne_;
    const long long excess = static_cast<long long>(buffer_.size()) - limit;
    if (mode_ == DumpMode::Ring && excess > 0)
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(excess));
    const bool dump = mode_ == DumpMode::Buffer ? excess >= 0 : static_cast<int>(LastLevel()) <= niveauDump_;
    if (dump) {
        WriteBatch();
        buffer_.clear();
    }
}

} // namespace morvane
