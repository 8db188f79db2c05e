#include "platform/kqmware/tcp/tcp_transport.h"

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <algorithm>
#include <boost/asio.hpp>

#include "platform/kqmware/kqm_ebusy.h"
#include "platform/kqmware/service_directory.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/os/os.h"

namespace asio = boost::asio;
using asio::ip::tcp;

namespace kqm {

namespace {

using Clock = std::chrono::steady_clock;

// The pause before accepting again after a failed accept: doubled while failures last.
constexpr std::chrono::milliseconds kFirstAcceptDelay{50};
constexpr std::chrono::milliseconds kLongestAcceptDelay{1000};

// A KQM_EBusy notice with request id 0: the server is closing the connection and will not
// read from it again. A client raises it as the answer to the request it sent.
std::string NoticeFrame(const std::string& text) {
  return EncodeFrame(MessageKind::kException, 0, KQ_TAny(KQM_EBusy(text)));
}

// Sends `notice` on a connection the server gives up and closes it, without waiting: the
// notice goes if the send buffer takes it now, which it does on a connection that owes
// nothing. What the client sent already is read and dropped first, as a socket closed with
// unread bytes is reset, and a reset can take the notice with it before the client reads it.
// Only on the socket's strand, with no operation of the socket pending.
void CloseWithNotice(tcp::socket& socket, const std::string& notice) {
  boost::system::error_code ignored;
  socket.non_blocking(true, ignored);
  socket.set_option(tcp::no_delay(true), ignored);
  socket.write_some(asio::buffer(notice), ignored);
  socket.shutdown(tcp::socket::shutdown_send, ignored);
  char unread[4096];
  for (int i = 0; i < 16; ++i) {
    boost::system::error_code error;
    socket.read_some(asio::buffer(unread), error);
    if (error)
      break;
  }
  socket.close(ignored);
}

}  // namespace

// One client connection: reads a whole frame, has it answered, writes the reply, and only
// then reads on, so that a connection's requests are answered in order.
class TcpTransport::Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(TcpTransport& transport, tcp::socket socket, KQM_TSocket description)
      : transport_(transport),
        host_(transport.host_),
        socket_(std::move(socket)),
        idleTimer_(socket_.get_executor()),
        idleTimeout_(transport.rules_.idleTimeoutMs),
        description_(std::move(description)) {}

  const KQM_TSocket& Description() const { return description_; }

  void Start() {
    asio::post(socket_.get_executor(), [self = shared_from_this()] {
      self->lastActivity_ = Clock::now();
      self->WatchIdle();
      self->Read();
    });
  }

  // Closes the connection unless it owes an answer, in which case it closes once that is
  // written. Safe from any thread.
  void StopWhenIdle() {
    asio::post(socket_.get_executor(), [self = shared_from_this()] {
      if (!self->busy_)
        self->Drop("");
    });
  }

  // Closes the socket; pending operations end with an error and release the connection.
  // Only on the connection's strand, or when no thread runs the io_context.
  void Drop(const std::string& reason) {
    if (!reason.empty())
      host_.Log(0, "closing connection " + description_.Describe() + ": " + reason);
    closed_ = true;
    idleTimer_.cancel();
    boost::system::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    transport_.Remove(shared_from_this());
  }

 private:
  void Read() {
    std::span<char> room = frames_.Prepare();
    socket_.async_read_some(
        asio::buffer(room.data(), room.size()),
        [self = shared_from_this()](boost::system::error_code error, std::size_t count) {
          if (self->closed_)
            return;
          if (error)
            return self->Drop("");
          self->lastActivity_ = Clock::now();
          self->frames_.Commit(count);
          self->HandleFrames();
        });
  }

  // Waits until the connection has been idle for the timeout, counted from lastActivity_.
  // Reading moves lastActivity_ on without touching the timer: when it fires early, it
  // waits again for the rest.
  void WatchIdle() {
    if (idleTimeout_.count() <= 0)
      return;
    idleTimer_.expires_at(lastActivity_ + idleTimeout_);
    idleTimer_.async_wait([self = shared_from_this()](boost::system::error_code error) {
      if (!error)
        self->IdleTimerFired();
    });
  }

