#pragma once
// What the logger tests share: a temporary folder that goes away with the test, a
// command line whose program lives inside it (so files "beside the program" land
// there), file helpers, and a logger that records what it was given.

#include "core/Exception.h"
#include "global/Global_Utils.h"
#include "logger/uLogger.h"
#include "support/CommandLineGuard.h"
#include "support/FileText.h"
#include "support/TemporaryFolder.h"

#include <functional>
#include <string>
#include <vector>

namespace morvane::test {

using morvane::testing::CommandLineGuard;

// A logger that keeps its lines; an optional hook runs on each one (to fail or block).
class RecordingLogger : public TLogger {
public:
    RecordingLogger(std::uint8_t niveauMax = 255, std::int32_t logSpecifique = 0, bool insertTime = false,
                    std::string format = DefaultLogDateTimeFormat, bool insertNiveauLog = false)
        : TLogger(niveauMax, logSpecifique, nullptr, insertTime, std::move(format), insertNiveauLog)
    {
    }
    std::vector<std::string> lines;
    std::vector<std::uint8_t> levels;
    std::function<void(const std::string&)> onLine;

protected:
    void DoLog(const std::string& line) override
    {
        if (onLine)
            onLine(line);
        lines.push_back(line);
        levels.push_back(LastLevel());
    }
};

} // namespace morvane::test
