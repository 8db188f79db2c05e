// What a supervised program tells the service manager that started it, and the one thing
// that manager asks of it: to stop. On Linux the manager is systemd and the reports are its
// notify protocol (sd_notify: READY=1, STATUS=, STOPPING=1, EXTEND_TIMEOUT_USEC=, WATCHDOG=1);
// on Windows it is the service control manager, which RunAsService connects to.
//
// Every report does nothing when no service manager started the program (no NOTIFY_SOCKET on
// Linux, a console start on Windows) and never fails: callers make them unconditionally. The
// module's state is the process's own (one service per process). RunAsService belongs to
// main(); everything else is safe from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace os {

// Runs the program's `body` and returns its result. On Windows, when the service control
// manager started the program, `body` runs as the service: the service reports
// SERVICE_START_PENDING until ReportReady, and once `body` returns SERVICE_STOPPED with its
// result as the exit code (0: none; else a service-specific code). The variables of the
// service's registry value Environment are set in the process before `body` runs (Windows'
// service control manager sets them itself, Wine's does not). Started from a console
// (the dispatcher cannot connect), or on Linux, `body` simply runs on the calling thread.
int RunAsService(const std::function<int()>& body);

// Whether a service manager started the program and hears the reports.
bool Supervised();

// Start-up goes on with `step` (a short phrase such as "loading the configuration"), which
// may take up to `expected`. systemd: STATUS=starting: <step> and EXTEND_TIMEOUT_USEC;
// Windows: SERVICE_START_PENDING with the next checkpoint and `expected` as the wait hint.
void ReportStarting(const std::string& step, std::chrono::milliseconds expected);

// The program is configured and serves: READY=1 / SERVICE_RUNNING. After a stop has begun
// it changes nothing.
void ReportReady();

// A one-line summary of what the program does now: STATUS=<text> (line breaks become
// spaces). Nothing on Windows.
void ReportStatus(const std::string& text);

// A stop has begun and needs up to `stillNeeded` more: STOPPING=1 and
// EXTEND_TIMEOUT_USEC=<stillNeeded> / SERVICE_STOP_PENDING with the next checkpoint and
// `stillNeeded` as the wait hint. Call it again while the stop goes on, before the time given
// last has passed.
void ReportStopping(std::chrono::milliseconds stillNeeded);

// The program cannot start or serve, for the reason `message`. systemd: STATUS=<message>;
// Windows service: an error event in the application event log and the debugger output.
void ReportFailure(const std::string& message);

// The watchdog keep-alive: WATCHDOG=1. Nothing on Windows.
void KeepAlive();

// The longest the service manager waits between two KeepAlive before it counts the program
// as hung (systemd: WATCHDOG_USEC, when it is meant for this process); zero when it expects
// none.
std::chrono::microseconds WatchdogInterval();

// Calls `handler` whenever the service manager asks the program to stop (Windows: the
// controls STOP, SHUTDOWN and PRESHUTDOWN), on the manager's own thread, once per request,
// which it must not block. On Linux systemd sends a signal instead and handlers are never
// called. A request that came while no handler was set goes to the next one added. Returns a
// number for RemoveStopHandler.
std::uint64_t AddStopHandler(std::function<void()> handler);
// Removes the handler `id`; once it returns the handler is not running and is not called
// again. An unknown id does nothing.
void RemoveStopHandler(std::uint64_t id);

}  // namespace os
