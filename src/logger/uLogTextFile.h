#pragma once
// The file operations the file and memory loggers share: a line file is opened,
// written and closed each time, so nothing stays open between lines.

#include "core/Exception.h"
#include "platform/TextFile.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace morvane {

// A failed file operation; the message names the file and the system's reason.
class EInOutError : public Exception {
public:
    EInOutError(std::string message, int errorCode) : Exception(std::move(message)), errorCode_(errorCode) {}
    int ErrorCode() const noexcept { return errorCode_; }
    std::string ClassName() const override { return "EInOutError"; }

private:
    int errorCode_;
};

[[noreturn]] void RaiseInOutError(int errorCode, const std::string& fileName);

// A log file open for one visit, closed when the object goes; failures are raised
// as EInOutError naming the file.
class LogFileHandle {
public:
    LogFileHandle() = default;
    LogFileHandle(const LogFileHandle&) = delete;
    LogFileHandle& operator=(const LogFileHandle&) = delete;

    // Opens for appending (creating the file when `create`); returns 0 or the errno.
    int OpenForAppend(const std::string& fileName, bool create) noexcept;
    // Opens for writing, created empty or truncated; returns 0 or the errno.
    int OpenTruncated(const std::string& fileName) noexcept;
    bool IsOpen() const noexcept { return file_.IsOpen(); }

    // Writes everything or raises EInOutError.
    void Write(std::string_view data, const std::string& fileName);
    // Closes and raises EInOutError when the system reports a late write failure.
    void Close(const std::string& fileName);

private:
    platform::TextFile file_;
};

// Makes the file exist for a logger that has just switched to it: kept as it is
// when `keepContents` and it exists, otherwise created empty. Raises EInOutError.
void PrepareLogFile(const std::string& fileName, bool keepContents);

// Switches a logger from `current` to the file `name` (made absolute against the
// program's folder) and prepares it; a name of the current file changes nothing.
// When preparing fails, the logger is left without a file and the error passes on.
void SwitchLogFile(std::string& current, const std::string& name, bool keepContents);

bool LogFileExists(const std::string& fileName) noexcept;

// For a run that only reads (morvane --health) beside the night's log: from now on
// every log file is appended to, never emptied, and none is renamed at start.
void KeepLogFilesAsTheyAre() noexcept;
bool LogFilesKeptAsTheyAre() noexcept;

// The system call LogFileHandle::Write makes. Tests replace it to make a write fail
// the way a full or failing disk does; nullptr restores ::write.
using LogFileWriteFunction = std::ptrdiff_t (*)(int fd, const void* data, std::size_t size);
void SetLogFileWriteFunction(LogFileWriteFunction function) noexcept;

} // namespace morvane
