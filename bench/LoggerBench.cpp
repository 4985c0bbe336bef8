// Cost of logging, in the three figures the logging must meet:
//  - Log() from the caller's thread (it only queues; the writer does the work);
//  - the file logger's line against the bare open/append/write/close it is made of;
//  - the memory logger's lines per second in buffer mode.
// Each benchmark runs in repetitions, interleaved at random, and the medians are
// printed at the end with the ratio of the file logger to its floor.

#include "core/DateTime.h"
#include "global/DateTimeFormat.h"
#include "global/Global_Utils.h"
#include "logger/uApplicationLogger.h"
#include "logger/uFileLogger.h"
#include "logger/uMemoryLogger.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

using namespace morvane;
namespace fs = std::filesystem;

namespace {

const std::string messageText = "Gfix shutdown : attente de la déconnexion des postes";

// Everything the benchmarks write goes into one temporary folder, removed at the end.
class BenchFolder {
public:
    BenchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "morvane-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        path_ = pattern;
    }
    ~BenchFolder()
    {
        std::error_code ignored; // a folder left behind is no reason to fail the run
        fs::remove_all(path_, ignored);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

BenchFolder* folder = nullptr;

void BM_AppLoggerLog(benchmark::State& state)
{
    TApplicationLogger& app = AppLogger();
    for (auto _ : state)
        app.Log(messageText, 200, 0);
    // Outside the timed loop: the next run starts with an empty queue.
    app.Thread().WaitUntilDrained(std::chrono::seconds(60));
}

// The line the file logger writes, so the floor writes as many bytes.
std::string FileLoggerLine()
{
    return FormatDateTime(DefaultLogDateTimeFormat, Now()) + ": [200] " + messageText + "\n";
}

void BM_OpenWriteCloseFloor(benchmark::State& state)
{
    const std::string fileName = folder->File("floor.log");
    const std::string line = FileLoggerLine();
    std::ofstream(fileName, std::ios::trunc).close();
    for (auto _ : state) {
        const int fd = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0 || ::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            state.SkipWithError("write failed");
            break;
        }
        ::close(fd);
    }
}

void BM_FileLoggerLine(benchmark::State& state)
{
    const TStringList params{"FileName=" + folder->File("file.log")};
    TFileLogger logger(255, 0, &params, true, DefaultLogDateTimeFormat, true);
    for (auto _ : state)
        logger.LogMessage(messageText, 200, 0);
}

void BM_MemoryLoggerBuffer(benchmark::State& state)
{
    const TStringList params{"FileName=" + folder->File("memory.log"), "DoAppend=False"};
    TMemoryLogger logger(255, 0, &params, true, DefaultLogDateTimeFormat, true);
    for (auto _ : state)
        logger.LogMessage(messageText, 200, 0);
    state.SetItemsProcessed(state.iterations());
}

constexpr int repetitions = 12;
constexpr double secondsPerRun = 0.2;
#define LOGGER_BENCHMARK(function)                                                                                  \
    BENCHMARK(function)->Unit(benchmark::kNanosecond)->MinTime(secondsPerRun)->Repetitions(repetitions)            \
        ->ReportAggregatesOnly(true)
LOGGER_BENCHMARK(BM_AppLoggerLog);
LOGGER_BENCHMARK(BM_OpenWriteCloseFloor);
LOGGER_BENCHMARK(BM_FileLoggerLine);
LOGGER_BENCHMARK(BM_MemoryLoggerBuffer);

// Keeps the medians as they are reported.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    MedianReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    std::map<std::string, Run> medians;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name] = run;
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    BenchFolder benchFolder;
    folder = &benchFolder;
    // The program "lives" in the temporary folder; its logger writes a memory log there.
    SetCommandLine({benchFolder.File("morvane")});
    std::ofstream(benchFolder.File("AppLogger.xml"))
        << "<AppLogger Version=\"1.2\"><AllStations><AllApplications>"
           "<M class=\"TMemoryLogger\" NiveauMax=\"255\" LogSpecifique=\"0\"><FileName>app.log</FileName>"
           "<DoAppend>False</DoAppend></M></AllApplications></AllStations></AppLogger>";
    AppLogger();

    std::vector<char*> arguments(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    arguments.push_back(interleave.data());
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    DestroyAppLogger();

    struct Figure {
        double cpu = 0, wall = 0;
    };
    const auto figure = [&](const char* name) {
        const auto found = reporter.medians.find(name);
        if (found == reporter.medians.end())
            return Figure{};
        return Figure{found->second.GetAdjustedCPUTime(), found->second.GetAdjustedRealTime()};
    };
    const Figure log = figure("BM_AppLoggerLog");
    const Figure floor = figure("BM_OpenWriteCloseFloor");
    const Figure file = figure("BM_FileLoggerLine");
    const Figure memory = figure("BM_MemoryLoggerBuffer");
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    // CPU time is the caller's own thread; wall time also counts waiting for a core,
    // which on a shared machine is mostly other people's work.
    std::printf("\nLogging figures, medians of %d runs           CPU          wall    limit\n", repetitions);
    std::printf("  Log() from the caller's thread, ns   %10.1f    %10.1f    1000\n", log.cpu, log.wall);
    std::printf("  open/append/write/close floor, ns    %10.1f    %10.1f\n", floor.cpu, floor.wall);
    std::printf("  file logger line, ns                 %10.1f    %10.1f\n", file.cpu, file.wall);
    std::printf("  file logger / floor                  %10.2f    %10.2f    1.25\n", ratio(file.cpu, floor.cpu),
                ratio(file.wall, floor.wall));
    std::printf("  memory logger (buffer), lines/s      %10.0f    %10.0f    1000000\n", ratio(1e9, memory.cpu),
                ratio(1e9, memory.wall));
    return 0;
}
