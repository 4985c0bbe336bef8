#pragma once
// The writer thread of the application logger: callers queue messages and go on;
// the thread takes them one at a time, oldest first, and hands them to the loggers.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace morvane {

// One queued message.
struct LogRecord {
    std::uint8_t Level = 0;
    std::int32_t Specific = 0;
    std::string Text;
};

// An automatic-reset event: one waiter is released per signal; signals that arrive
// while nobody waits count as one.
class AutoResetEvent {
public:
    void Set();
    void Wait();

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

class TAppLoggerThread {
public:
    using RecordWriter = std::function<void(const LogRecord&)>;

    // How long the thread goes on writing what is queued once asked to stop.
    static constexpr std::chrono::milliseconds DefaultDrainLimit{3000};

    // Starts the thread; it waits for the first message before it calls `writer`.
    explicit TAppLoggerThread(RecordWriter writer, std::chrono::milliseconds drainLimit = DefaultDrainLimit);
    // Stops the thread after it has written what is queued (TerminateAndWait).
    ~TAppLoggerThread();

    TAppLoggerThread(const TAppLoggerThread&) = delete;
    TAppLoggerThread& operator=(const TAppLoggerThread&) = delete;

    // Queues one message and wakes the thread. Once the thread has ended on an
    // error nothing would ever take the message, so it is dropped instead.
    void Enqueue(std::string_view text, std::uint8_t level, std::int32_t specific);

    // Asks the thread to stop and waits until it has. The thread first writes what is
    // queued, for at most the drain limit (a record being written is waited for);
    // whatever is left then is dropped with one line on standard error.
    void TerminateAndWait() noexcept;

    // Waits until every queued message has been written (or the thread has ended);
    // false when the time ran out. The program never waits; tests and tools do.
    bool WaitUntilDrained(std::chrono::milliseconds timeout);

    bool Terminated() const noexcept { return terminated_.load(std::memory_order_acquire); }

    // The error that ended the thread, empty while it runs or after a normal end.
    std::string LastError() const;
    bool Failed() const noexcept { return failed_.load(std::memory_order_acquire); }
    std::size_t QueuedCount() const;

private:
    void Execute() noexcept;
    void EndOnError(const char* marker, const std::string& className, const std::string& message) noexcept;

    bool DrainTimeIsUp() const noexcept;

    RecordWriter writer_;
    const std::chrono::milliseconds drainLimit_;
    std::atomic<std::chrono::steady_clock::rep> drainDeadline_{0}; // set before terminated_
    AutoResetEvent wakeUp_;
    mutable std::mutex queueLock_;
    std::deque<LogRecord> queue_;
    bool writing_ = false;                 // a record is out of the queue and being written
    std::condition_variable drained_;      // signalled when the queue has run dry
    std::atomic<bool> terminated_{false};
    std::atomic<bool> failed_{false};
    mutable std::mutex errorLock_;
    std::string lastError_;
    std::thread thread_; // last: it starts once everything above exists
};

} // namespace morvane
