#include "logger/uFileLogger.h"

#include "core/Format.h"
#include "core/Text.h"
#include "global/Global_File.h"
#include "global/Global_Utils.h"
#include "logger/uLogTextFile.h"
#include "platform/FileMove.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

namespace morvane {

TFileLogger::TFileLogger(std::uint8_t niveauMax, std::int32_t logSpecifique, const TStringList* params,
                         bool insertTime, std::string formatDateTime, bool insertNiveauLog)
    : TLogger(niveauMax, logSpecifique, params, insertTime, std::move(formatDateTime), insertNiveauLog)
{
    if (params == nullptr)
        return;
    std::string renameTarget;
    std::string startName;
    ForEachLoggerParam(params, [&](std::string_view name, const std::string& value) {
        if (name == "RenameFileTo") {
            renameTarget = GlobalFile().ExpandMacros(value);
        } else if (name == "DoAppend") {
            doAppend_ = LoggerParamIsTrue(value);
        } else if (name == "FileName") {
            fileMask_ = value;
            TDateTime nextChange = NeverChanges;
            startName = GlobalFile().ExpandMacros(fileMask_, nextChange);
            validUntil_ = nextChange;
        }
    });
    // Both names as expanded: a relative name here is relative to the current directory.
    // A plain rename would overwrite the target; the previous run's file must stay put then.
    if (!renameTarget.empty() && !startName.empty() && !LogFilesKeptAsTheyAre() && LogFileExists(startName))
        platform::RenameNoReplace(startName, renameTarget);
    SetFileName(startName);
}

std::string TFileLogger::CurrentFileName() const
{
    std::lock_guard guard(OutputLock());
    return currentFileName_;
}

TDateTime TFileLogger::ValidUntil() const
{
    std::lock_guard guard(OutputLock());
    return validUntil_;
}

void TFileLogger::SetFileName(const std::string& name)
{
    std::lock_guard guard(OutputLock());
    SwitchFile(name);
}

void TFileLogger::SwitchFile(const std::string& name) { SwitchLogFile(currentFileName_, name, doAppend_); }

void TFileLogger::DoLog(const std::string& line)
{
    if (currentFileName_.empty())
        throw Exception("Le fichier n'a pas été assigné au FileLogger");
    if (Now() > validUntil_) {
        TDateTime nextChange = NeverChanges;
        const std::string name = GlobalFile().ExpandMacros(fileMask_, nextChange);
        validUntil_ = nextChange;
        SwitchFile(name);
    }

    int attempts = 0;
    try {
        record_.clear();
        LogFileHandle file;
        int error = file.OpenForAppend(currentFileName_, false);
        if (error != 0) {
            // A file someone else holds or has just removed: retry a few times, creating
            // it when missing, and mark the line with one dot per failed attempt.
            while (true) {
                ++attempts;
                error = file.OpenForAppend(currentFileName_, true);
                if (error == 0)
                    break;
                record_ += '.';
                std::this_thread::sleep_for(std::chrono::milliseconds(7));
                if (attempts >= MaxOpenAttempts)
                    RaiseInOutError(error, currentFileName_);
            }
        }
        record_ += line;
        record_ += '\n';
        file.Write(record_, currentFileName_);
        file.Close(currentFileName_);
    } catch (const Exception& error) {
        throw Exception(FormatText("Exception sur DoLog(%d) (%s:%s:%s", attempts, error.ClassName(), error.Message(),
                                   line));
    }
}

} // namespace morvane
