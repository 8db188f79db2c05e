// Supervision keeps a running server's supervisors told how it is: the service manager (a
// status line, a stop's remaining time and the watchdog keep-alive; see
// platform/os/service_manager.h) and the metrics listener's /health (a heartbeat). Its timers
// run on the engine's control strand, the strand that accepts connections, takes the signals
// and runs the stop: when that strand cannot turn, the keep-alive stops and /health reports
// the server as not responding, so a wedged server is restarted rather than trusted.
//
// Threads: Start, Stopping and Finish only on the control strand (or when no thread runs the
// io_context); Responding from any thread. The owner (the server's engine) keeps the strand
// and its io_context alive longer than this object and destroys it only once no thread runs
// the io_context.
#pragma once

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <atomic>
#include <boost/asio.hpp>
#include <chrono>
#include <functional>
#include <string>

#include "platform/kqmware/server_statistics.h"

namespace kqm {

class Supervision {
 public:
  using Strand = boost::asio::strand<boost::asio::io_context::executor_type>;
  using StateSource = std::function<ServerState()>;
  using Clock = std::chrono::steady_clock;

  // How often the heartbeat is refreshed, the status line sent when it changed, and a stop's
  // remaining time reported.
  static constexpr std::chrono::milliseconds kPulse{1000};
  // How old the heartbeat may grow before Responding says no: a few pulses, so that a busy
  // machine's late timer is not taken for a wedge.
  static constexpr std::chrono::milliseconds kStaleAfter{5000};
  // What a stop may take beyond its deadline: ending the processors still running and
  // answering their requests.
  static constexpr std::chrono::milliseconds kStopGrace{5000};

  // `state` gives the server's state for the status line; `watchdog` is the service
  // manager's watchdog interval (zero: no keep-alive is sent).
  Supervision(Strand& control, StateSource state, std::chrono::microseconds watchdog);
  Supervision(const Supervision&) = delete;
  Supervision& operator=(const Supervision&) = delete;

  // Refreshes the heartbeat, sends the status line and a keep-alive, and arms the timers
  // that repeat them. Calling it again while they run does nothing.
  void Start();
  // A stop began that lets running requests finish until `deadline`: reports the stop now
  // and, at each pulse, the time it may still take (up to kStopGrace past the deadline).
  void Stopping(Clock::time_point deadline);
  // Cancels the timers: the server has stopped.
  void Finish();
  // Whether the control strand turned within kStaleAfter. Safe from any thread.
  bool Responding() const;

 private:
  void Pulse();
  void ArmPulse();
  void ArmKeepAlive();
  void ReportStopping();

  StateSource state_;
  const std::chrono::microseconds watchdog_;
  boost::asio::steady_timer pulse_;      // on the control strand
  boost::asio::steady_timer keepAlive_;  // on the control strand
  bool started_ = false;                 // on the control strand
  bool finished_ = false;                // on the control strand
  bool stopping_ = false;                // on the control strand
  Clock::time_point stopDeadline_;       // on the control strand
  std::string statusSent_;               // on the control strand
  std::atomic<Clock::rep> heartbeat_;    // Clock ticks of the last pulse
};

}  // namespace kqm
