// Several threads logging straight into one logger, without the writer thread:
// every line must arrive whole, exactly once.

#include "LoggerTestSupport.h"

#include "logger/uFileLogger.h"
#include "logger/uMemoryLogger.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <thread>

using namespace morvane;
using namespace morvane::test;

namespace {

TEST(ConcurrentLogging, ThreadsLoggingIntoOneFileAndOneMemoryLoggerLoseAndTearNoLine)
{
    TemporaryFolder folder;
    CommandLineGuard program{{folder.File("morvane")}};
    constexpr int threads = 6;
    constexpr int linesPerThread = 300;
    // Time stamp and level field on, so composing the line is shared work too; a
    // small batch so the memory logger writes while others add lines.
    const TStringList fileParams{"FileName=file.log"};
    const TStringList memoryParams{"FileName=memory.log", "MaxLigne=7"};
    TFileLogger file(255, 0, &fileParams, true, DefaultLogDateTimeFormat, true);
    auto memory = std::make_unique<TMemoryLogger>(255, 0, &memoryParams, true, DefaultLogDateTimeFormat, true);

    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int n = 0; n < linesPerThread; ++n) {
                const std::string text = "thread " + std::to_string(t) + " line " + std::to_string(n) + " " +
                                         std::string(static_cast<std::size_t>(n % 50), 'x') + ".";
                file.LogMessage(text, 200, 0);
                memory->LogMessage(text, 200, 0);
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    memory.reset(); // the last batch

    const std::regex shape(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}: \[200\] thread (\d+) line (\d+) (x*)\.)");
    for (const char* name : {"file.log", "memory.log"}) {
        SCOPED_TRACE(name);
        std::map<std::pair<int, int>, int> seen;
        for (const auto& line : ReadFileLines(folder.File(name))) {
            std::smatch match;
            ASSERT_TRUE(std::regex_match(line, match, shape)) << "torn line: " << line;
            const int t = std::stoi(match[1]);
            const int n = std::stoi(match[2]);
            EXPECT_EQ(match[3].length(), n % 50) << line;
            ++seen[{t, n}];
        }
        EXPECT_EQ(seen.size(), static_cast<std::size_t>(threads * linesPerThread));
        for (const auto& [key, count] : seen)
            EXPECT_EQ(count, 1) << "thread " << key.first << " line " << key.second;
    }
}

} // namespace
