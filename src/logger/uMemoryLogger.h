#pragma once
// A logger that keeps lines in memory and writes them to a file in batches: every
// MaxLigne lines (buffer mode) or, in ring mode, the last MaxLigne lines each time
// a severe message arrives.

#include "logger/uLogger.h"

#include <deque>
#include <string>

namespace morvane {

class TMemoryLogger : public TLogger {
public:
    enum class DumpMode { Buffer, Ring };

    // Parameters read: MaxLigne, FileName, DoAppend, DumpType, NiveauDump.
    TMemoryLogger(std::uint8_t niveauMax, std::int32_t logSpecifique, const TStringList* params, bool insertTime,
                  std::string formatDateTime, bool insertNiveauLog);
    // Buffer mode writes its last, incomplete batch; a failure is reported on
    // standard error, never raised.
    ~TMemoryLogger() override;

    // Writes the buffered lines as one batch (the buffer is kept).
    void DumpToFile();
    // Switches to another file (relative names against the program's folder),
    // creating or emptying it at once unless DoAppend keeps it.
    void SetFileName(const std::string& name);

    std::string CurrentFileName() const;
    int MaxLigne() const noexcept { return maxLigne_; }
    bool DoAppend() const noexcept { return doAppend_; }
    DumpMode Mode() const noexcept { return mode_; }
    int NiveauDump() const noexcept { return niveauDump_; }
    bool NameHasDate() const noexcept { return nameHasDate_; }
    std::size_t BufferedLineCount() const;

protected:
    void DoLog(const std::string& line) override;

private:
    // DumpToFile and SetFileName for a caller that already holds the output lock.
    void WriteBatch();
    void SwitchFile(const std::string& name);

    // The buffer, the file name and the file are guarded by the base's output lock.
    std::deque<std::string> buffer_;
    int maxLigne_ = 1024;
    bool doAppend_ = true;
    std::string fileMask_;
    bool nameHasDate_ = false;
    std::string currentFileName_;
    DumpMode mode_ = DumpMode::Buffer;
    int niveauDump_ = 0;
};

// The text of one batch: the lines joined by line ends, trailing blanks and control
// characters removed, then one line end.
std::string MemoryLoggerBatchText(const std::deque<std::string>& lines);

} // namespace morvane
