#pragma once
// A logger that appends each line to a text file, opening and closing the file for
// every line, and moves to a new file when a dated file name comes due.

#include "core/DateTime.h"
#include "logger/uLogger.h"

#include <string>

namespace morvane {

class TFileLogger : public TLogger {
public:
    // Parameters read: FileName, DoAppend, RenameFileTo.
    TFileLogger(std::uint8_t niveauMax, std::int32_t logSpecifique, const TStringList* params, bool insertTime,
                std::string formatDateTime, bool insertNiveauLog);

    // Switches to another file (relative names against the program's folder),
    // creating or emptying it at once unless DoAppend keeps it.
    void SetFileName(const std::string& name);

    std::string CurrentFileName() const;
    bool DoAppend() const noexcept { return doAppend_; }
    const std::string& FileMask() const noexcept { return fileMask_; }
    TDateTime ValidUntil() const;

    // Attempts made when the file does not open at the first try.
    static constexpr int MaxOpenAttempts = 21;

protected:
    void DoLog(const std::string& line) override;

private:
    // SetFileName for a caller that already holds the output lock.
    void SwitchFile(const std::string& name);

    bool doAppend_ = false;
    std::string fileMask_;
    // The file name, its period and the file itself are guarded by the base's output lock.
    TDateTime validUntil_ = NeverChanges;
    std::string currentFileName_;
    std::string record_;
};

} // namespace morvane
