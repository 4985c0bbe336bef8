#pragma once
// The base of every log output channel: filters a message by audience and level,
// composes the line (time stamp, level field, text) and hands it to DoLog.

#include "core/DateTime.h"
#include "core/TextList.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace morvane {

inline constexpr const char* DefaultLogDateTimeFormat = "yyyy-mm-dd hh:nn:ss.zzz";

class TLogger {
public:
    // Every logger class has exactly this argument list, so the configuration
    // reader can build any of them with the same call.
    TLogger(std::uint8_t niveauMax, std::int32_t logSpecifique, const TStringList* params, bool insertTime,
            std::string formatDateTime, bool insertNiveauLog);
    virtual ~TLogger() = default;

    TLogger(const TLogger&) = delete;
    TLogger& operator=(const TLogger&) = delete;

    // Filters, composes and writes one message, its text as one line of UTF-8 (see
    // AppendOneLine); errors of DoLog pass through. Safe
    // to call from several threads: one call at a time composes and writes.
    void LogMessage(std::string_view text, std::uint8_t level, std::int32_t specific);

    // Whether a message with this level and specific number concerns this logger.
    bool Accepts(std::uint8_t level, std::int32_t specific) const noexcept;

    std::uint8_t NiveauMax() const noexcept { return niveauMax_; }
    std::int32_t LogSpecifique() const noexcept { return logSpecifique_; }
    bool InsertTime() const noexcept { return insertTime_; }
    bool InsertNiveauLog() const noexcept { return insertNiveauLog_; }
    const std::string& FormatDateTime() const noexcept { return formatDateTime_; }
    std::uint8_t LastLevel() const noexcept { return lastLevel_; }

protected:
    // Writes one finished line to the output. Runs under OutputLock(), so a logger
    // needs no lock of its own for what only DoLog touches.
    virtual void DoLog(const std::string& line) = 0;

    // The lock LogMessage holds around composing and DoLog; a logger takes it in its
    // own public operations that touch the same state, never inside DoLog.
    std::mutex& OutputLock() const noexcept { return outputLock_; }

private:
    std::uint8_t niveauMax_;
    bool insertTime_;
    std::string formatDateTime_;
    std::int32_t logSpecifique_;
    std::uint8_t lastLevel_ = 0;
    bool insertNiveauLog_;
    bool defaultTimeStamp_;
    mutable std::mutex outputLock_;
    std::string line_; // reused between calls so a line costs no allocation once warm
};

// Appends the time stamp of the default pattern, exactly as the shared pattern
// function writes it; false (nothing appended) for years it does not cover. Every
// line pays for its time stamp, and the general function costs more than the file
// write it precedes.
bool AppendDefaultTimeStamp(std::string& out, TDateTime value);

// The parameter lines as the loggers read them: name before the first "=", value
// after it, names compared exactly; a line without "=" has an empty name.
void ForEachLoggerParam(const TStringList* params,
                        const std::function<void(std::string_view name, const std::string& value)>& handle);

// Boolean parameters are false only for the exact text "False".
bool LoggerParamIsTrue(std::string_view value) noexcept;

} // namespace morvane
