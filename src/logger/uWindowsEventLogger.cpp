#include "logger/uWindowsEventLogger.h"

#include "global/Global_Utils.h"

#include <mutex>

namespace morvane {

namespace {
std::mutex factoryLock;
EventLogBackendFactory backendFactory;
} // namespace

void SetEventLogBackendFactory(EventLogBackendFactory factory)
{
    std::lock_guard guard(factoryLock);
    backendFactory = std::move(factory);
}

EventEntryType EventEntryTypeOfLevel(std::uint8_t level, std::uint8_t errorCeiling,
                                     std::uint8_t warningCeiling) noexcept
{
    if (level <= errorCeiling)
        return EventEntryType::Error;
    if (level <= warningCeiling)
        return EventEntryType::Warning;
    return EventEntryType::Information;
}

TWindowsEventLogger::TWindowsEventLogger(std::uint8_t niveauMax, std::int32_t logSpecifique,
                                         const TStringList* params, bool insertTime, std::string formatDateTime,
                                         bool insertNiveauLog)
    : TLogger(niveauMax, logSpecifique, params, insertTime, std::move(formatDateTime), insertNiveauLog)
{
    const std::string sourceName = ApplicationTitle();
    EventLogBackendFactory factory;
    {
        std::lock_guard guard(factoryLock);
        factory = backendFactory;
    }
    source_ = factory ? factory(sourceName) : CreateSystemLogBackend(sourceName);
}

TWindowsEventLogger::~TWindowsEventLogger() = default;

void TWindowsEventLogger::DoLog(const std::string& line)
{
    if (source_)
        source_->Report(EventEntryTypeOfLevel(LastLevel(), errorCeiling_, warningCeiling_), line);
}

} // namespace morvane