  void IdleTimerFired() {
    // A connection that owes an answer is never idle; writing the answer watches again.
    if (closed_ || busy_)
      return;
    if (Clock::now() < lastActivity_ + idleTimeout_)
      return WatchIdle();
    closed_ = true;
    boost::system::error_code ignored;
    socket_.cancel(ignored);
    CloseWithNotice(socket_, NoticeFrame("the service " + host_.ServiceName() +
                                         " closed the connection after " +
                                         std::to_string(idleTimeout_.count()) +
                                         " ms without a request (KQM_IDLE_TIMEOUT_MS); a "
                                         "request that reached it then was not run"));
    host_.Log(4, "closed connection " + description_.Describe() + ": idle for " +
                     std::to_string(idleTimeout_.count()) + " ms (KQM_IDLE_TIMEOUT_MS)");
    transport_.Remove(shared_from_this());
  }

  // Handles the next frame if it is complete, else reads on.
  void HandleFrames() {
    switch (frames_.Check()) {
      case FrameReader::State::kNeedMore:
        return Read();
      case FrameReader::State::kTooLarge:
        return Drop("a frame of " + std::to_string(frames_.AnnouncedLength()) +
                    " bytes exceeds the limit of " + std::to_string(host_.MaxFrame()) +
                    " bytes (KQM_MAX_FRAME_BYTES)");
      case FrameReader::State::kReady:
        break;
    }
    if (transport_.stopping_)
      return Drop("");
    auto message = std::make_shared<Message>();
    try {
      *message = DecodePayload(frames_.Payload());
    } catch (const KQ_EException& error) {
      return Drop("undecodable frame: " + error.KQ_Message().Text());
    } catch (const std::exception& error) {
      return Drop(std::string("undecodable frame: ") + error.what());
    }
    // Keep what follows the frame (a client may send its next request early).
    frames_.Pop();
    busy_ = true;
    if (message->kind == MessageKind::kStatus)
      return Write(host_.StatusFrame(message->id));
    if (message->kind != MessageKind::kRequest)
      return Drop("the client sent a message that is not a request");

    auto self = shared_from_this();
    host_.HandleRequest(
        message,
        [self](std::function<void()> work) { asio::post(self->socket_.get_executor(), work); },
        [self](std::string frame) { self->Write(std::move(frame)); });
  }

  void Write(std::string frame) {
    auto bytes = std::make_shared<std::string>(std::move(frame));
    asio::async_write(
        socket_, asio::buffer(*bytes),
        [self = shared_from_this(), bytes](boost::system::error_code error, std::size_t) {
          self->busy_ = false;
          if (self->closed_)
            return;
          if (error || self->transport_.stopping_)
            return self->Drop("");
          self->lastActivity_ = Clock::now();
          self->WatchIdle();
          self->HandleFrames();
        });
  }

  TcpTransport& transport_;
  TransportHost& host_;
  tcp::socket socket_;
  asio::steady_timer idleTimer_;
  const std::chrono::milliseconds idleTimeout_;
  KQM_TSocket description_;
  FrameReader frames_{host_.MaxFrame()};
  // The members below only on the connection's strand.
  bool busy_ = false;  // a request of this connection is waiting, being handled or answered
  bool closed_ = false;
  Clock::time_point lastActivity_;  // the last byte received or answer written
};

