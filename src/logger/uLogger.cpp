#include "logger/uLogger.h"

#include "core/DateTime.h"
#include "core/Text.h"
#include "global/DateTimeFormat.h"

namespace morvane {

namespace {
void AppendDigits(std::string& out, int value, int digits)
{
    char text[4];
    for (int i = digits - 1; i >= 0; --i) {
        text[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(text, static_cast<std::size_t>(digits));
}
} // namespace

bool AppendDefaultTimeStamp(std::string& out, TDateTime value)
{
    const DateTimeParts parts = DecodeDateTime(value);
    if (parts.year < 1 || parts.year > 9999)
        return false;
    const std::string& timeSeparator = CurrentFormatSettings().timeSeparator;
    AppendDigits(out, parts.year, 4);
    out += '-';
    AppendDigits(out, parts.month, 2);
    out += '-';
    AppendDigits(out, parts.day, 2);
    out += ' ';
    AppendDigits(out, parts.hour, 2);
    out += timeSeparator;
    AppendDigits(out, parts.minute, 2);
    out += timeSeparator;
    AppendDigits(out, parts.second, 2);
    out += '.';
    AppendDigits(out, parts.millisecond, 3);
    return true;
}

TLogger::TLogger(std::uint8_t niveauMax, std::int32_t logSpecifique, const TStringList* /*params*/, bool insertTime,
                 std::string formatDateTime, bool insertNiveauLog)
    : niveauMax_(niveauMax),
      insertTime_(insertTime),
      formatDateTime_(std::move(formatDateTime)),
      logSpecifique_(logSpecifique),
      insertNiveauLog_(insertNiveauLog),
      defaultTimeStamp_(formatDateTime_ == DefaultLogDateTimeFormat)
{
}

bool TLogger::Accepts(std::uint8_t level, std::int32_t specific) const noexcept
{
    const bool audience = (logSpecifique_ == 0 && specific >= 0) || specific == logSpecifique_ || logSpecifique_ == -1;
    return audience && level <= niveauMax_;
}

void TLogger::LogMessage(std::string_view text, std::uint8_t level, std::int32_t specific)
{
    if (!Accepts(level, specific))
        return;
    std::lock_guard guard(outputLock_);
    line_.clear();
    if (insertTime_) {
        // The time is that of the writing, not of the queueing.
        const TDateTime now = Now();
        if (!defaultTimeStamp_ || !AppendDefaultTimeStamp(line_, now))
            line_ += morvane::FormatDateTime(formatDateTime_, now);
        line_ += ": ";
    }
    if (insertNiveauLog_) {
        const char field[] = {'[', static_cast<char>('0' + level / 100), static_cast<char>('0' + level / 10 % 10),
                              static_cast<char>('0' + level % 10), ']', ' '};
        line_.append(field, sizeof field);
    }
    // One message is one line: a server's message, an exception text or a name
    // that holds a line break or bytes of another character set cannot pass for
    // a line of its own, and the file stays UTF-8.
    AppendOneLine(line_, text);
    lastLevel_ = level;
    DoLog(line_);
}

void ForEachLoggerParam(const TStringList* params,
                        const std::function<void(std::string_view name, const std::string& value)>& handle)
{
    if (params == nullptr)
        return;
    for (const auto& line : params->Lines()) {
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        handle(std::string_view(line).substr(0, equals), line.substr(equals + 1));
    }
}

bool LoggerParamIsTrue(std::string_view value) noexcept { return value != "False"; }

} // namespace morvane
