#pragma once
// The one entry point of the program's logging: reached through AppLogger(), it
// owns the loggers named in AppLogger.xml and a writer thread, so a caller only
// queues its message and goes on.

#include "core/Component.h"
#include "global/FileInfo.h"
#include "logger/uAppLoggerThread.h"
#include "logger/uLogger.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// The configuration file, resolved against the program's folder.
inline constexpr const char* AppLoggerConfigurationFile = "./AppLogger.xml";

class TApplicationLogger : public TComponent {
public:
    // Only AppLogger() may build the instance; any other construction fails.
    explicit TApplicationLogger(TComponent* owner = nullptr);
    // Stops the writer once it has written what is queued (for a few seconds at most),
    // then destroys the loggers in order.
    ~TApplicationLogger() override;

    // Queues one message for every logger and returns at once.
    void Log(std::string_view text, std::uint8_t level, std::int32_t specific);
    // Queues the five (or four) lines that open every run.
    void LogStartBanner();

    // Appends a logger, which the application logger then owns; an absent logger or
    // one already in the list changes nothing. Returns the logger in the list.
    TLogger* AddLogger(std::unique_ptr<TLogger> logger);
    std::size_t LoggerCount() const;
    // The logger at a 0-based index, or nullptr.
    TLogger* GetLogger(std::size_t index) const;
    // Destroys every logger, in list order.
    void ClearLoggers();

    // Clears the loggers and builds them again from the file (relative names against
    // the program's folder); false when the file does not exist.
    bool LoadConfiguration(const std::string& fileName);

    // The Version attribute of the configuration as last read.
    const std::string& Version() const noexcept { return version_; }
    TAppLoggerThread& Thread() noexcept { return *thread_; }

private:
    friend class LoggerConfigurationReader;

    void WriteToLoggers(const LogRecord& record);
    void TearDown() noexcept;

    mutable std::mutex loggersLock_; // the writer reads the list while the caller may change it
    std::vector<std::unique_ptr<TLogger>> loggers_;
    std::string version_;
    std::unique_ptr<TAppLoggerThread> thread_;
};

// The instance, created on first use; a failed creation raises and keeps none.
TApplicationLogger& AppLogger();
// Destroys the instance, if any (program end; tests). The next AppLogger() builds a new one.
void DestroyAppLogger() noexcept;

// The banner's build line, when the version record names a special or private build.
std::optional<std::string> BuildNotesLine(const TEXEVersionData& data);

// The start banner for a program file, its parameters (as ParamsAsText gives them)
// and the time since the machine started.
std::vector<std::string> StartBannerLines(const std::string& programFile, const std::string& parameters,
                                          std::uint32_t millisecondsSinceBoot);

} // namespace morvane