TcpTransport::TcpTransport(TransportHost& host, ListenerSettings listener, ConnectionHooks hooks)
    : host_(host),
      listenHost_(std::move(listener.host)),
      allow_(std::move(listener.allow)),
      rules_(std::move(listener.rules)),
      hooks_(std::move(hooks)),
      acceptor_(host.Control()),
      acceptRetry_(host.Control()) {
  const tcp::endpoint& endpoint = listener.endpoint;
  const int backlog = listener.backlog;
  std::string where = endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
  boost::system::error_code error;
  acceptor_.open(endpoint.protocol(), error);
  if (!error) {
    os::SetNoInherit(static_cast<std::intptr_t>(acceptor_.native_handle()));
    if (os::NativeCommandDialect() == os::CommandDialect::kPosix) {
      // Lets a restarted server listen again while old connections linger in TIME_WAIT;
      // POSIX still refuses a second listener on the port.
      acceptor_.set_option(tcp::acceptor::reuse_address(true), error);
    } else if (!os::SetExclusiveAddress(static_cast<std::intptr_t>(acceptor_.native_handle()))) {
      error = asio::error::access_denied;
    }
  }
  if (!error)
    acceptor_.bind(endpoint, error);
  if (!error)
    acceptor_.listen(backlog > 0 ? backlog : asio::socket_base::max_listen_connections, error);
  if (error) {
    throw KQ_EException(KQ_TString("cannot bind the service ") + host.ServiceName() + " to " +
                        where + " (port " + std::to_string(endpoint.port()) +
                        "): " + error.message());
  }
  port_ = acceptor_.local_endpoint().port();
  Accept();
}

TcpTransport::~TcpTransport() = default;

void TcpTransport::ReportSettings() const {
  const ConnectionLimit& limit = rules_.limit;
  host_.Log(
      4, "descriptor limit " +
             (limit.descriptors > 0 ? std::to_string(limit.descriptors) : "none") +
             "; connections " + limit.Describe() + ", idle ones closed after " +
             (rules_.idleTimeoutMs > 0 ? std::to_string(rules_.idleTimeoutMs) + " ms" : "no time") +
             " (KQM_IDLE_TIMEOUT_MS)");
  if (limit.LoweredByDescriptors()) {
    host_.Log(2, "warning: the descriptor limit " + std::to_string(limit.descriptors) + " allows " +
                     std::to_string(limit.maximum) +
                     " connections, fewer than KQM_MAX_CONNECTIONS " +
                     std::to_string(limit.setting) + "; raise the limit (ulimit -n, LimitNOFILE)");
  }
  if (allow_.AllowsEveryone()) {
    host_.Log(0, EveryPeerWarning("the listener of " + host_.ServiceName() + " on " + listenHost_ +
                                  " port " + std::to_string(port_)));
  }
}

void TcpTransport::Accept() {
  acceptor_.async_accept(
      asio::make_strand(host_.Io()), [this](boost::system::error_code error, tcp::socket socket) {
        if (error) {
          if (error == asio::error::operation_aborted || !acceptor_.is_open())
            return;
          return AcceptLater(error);
        }
        acceptDelay_ = std::chrono::milliseconds(0);
        if (stopping_)
          return;
        os::SetNoInherit(static_cast<std::intptr_t>(socket.native_handle()));
        tcp::endpoint peer;
        if (!Admit(socket, peer) || !Room(socket, peer))
          return Accept();
        boost::system::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        auto connection = std::make_shared<Connection>(
            *this, std::move(socket),
            KQM_TSocket(nextConnectionId_++, peer.address().to_string(), peer.port()));
        {
          std::lock_guard<std::mutex> lock(mutex_);
          connections_.insert(connection);
        }
        if (hooks_.added)
          hooks_.added(connection->Description());
        connection->Start();
        Accept();
      });
}

bool TcpTransport::Admit(tcp::socket& socket, tcp::endpoint& peer) {
  boost::system::error_code error;
  peer = socket.remote_endpoint(error);
  // A peer gone already has no address to check, and nothing to serve.
  if (!error && allow_.Allows(peer.address()))
    return true;
  boost::system::error_code ignored;
  socket.close(ignored);
  if (!error) {
    std::optional<std::string> line = refusals_.Refused(
        RefusalLog::Clock::now(), "refused a connection from " + peer.address().to_string() + ":" +
                                      std::to_string(peer.port()) +
                                      ": the address is not allowed (" + allow_.Describe() + ")");
    if (line)
      host_.Log(2, *line);
  }
  return false;
}

