#include "logger/uApplicationLogger.h"

#include "core/Exception.h"

#include <cstdlib>

namespace morvane {

namespace {
// Set only while AppLogger() builds the instance.
bool constructing = false;
TApplicationLogger* instance = nullptr;
std::unique_ptr<TApplicationLogger> instanceHolder;

class ConstructingFlag {
public:
    ConstructingFlag() { constructing = true; }
    ~ConstructingFlag() { constructing = false; }
    ConstructingFlag(const ConstructingFlag&) = delete;
    ConstructingFlag& operator=(const ConstructingFlag&) = delete;
};
} // namespace

TApplicationLogger& AppLogger()
{
    if (instance != nullptr)
        return *instance;
    {
        ConstructingFlag flag;
        instanceHolder = std::make_unique<TApplicationLogger>();
    }
    // A program that never calls DestroyAppLogger still stops the writer and writes
    // the last batches at exit, before the utilities the loggers use are destroyed.
    static const bool destroyAtExit = std::atexit(DestroyAppLogger) == 0;
    (void)destroyAtExit;
    return *instanceHolder;
}

void DestroyAppLogger() noexcept { instanceHolder.reset(); }

TApplicationLogger::TApplicationLogger(TComponent* owner) : TComponent(owner)
{
    if (!constructing)
        throw Exception("Vous devez accéder à la classe TApplicationLogger par le biais de la fonction AppLogger");
    thread_ = std::make_unique<TAppLoggerThread>([this](const LogRecord& record) { WriteToLoggers(record); });
    instance = this;
    try {
        LoadConfiguration(AppLoggerConfigurationFile);
    } catch (...) {
        // A destructor does not run for a half-built object: undo by hand, then let the error go on.
        TearDown();
        throw;
    }
}

TApplicationLogger::~TApplicationLogger() { TearDown(); }

void TApplicationLogger::TearDown() noexcept
{
    thread_.reset();
    ClearLoggers();
    if (instance == this)
        instance = nullptr;
}

void TApplicationLogger::Log(std::string_view text, std::uint8_t level, std::int32_t specific)
{
    thread_->Enqueue(text, level, specific);
}

TLogger* TApplicationLogger::AddLogger(std::unique_ptr<TLogger> logger)
{
    if (!logger)
        return nullptr;
    std::lock_guard guard(loggersLock_);
    for (const auto& existing : loggers_) {
        if (existing.get() == logger.get())
            return logger.release(); // already owned by the list: the second owner must not free it
    }
    loggers_.push_back(std::move(logger));
    return loggers_.back().get();
}

std::size_t TApplicationLogger::LoggerCount() const
{
    std::lock_guard guard(loggersLock_);
    return loggers_.size();
}

TLogger* TApplicationLogger::GetLogger(std::size_t index) const
{
    std::lock_guard guard(loggersLock_);
    return index < loggers_.size() ? loggers_[index].get() : nullptr;
}

void TApplicationLogger::ClearLoggers()
{
    std::lock_guard guard(loggersLock_);
    for (auto& logger : loggers_)
        logger.reset();
    loggers_.clear();
}

void TApplicationLogger::WriteToLoggers(const LogRecord& record)
{
    std::lock_guard guard(loggersLock_);
    for (const auto& logger : loggers_)
        logger->LogMessage(record.Text, record.Level, record.Specific);
}

} // namespace morvane
