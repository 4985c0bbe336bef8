// The system log backend of the event logger: the only file that talks to syslog.

#include "logger/uWindowsEventLogger.h"

#include <mutex>
#include <syslog.h>

namespace morvane {

namespace {
// openlog is process-wide and keeps a pointer to its ident: the first source opens
// it, the last one closes it, and the ident lives as long as they do.
std::mutex syslogLock;
int openSources = 0;
std::string syslogIdent;

class SystemLogBackend final : public EventLogBackend {
public:
    explicit SystemLogBackend(const std::string& sourceName)
    {
        std::lock_guard guard(syslogLock);
        if (openSources++ == 0) {
            syslogIdent = sourceName;
            ::openlog(syslogIdent.c_str(), LOG_PID, LOG_USER);
        }
    }

    ~SystemLogBackend() override
    {
        std::lock_guard guard(syslogLock);
        if (--openSources == 0)
            ::closelog();
    }

    SystemLogBackend(const SystemLogBackend&) = delete;
    SystemLogBackend& operator=(const SystemLogBackend&) = delete;

    void Report(EventEntryType type, const std::string& line) override
    {
        int priority = LOG_INFO;
        if (type == EventEntryType::Error)
            priority = LOG_ERR;
        else if (type == EventEntryType::Warning)
            priority = LOG_WARNING;
        ::syslog(priority, "%s", line.c_str());
    }
};
} // namespace

std::unique_ptr<EventLogBackend> CreateSystemLogBackend(const std::string& sourceName)
{
    return std::make_unique<SystemLogBackend>(sourceName);
}

} // namespace morvane
