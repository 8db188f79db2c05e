#include "platform/kqmware/metrics_listener.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <memory>

#include "platform/kqmware/status_report.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/os/os.h"

namespace kqm {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using asio::ip::tcp;

HttpAnswer AnswerMetricsRequest(const std::string& method, const std::string& target,
                                const ServerState& state) {
  std::string path = target.substr(0, target.find('?'));
  HttpAnswer answer;
  if (path != "/metrics" && path != "/health") {
    answer.body = "not found\n";
    return answer;
  }
  if (method != "GET" && method != "HEAD") {
    answer.status = 405;
    answer.body = "only GET\n";
    return answer;
  }
  if (path == "/metrics") {
    answer.status = 200;
    answer.contentType = "text/plain; version=0.0.4; charset=utf-8";
    answer.body = MetricsText(state);
  } else {
    answer.status = state.stopping || !state.responding ? 503 : 200;
    answer.body = state.stopping     ? "stopping\n"
                  : state.responding ? "serving\n"
                                     : "not responding\n";
  }
  return answer;
}

namespace {

// One HTTP connection: reads a request, answers it and closes. A peer gets 10 seconds for
// its request, so an idle connection cannot hold the listener's resources for ever.
class MetricsSession : public std::enable_shared_from_this<MetricsSession> {
 public:
  MetricsSession(tcp::socket socket, MetricsListener::StateSource state)
      : stream_(std::move(socket)), state_(std::move(state)) {}

  void Start() {
    stream_.expires_after(std::chrono::seconds(10));
    http::async_read(stream_, buffer_, request_,
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                       if (!error)
                         self->Answer();
                     });
  }

 private:
  void Answer() {
    HttpAnswer answer = AnswerMetricsRequest(std::string(request_.method_string()),
                                             std::string(request_.target()), state_());
    response_.version(request_.version());
    response_.result(static_cast<http::status>(answer.status));
    response_.set(http::field::content_type, answer.contentType);
    response_.keep_alive(false);
    if (request_.method() != http::verb::head)
      response_.body() = std::move(answer.body);
    response_.prepare_payload();
    http::async_write(stream_, response_,
                      [self = shared_from_this()](beast::error_code, std::size_t) {
                        beast::error_code ignored;
                        self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
                      });
  }

  beast::tcp_stream stream_;
  MetricsListener::StateSource state_;
  beast::flat_buffer buffer_;
  http::request<http::string_body> request_;
  http::response<http::string_body> response_;
};

}  // namespace

MetricsListener::MetricsListener(asio::io_context& io, const ListenPoint& where, StateSource state,
                                 AllowList allow, Log log)
    : io_(io),
      strand_(asio::make_strand(io)),
      acceptor_(strand_),
      acceptRetry_(strand_),
      state_(std::move(state)),
      allow_(std::move(allow)),
      log_(std::move(log)) {
  boost::system::error_code error;
  asio::ip::address address = asio::ip::make_address(where.host, error);
  tcp::endpoint endpoint(address, where.port);
  if (!error)
    acceptor_.open(endpoint.protocol(), error);
  if (!error) {
    os::SetNoInherit(static_cast<std::intptr_t>(acceptor_.native_handle()));
    if (os::NativeCommandDialect() == os::CommandDialect::kPosix)
      acceptor_.set_option(tcp::acceptor::reuse_address(true), error);
  }
  if (!error)
    acceptor_.bind(endpoint, error);
  if (!error)
    acceptor_.listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    throw KQ_EException("cannot listen for metrics on " + where.host + ":" +
                        std::to_string(where.port) + " (KQM_METRICS_LISTEN): " + error.message());
  }
  port_ = acceptor_.local_endpoint().port();
  Accept();
}

void MetricsListener::Accept() {
  acceptor_.async_accept(asio::make_strand(io_),
                         [this](boost::system::error_code error, tcp::socket socket) {
                           if (error) {
                             if (error == asio::error::operation_aborted || !acceptor_.is_open())
                               return;
                             // Out of descriptors or memory: try again shortly rather than spin.
                             acceptRetry_.expires_after(std::chrono::milliseconds(100));
                             acceptRetry_.async_wait([this](boost::system::error_code waitError) {
                               if (!waitError && acceptor_.is_open())
                                 Accept();
                             });
                             return;
                           }
                           os::SetNoInherit(static_cast<std::intptr_t>(socket.native_handle()));
                           if (Admit(socket))
                             std::make_shared<MetricsSession>(std::move(socket), state_)->Start();
                           Accept();
                         });
}

bool MetricsListener::Admit(tcp::socket& socket) {
  boost::system::error_code error;
  tcp::endpoint peer = socket.remote_endpoint(error);
  // A peer gone already has no address to check, and nothing to serve.
  if (!error && allow_.Allows(peer.address()))
    return true;
  boost::system::error_code ignored;
  socket.close(ignored);
  if (!error) {
    std::optional<std::string> line =
        refusals_.Refused(RefusalLog::Clock::now(),
                          "metrics: refused a connection from " + peer.address().to_string() + ":" +
                              std::to_string(peer.port()) + ": the address is not allowed (" +
                              allow_.Describe() + ")");
    if (line)
      log_(2, *line);
  }
  return false;
}

void MetricsListener::Close() {
  asio::post(strand_, [this] {
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    acceptRetry_.cancel();
  });
}

}  // namespace kqm
