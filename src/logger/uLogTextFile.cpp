#include "logger/uLogTextFile.h"

#include "core/Format.h"
#include "core/Text.h"
#include "global/Global_File.h"
#include "global/Global_Utils.h"
#include "platform/DurableFile.h"

#include <atomic>
#include <cstring>

namespace morvane {

void SetLogFileWriteFunction(LogFileWriteFunction function) noexcept { platform::SetTextFileWriteFunction(function); }

void RaiseInOutError(int errorCode, const std::string& fileName)
{
    throw EInOutError(FormatText("Erreur d'entrée/sortie %d sur \"%s\" : %s", errorCode, fileName,
                                 std::strerror(errorCode)),
                      errorCode);
}

int LogFileHandle::OpenForAppend(const std::string& fileName, bool create) noexcept
{
    return file_.OpenForAppend(fileName, create);
}

int LogFileHandle::OpenTruncated(const std::string& fileName) noexcept { return file_.OpenTruncated(fileName); }

void LogFileHandle::Write(std::string_view data, const std::string& fileName)
{
    if (const int error = file_.Write(data); error != 0)
        RaiseInOutError(error, fileName);
}

void LogFileHandle::Close(const std::string& fileName)
{
    if (const int error = file_.Close(); error != 0)
        RaiseInOutError(error, fileName);
}

void SwitchLogFile(std::string& current, const std::string& name, bool keepContents)
{
    if (SameText(name, current))
        return;
    const std::string absolute = GlobalFile().GetAbsoluteFileName(name, ProgramFolder());
    if (SameText(absolute, current))
        return;
    current = absolute;
    try {
        PrepareLogFile(current, keepContents);
    } catch (...) {
        current.clear();
        throw;
    }
}

void PrepareLogFile(const std::string& fileName, bool keepContents)
{
    LogFileHandle file;
    const int error = keepContents || LogFilesKeptAsTheyAre() ? file.OpenForAppend(fileName, true) : file.OpenTruncated(fileName);
    if (error != 0)
        RaiseInOutError(error, fileName);
    file.Close(fileName);
}

bool LogFileExists(const std::string& fileName) noexcept { return platform::TargetExists(fileName); }

namespace {
std::atomic<bool> keepLogFiles{false};
} // namespace

void KeepLogFilesAsTheyAre() noexcept { keepLogFiles = true; }
bool LogFilesKeptAsTheyAre() noexcept { return keepLogFiles; }

} // namespace morvane
