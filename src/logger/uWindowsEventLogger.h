#pragma once
// A logger that reports each line to the system log as an error, a warning or an
// information entry according to the message's level. It keeps the class name the
// configuration files use.

#include "logger/uLogger.h"

#include <functional>
#include <memory>
#include <string>

namespace morvane {

enum class EventEntryType { Error = 1, Warning = 2, Information = 4 };

// Where the entries go: one source registered under a name, one entry per line.
class EventLogBackend {
public:
    virtual ~EventLogBackend() = default;
    virtual void Report(EventEntryType type, const std::string& line) = 0;
};

using EventLogBackendFactory = std::function<std::unique_ptr<EventLogBackend>(const std::string& sourceName)>;

// The system log (syslog), with the source name as ident.
std::unique_ptr<EventLogBackend> CreateSystemLogBackend(const std::string& sourceName);

// Replaces the backend of the event loggers created afterwards; nullptr restores
// the system log. Tests use it to see what would be reported.
void SetEventLogBackendFactory(EventLogBackendFactory factory);

class ScopedEventLogBackendFactory {
public:
    explicit ScopedEventLogBackendFactory(EventLogBackendFactory factory)
    {
        SetEventLogBackendFactory(std::move(factory));
    }
    ~ScopedEventLogBackendFactory() { SetEventLogBackendFactory(nullptr); }
    ScopedEventLogBackendFactory(const ScopedEventLogBackendFactory&) = delete;
    ScopedEventLogBackendFactory& operator=(const ScopedEventLogBackendFactory&) = delete;
};

// The entry type of a level: up to errorCeiling an error, up to warningCeiling a
// warning, above it information.
EventEntryType EventEntryTypeOfLevel(std::uint8_t level, std::uint8_t errorCeiling,
                                     std::uint8_t warningCeiling) noexcept;

class TWindowsEventLogger : public TLogger {
public:
    // The parameter list is not read; the source is named after the application title.
    TWindowsEventLogger(std::uint8_t niveauMax, std::int32_t logSpecifique, const TStringList* params,
                        bool insertTime, std::string formatDateTime, bool insertNiveauLog);
    ~TWindowsEventLogger() override;

    std::uint8_t ErrorCeiling() const noexcept { return errorCeiling_; }
    std::uint8_t WarningCeiling() const noexcept { return warningCeiling_; }

protected:
    // Reports the line; a failed report is not looked at.
    void DoLog(const std::string& line) override;

private:
    std::unique_ptr<EventLogBackend> source_;
    std::uint8_t errorCeiling_ = 5;
    std::uint8_t warningCeiling_ = 50;
};

} // namespace morvane
