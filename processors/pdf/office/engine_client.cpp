#include "processors/pdf/office/engine_client.h"

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/os/local_socket.h"
#include "platform/os/os.h"
#include "platform/os/worker_process.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::office {
namespace {

// How long a started engine may take to listen (LibreOffice's start-up, a cold disk cache).
constexpr std::chrono::seconds kEngineStartWait{90};
constexpr std::chrono::milliseconds kConnectRetry{50};
constexpr std::chrono::seconds kEngineRestart{10};

bool NothingListens(int error) {
  return error == ENOENT || error == ECONNREFUSED;
}

os::FileHandle Connect(const EngineSettings& settings, bool& started) {
  int error = 0;
  os::FileHandle connection = os::ConnectLocal(settings.socketPath, error);
  if (connection.Valid() || !NothingListens(error)) {
    if (!connection.Valid())
      throw PdfError("cannot reach the office engine at " + settings.socketPath +
                     " (VTPS_OFFICE_SOCKET): " + std::strerror(error));
    return connection;
  }
  std::string folderProblem = os::PreparePrivateFolder(SocketFolder(settings.socketPath));
  if (!folderProblem.empty())
    throw PdfError("cannot start the office engine: " + folderProblem);
  std::string program = EngineProgram(settings);
  auto start = [&program] {
    std::string failure = os::StartDetached(program, {"--on-demand"});
    if (!failure.empty())
      throw PdfError("cannot start the office engine " + program + ": " + failure);
  };
  start();
  started = true;
  // The engine takes the socket's lock before it listens; a second start gives way to an
  // engine that holds it. That engine may be one ending after its idle time, so an engine
  // is started again while nothing listens.
  auto now = std::chrono::steady_clock::now();
  auto deadline = now + kEngineStartWait;
  auto restart = now + kEngineRestart;
  while ((now = std::chrono::steady_clock::now()) < deadline) {
    connection = os::ConnectLocal(settings.socketPath, error);
    if (connection.Valid())
      return connection;
    if (!NothingListens(error))
      break;
    if (now >= restart) {
      start();
      restart = now + kEngineRestart;
    }
    std::this_thread::sleep_for(kConnectRetry);
  }
  throw PdfError("the office engine " + program + " did not start listening at " +
                 settings.socketPath + " within " + std::to_string(kEngineStartWait.count()) +
                 " s (is LibreOffice installed? see docs/processors.md)");
}

}  // namespace

std::string EngineProgram(const EngineSettings& settings) {
  if (!settings.engineProgram.empty())
    return settings.engineProgram;
  return os::ProgramFolder() + "/vtps-office-engine";
}

EngineReply AskEngine(const EngineSettings& settings, const EngineMessage& request,
                      const os::FileHandle& input, const os::FileHandle& output) {
  EngineReply reply;
  os::FileHandle connection = Connect(settings, reply.startedEngine);
  std::string failure = os::SendLocalMessage(connection, request.Encode(), {&input, &output});
  if (!failure.empty())
    throw PdfError("cannot send the conversion to the office engine: " + failure);
  os::LocalMessage message;
  std::string error;
  // The engine answers every request it takes within its time limit, so the wait has none
  // of its own; the server's limit on the processor covers an engine that fails to.
  os::Received received = os::ReceiveLocalMessage(connection, std::nullopt, message, error);
  if (received != os::Received::kMessage)
    throw PdfError("the office engine ended before it answered" +
                   (error.empty() ? std::string() : " (" + error + ")"));
  std::optional<EngineMessage> answer = EngineMessage::Decode(message.bytes);
  if (!answer)
    throw PdfError("the office engine's answer cannot be read");
  reply.answer = std::move(*answer);
  return reply;
}

}  // namespace pdf::office
