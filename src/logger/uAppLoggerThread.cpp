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

TAppLoggerThread::TAppLoggerThread(RecordWriter writer, std::chrono::milliseconds drainLimit)
    : writer_(std::move(writer)), drainLimit_(drainLimit), thread_([this] { Execute(); })
{
}

TAppLoggerThread::~TAppLoggerThread() { TerminateAndWait(); }

void TAppLoggerThread::TerminateAndWait() noexcept
{
    if (!thread_.joinable())
        return;
    const auto deadline = std::chrono::steady_clock::now() + drainLimit_;
    drainDeadline_.store(deadline.time_since_epoch().count(), std::memory_order_relaxed);
    terminated_.store(true, std::memory_order_release);
    wakeUp_.Set();
    thread_.join();
    // A program that fails at once logs its reason just before it ends: the lines
    // are written above; only a writer too slow for the limit loses the rest.
    const std::size_t left = QueuedCount();
    if (left > 0 && !Failed())
        std::fprintf(stderr, "TApplicationLogger : %zu message(s) non écrit(s) à la fermeture (délai de %lld ms "
                             "dépassé).\n",
                     left, static_cast<long long>(drainLimit_.count()));
}

bool TAppLoggerThread::DrainTimeIsUp() const noexcept
{
    return terminated_.load(std::memory_order_acquire) &&
           std::chrono::steady_clock::now().time_since_epoch().count() >=
               drainDeadline_.load(std::memory_order_relaxed);
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
        while (true) {
            // Once asked to stop, no more waiting: one last drain takes everything
            // queued before the request, as long as the drain limit allows.
            const bool stopping = terminated_.load(std::memory_order_acquire);
            if (!stopping) {
                marker = "A";
                wakeUp_.Wait();
                marker = "B";
            }
            while (!DrainTimeIsUp()) {
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
                if (!record)
                    break;
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
            if (stopping)
                break;
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