void TcpTransport::AcceptLater(const boost::system::error_code& error) {
  // Out of descriptors or memory. The connection waiting in the listen queue stays there and
  // makes the next accept fail at once, so wait, longer each time while it lasts.
  acceptDelay_ = std::clamp(acceptDelay_ * 2, kFirstAcceptDelay, kLongestAcceptDelay);
  std::optional<std::string> line = acceptFailures_.Refused(
      Clock::now(), "cannot accept a connection: " + error.message() + " (trying again in " +
                        std::to_string(acceptDelay_.count()) + " ms)");
  if (line)
    host_.Log(0, *line);
  acceptRetry_.expires_after(acceptDelay_);
  acceptRetry_.async_wait([this](boost::system::error_code waitError) {
    if (!waitError && !stopping_)
      Accept();
  });
}

bool TcpTransport::Room(tcp::socket& socket, const tcp::endpoint& peer) {
  std::size_t open = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    open = connections_.size();
  }
  if (open < rules_.limit.maximum)
    return true;
  std::string why =
      "too many connections: " + std::to_string(open) + " open, " + rules_.limit.Describe();
  CloseWithNotice(socket, NoticeFrame("the service " + host_.ServiceName() + " is busy: " + why));
  std::optional<std::string> line = busyRefusals_.Refused(
      Clock::now(), "refused a connection from " + peer.address().to_string() + ":" +
                        std::to_string(peer.port()) + ": " + why);
  if (line)
    host_.Log(2, *line);
  return false;
}

void TcpTransport::Remove(const std::shared_ptr<Connection>& connection) {
  std::size_t removed = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    removed = connections_.erase(connection);
  }
  if (removed > 0) {
    if (hooks_.dropped)
      hooks_.dropped(connection->Description());
    if (stopping_)
      host_.TransportIdle();
  }
}

std::set<std::shared_ptr<TcpTransport::Connection>> TcpTransport::StopAccepting() {
  stopping_ = true;
  boost::system::error_code ignored;
  acceptor_.close(ignored);
  acceptRetry_.cancel();
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

void TcpTransport::StopTaking() {
  // Idle connections close now; busy ones once their answer is written.
  for (const auto& connection : StopAccepting())
    connection->StopWhenIdle();
}

bool TcpTransport::Idle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_.empty();
}

void TcpTransport::Close() {
  for (const auto& connection : StopAccepting())
    connection->Drop("");
}

TransportMaker TcpTransportMaker(const ServerOptions& options, const std::string& service,
                                 std::uint16_t port, std::uint16_t backlog, bool allInterfaces,
                                 const ConnectionHooks& hooks, std::uint64_t descriptorLimit) {
  ListenerSettings listener;
  // Each connection holds a descriptor: keep the connections within what the limit leaves
  // beside the server's own needs.
  listener.rules.limit =
      EffectiveConnectionLimit(options.maxConnections, descriptorLimit, options.workers);
  listener.rules.idleTimeoutMs = options.idleTimeoutMs;
  std::uint16_t usedPort = port != 0 ? port : options.services.Port(service);
  listener.host = allInterfaces ? "::" : options.listenAddress;
  boost::system::error_code error;
  boost::asio::ip::address address = boost::asio::ip::make_address(listener.host, error);
  if (error) {
    throw KQ_EException(KQ_TString("KQM_LISTEN is \"") + listener.host +
                        "\": expected an IP address such as 127.0.0.1, 0.0.0.0 or ::");
  }
  listener.endpoint = tcp::endpoint(address, usedPort);
  listener.backlog = backlog;
  listener.allow = AllowedPeers(options.allow, listener.host);
  return [listener, hooks](TransportHost& host) {
    return std::make_unique<TcpTransport>(host, listener, hooks);
  };
}

}  // namespace kqm
