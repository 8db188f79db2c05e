#include "platform/kqmware/tcp_transport.h"

#include <utility>  // Boost 1.74 Asio uses std::exchange without including it

#include <boost/asio.hpp>

#include "platform/kqtypes/kq_exception.h"
#include "platform/os/os.h"

namespace asio = boost::asio;
using asio::ip::tcp;

namespace kqm {

// One client connection: reads a whole frame, has it answered, writes the reply, and only
// then reads on, so that a connection's requests are answered in order.
class TcpTransport::Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(TcpTransport& transport, tcp::socket socket, KQM_TSocket description)
      : transport_(transport),
        host_(transport.host_),
        socket_(std::move(socket)),
        description_(std::move(description)) {}

  const KQM_TSocket& Description() const { return description_; }

  void Start() {
    asio::post(socket_.get_executor(), [self = shared_from_this()] { self->Read(); });
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
          if (error)
            return self->Drop("");
          self->frames_.Commit(count);
          self->HandleFrames();
        });
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
          if (error || self->transport_.stopping_)
            return self->Drop("");
          self->HandleFrames();
        });
  }

  TcpTransport& transport_;
  TransportHost& host_;
  tcp::socket socket_;
  KQM_TSocket description_;
  FrameReader frames_{host_.MaxFrame()};
  bool busy_ = false;  // a request of this connection is waiting, being handled or answered
};

TcpTransport::TcpTransport(TransportHost& host, const tcp::endpoint& endpoint, int backlog,
                           AllowList allow)
    : host_(host),
      allow_(std::move(allow)),
      acceptor_(host.Control()),
      acceptRetry_(host.Control()) {
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

void TcpTransport::Accept() {
  acceptor_.async_accept(
      asio::make_strand(host_.Io()), [this](boost::system::error_code error, tcp::socket socket) {
        if (error) {
          if (error == asio::error::operation_aborted || !acceptor_.is_open())
            return;
          // Out of descriptors or memory: try again shortly rather than spin.
          host_.Log(0, "cannot accept a connection: " + error.message());
          acceptRetry_.expires_after(std::chrono::milliseconds(100));
          acceptRetry_.async_wait([this](boost::system::error_code waitError) {
            if (!waitError && !stopping_)
              Accept();
          });
          return;
        }
        if (stopping_)
          return;
        os::SetNoInherit(static_cast<std::intptr_t>(socket.native_handle()));
        tcp::endpoint peer;
        if (!Admit(socket, peer))
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
        host_.ConnectionAdded(connection->Description());
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

void TcpTransport::Remove(const std::shared_ptr<Connection>& connection) {
  std::size_t removed = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    removed = connections_.erase(connection);
  }
  if (removed > 0) {
    host_.ConnectionDropped(connection->Description());
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

}  // namespace kqm
