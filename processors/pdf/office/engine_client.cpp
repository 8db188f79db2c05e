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

os::FileHandle Connect(const EngineEndpoint& endpoint, bool& started) {
  int error = 0;
  os::FileHandle connection = os::ConnectLocal(endpoint.socketPath, error);
  if (connection.Valid() || !NothingListens(error)) {
    if (!connection.Valid())
      throw PdfError("cannot reach " + endpoint.name + " at " + endpoint.socketPath + " (" +
                     endpoint.socketSetting + "): " + std::strerror(error));
    return connection;
  }
  std::string folderProblem = os::PreparePrivateFolder(SocketFolder(endpoint.socketPath));
  if (!folderProblem.empty())
    throw PdfError("cannot start " + endpoint.name + ": " + folderProblem);
  const std::string& program = endpoint.program;
  auto start = [&program, &endpoint] {
    std::string failure = os::StartDetached(program, {"--on-demand"});
    if (!failure.empty())
      throw PdfError("cannot start " + endpoint.name + " " + program + ": " + failure);
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
    connection = os::ConnectLocal(endpoint.socketPath, error);
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
  throw PdfError(endpoint.name + " " + program + " did not start listening at " +
                 endpoint.socketPath + " within " + std::to_string(kEngineStartWait.count()) +
                 " s (" + endpoint.startHint + ")");
}

}  // namespace

std::string EngineProgram(const EngineSettings& settings) {
  if (!settings.engineProgram.empty())
    return settings.engineProgram;
  return os::ProgramFolder() + "/vtps-office-engine";
}

EngineEndpoint OfficeEndpoint(const EngineSettings& settings) {
  return {"the office engine", settings.socketPath, "VTPS_OFFICE_SOCKET", EngineProgram(settings),
          "is LibreOffice installed? see docs/processors.md"};
}

EngineReply AskEngine(const EngineEndpoint& endpoint, const EngineMessage& request,
                      const std::vector<const os::FileHandle*>& files,
                      const QuestionAnswerer& answerer) {
  EngineReply reply;
  os::FileHandle connection = Connect(endpoint, reply.startedEngine);
  std::string failure = os::SendLocalMessage(connection, request.Encode(), files);
  if (!failure.empty())
    throw PdfError("cannot send the request to " + endpoint.name + ": " + failure);
  for (;;) {
    os::LocalMessage message;
    std::string error;
    // The engine answers every request it takes within its time limit, so the wait has none
    // of its own; the server's limit on the processor covers an engine that fails to.
    os::Received received = os::ReceiveLocalMessage(connection, std::nullopt, message, error);
    if (received != os::Received::kMessage)
      throw PdfError(endpoint.name + " ended before it answered" +
                     (error.empty() ? std::string() : " (" + error + ")"));
    std::optional<EngineMessage> answer = EngineMessage::Decode(message.bytes);
    if (!answer)
      throw PdfError(endpoint.name + "'s answer cannot be read");
    if (!answer->Get("question")) {
      reply.answer = std::move(*answer);
      return reply;
    }
    QuestionReply questionReply;
    if (answerer) {
      questionReply = answerer(*answer);
    } else {
      questionReply.message.Add("status", "refused");
      questionReply.message.Add("reason", "this request answers no questions");
    }
    std::vector<const os::FileHandle*> replyFiles;
    if (questionReply.file.Valid())
      replyFiles.push_back(&questionReply.file);
    failure = os::SendLocalMessage(connection, questionReply.message.Encode(), replyFiles);
    if (!failure.empty())
      throw PdfError("cannot answer " + endpoint.name + ": " + failure);
  }
}

EngineReply AskEngine(const EngineSettings& settings, const EngineMessage& request,
                      const os::FileHandle& input, const os::FileHandle& output) {
  return AskEngine(OfficeEndpoint(settings), request, {&input, &output});
}

}  // namespace pdf::office
