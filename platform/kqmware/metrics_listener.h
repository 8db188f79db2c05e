// MetricsListener: a small HTTP/1.1 listener beside a server, for monitoring. GET /metrics
// answers the Prometheus text of the server's state, GET /health 200 "serving", or 503
// "stopping" or "not responding" (the server's network side has stopped turning, see
// supervision.h); anything else 404 (405 for other methods on those paths). One request per
// connection. It runs on the server's network threads, so it answers while every processor
// slot is busy. A connection from a peer the allow list does not name is closed as it is
// accepted, before a byte is read, and logged at level 2 (at most one line a second).
//
// The owner (the server's engine) keeps the io_context alive longer than the listener, and
// destroys the listener only once no thread runs the io_context. Close is safe from any
// thread.
#pragma once

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <boost/asio.hpp>
#include <functional>
#include <string>

#include "platform/kqmware/allow_list.h"
#include "platform/kqmware/refusal_log.h"
#include "platform/kqmware/server_statistics.h"
#include "platform/kqmware/settings.h"

namespace kqm {

// What the listener answers one request with. Pure, for tests.
struct HttpAnswer {
  int status = 404;
  std::string contentType = "text/plain; charset=utf-8";
  std::string body;
};
HttpAnswer AnswerMetricsRequest(const std::string& method, const std::string& target,
                                const ServerState& state);

class MetricsListener {
 public:
  using StateSource = std::function<ServerState()>;
  // Writes a line to the server's debug channel at a level; thread-safe.
  using Log = std::function<void(int level, const std::string& text)>;

  // Listens on `where` for the peers `allow` names. Throws KQ_EException naming the address
  // when it cannot.
  MetricsListener(boost::asio::io_context& io, const ListenPoint& where, StateSource state,
                  AllowList allow, Log log);
  MetricsListener(const MetricsListener&) = delete;
  MetricsListener& operator=(const MetricsListener&) = delete;

  std::uint16_t Port() const { return port_; }
  // Stops accepting (on the listener's strand); requests being answered finish on their own.
  void Close();

 private:
  void Accept();
  // Whether the accepted `socket` may be served; closes it and logs the refusal when not.
  bool Admit(boost::asio::ip::tcp::socket& socket);

  boost::asio::io_context& io_;
  // The acceptor and its retry timer are used on this strand only.
  boost::asio::strand<boost::asio::io_context::executor_type> strand_;
  boost::asio::ip::tcp::acceptor acceptor_;
  boost::asio::steady_timer acceptRetry_;
  StateSource state_;
  const AllowList allow_;
  Log log_;
  RefusalLog refusals_;
  std::uint16_t port_ = 0;
};

}  // namespace kqm
