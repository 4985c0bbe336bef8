#pragma once
// Stop requests from outside (SIGTERM from systemd or kill, SIGINT from a
// terminal): noted and handed to the program, which ends at its next safe point
// instead of dying half-way through a cycle.

#include <functional>

namespace morvane::platform {

// Must be called before any other thread starts: SIGTERM and SIGINT are blocked in
// every thread and a watcher thread takes them, so no library's own handler (the
// Firebird client installs some) can swallow them. onRequest runs on the watcher
// thread, once per signal.
void WatchStopRequests(std::function<void()> onRequest);

// True once a stop was requested.
bool StopRequested() noexcept;

// Tests: forget a request.
void ClearStopRequest() noexcept;

} // namespace morvane::platform
