#include "logger/uAppLoggerThread.h"

#include "core/Exception.h"

#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <optional>
#include <typeinfo>

namespace morvane {

namespace {
std::string TypeNameOf(const std::exception& error)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(typeid(error).name(), nullptr, nullptr, &status),
                                                std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(typeid(error).name());
}
} // namespace

void AutoResetEvent::Set()
{
    {
        std::lock_guard guard(lock_);
        signalled_ = true;
    }
    changed_.notify_one();
}

void AutoResetEvent::Wait()
{
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return signalled_; });
    signalled_ = false;
}

TAppLoggerThread::TAppLoggerThread(RecordWriter writer) : writer_(std::move(writer)), thread_([this] { Execute(); })
{
}

TAppLoggerThread::~TAppLoggerThread() { TerminateAndWait(); }

void TAppLoggerThread::TerminateAndWait() noexcept
{
    terminated_.store(true, std::memory_order_release);
    wakeUp_.Set();
    if (thread_.joinable())
        thread_.join();
}

void TAppLoggerThread::Enqueue(std::string_view text, std::uint8_t level, std::int32_t specific)
{
    if (failed_.load(std::memory_order_relaxed))
        return;
    LogRecord record{level, specific, std::string(text)};
    std::lock_guard guard(queueLock_);
    queue_.push_back(std::move(record));
    wakeUp_.Set();
}

std::string TAppLoggerThread::LastError() const
{
    std::lock_guard guard(errorLock_);
    return lastError_;
}

bool TAppLoggerThread::WaitUntilDrained(std::chrono::milliseconds timeout)
{
    std::unique_lock guard(queueLock_);
    return drained_.wait_for(guard, timeout, [this] { return Failed() || (queue_.empty() && !writing_); });
}

std::size_t TAppLoggerThread::QueuedCount() const
{
    std::lock_guard guard(queueLock_);
    return queue_.size();
}

void TAppLoggerThread::EndOnError(const char* marker, const std::string& className,
                                  const std::string& message) noexcept
{
    try {
        std::string text = "TAppLoggerThread Exception in Execute.";
        text += marker;
        text += "(" + className + "):" + message;
        {
            std::lock_guard guard(errorLock_);
            lastError_ = text;
        }
        // Said once: from now on messages are dropped instead of piling up unwritten.
        std::fprintf(stderr, "%s\nTApplicationLogger : plus aucun message ne sera journalisé.\n", text.c_str());
        {
            std::lock_guard guard(queueLock_);
            failed_.store(true, std::memory_order_release);
            writing_ = false;
        }
        drained_.notify_all();
    } catch (const std::bad_alloc&) {
        failed_.store(true, std::memory_order_release);
    }
}

void TAppLoggerThread::Execute() noexcept
{
    const char* marker = "Initialisation";
    try {
        while (!terminated_.load(std::memory_order_acquire)) {
            marker = "A";
            wakeUp_.Wait();
            marker = "B";
            while (true) {
                marker = "C";
                std::optional<LogRecord> record;
                {
                    std::lock_guard guard(queueLock_);
                    marker = "D";
                    if (!queue_.empty()) {
                        marker = "E";
                        record = std::move(queue_.front());
                        queue_.pop_front();
                        writing_ = true;
                    }
                }
                if (record) {
                    marker = "F";
                    writer_(*record);
                    bool dry = false;
                    {
                        std::lock_guard guard(queueLock_);
                        writing_ = false;
                        dry = queue_.empty();
                    }
                    if (dry)
                        drained_.notify_all();
                }
                if (!record || terminated_.load(std::memory_order_acquire))
                    break;
            }
        }
        marker = "Fin";
    } catch (const Exception& error) {
        EndOnError(marker, error.ClassName(), error.Message());
    } catch (const std::exception& error) {
        EndOnError(marker, TypeNameOf(error), error.what());
    } catch (...) {
        // Nothing may leave a thread body; an unknown error still ends the writer.
        EndOnError(marker, "unknown", "");
    }
}

} // namespace morvane
