#include "platform/kqmware/supervision.h"

#include "platform/kqmware/status_report.h"
#include "platform/os/service_manager.h"

namespace kqm {

Supervision::Supervision(Strand& control, StateSource state, std::chrono::microseconds watchdog)
    : state_(std::move(state)),
      watchdog_(watchdog),
      pulse_(control),
      keepAlive_(control),
      heartbeat_(Clock::now().time_since_epoch().count()) {}

void Supervision::Start() {
  if (started_ || finished_)
    return;
  started_ = true;
  Pulse();
  if (watchdog_.count() > 0) {
    os::KeepAlive();
    ArmKeepAlive();
  }
}

void Supervision::Pulse() {
  heartbeat_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
  std::string status = StatusLine(state_());
  if (status != statusSent_) {
    os::ReportStatus(status);
    statusSent_ = std::move(status);
  }
  if (stopping_)
    ReportStopping();
  ArmPulse();
}

void Supervision::ArmPulse() {
  pulse_.expires_after(kPulse);
  pulse_.async_wait([this](boost::system::error_code error) {
    if (!error && !finished_)
      Pulse();
  });
}

void Supervision::ArmKeepAlive() {
  // Half the interval, as the service manager asks, so that one late keep-alive is no restart.
  keepAlive_.expires_after(watchdog_ / 2);
  keepAlive_.async_wait([this](boost::system::error_code error) {
    if (error || finished_)
      return;
    os::KeepAlive();
    ArmKeepAlive();
  });
}

void Supervision::Stopping(Clock::time_point deadline) {
  if (stopping_ || finished_)
    return;
  stopping_ = true;
  stopDeadline_ = deadline;
  ReportStopping();
}

void Supervision::ReportStopping() {
  auto stillNeeded = std::chrono::duration_cast<std::chrono::milliseconds>(
      stopDeadline_ + kStopGrace - Clock::now());
  // Past its grace the stop asks for no more time: the service manager's own stop timeout
  // then decides.
  if (stillNeeded.count() > 0)
    os::ReportStopping(stillNeeded);
}

void Supervision::Finish() {
  finished_ = true;
  pulse_.cancel();
  keepAlive_.cancel();
}

bool Supervision::Responding() const {
  Clock::duration age =
      Clock::now().time_since_epoch() - Clock::duration(heartbeat_.load(std::memory_order_relaxed));
  return age <= kStaleAfter;
}

}  // namespace kqm
