// systemd's notify protocol behind the service-manager seam, through libsystemd. sd_notify
// sends nothing and succeeds when NOTIFY_SOCKET is unset, so every report is a no-op outside
// a unit of Type=notify. A report that cannot be sent (the socket gone) is dropped: the
// program serves on whatever its supervisor hears.
#include <systemd/sd-daemon.h>

#include <algorithm>
#include <atomic>

#include "platform/os/os.h"
#include "platform/os/service_manager.h"

namespace os {
namespace {

void Notify(const std::string& message) {
  ::sd_notify(0, message.c_str());
}

// One line: the protocol separates its assignments with line breaks.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

std::string ExtendTimeout(std::chrono::milliseconds time) {
  auto micros = std::chrono::duration_cast<std::chrono::microseconds>(time).count();
  return "EXTEND_TIMEOUT_USEC=" + std::to_string(std::max<std::int64_t>(micros, 0));
}

std::atomic<std::uint64_t> nextHandlerId{1};

}  // namespace

int RunAsService(const std::function<int()>& body) {
  return body();
}

bool Supervised() {
  std::optional<std::string> socket = GetEnv("NOTIFY_SOCKET");
  return socket && !socket->empty();
}

void ReportStarting(const std::string& step, std::chrono::milliseconds expected) {
  Notify("STATUS=starting: " + OneLine(step) + "\n" + ExtendTimeout(expected));
}

void ReportReady() {
  Notify("READY=1");
}

void ReportStatus(const std::string& text) {
  Notify("STATUS=" + OneLine(text));
}

void ReportStopping(std::chrono::milliseconds stillNeeded) {
  Notify("STOPPING=1\n" + ExtendTimeout(stillNeeded));
}

void ReportFailure(const std::string& message) {
  Notify("STATUS=" + OneLine(message));
}

void KeepAlive() {
  Notify("WATCHDOG=1");
}

std::chrono::microseconds WatchdogInterval() {
  std::uint64_t micros = 0;
  if (::sd_watchdog_enabled(0, &micros) <= 0)
    return std::chrono::microseconds(0);
  return std::chrono::microseconds(micros);
}

std::uint64_t AddStopHandler(std::function<void()>) {
  // systemd asks for a stop with SIGTERM, which the server's own signal handling takes.
  return nextHandlerId.fetch_add(1);
}

void RemoveStopHandler(std::uint64_t) {}

}  // namespace os
