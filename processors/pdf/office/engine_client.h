// A processor's side of a conversion engine (the office engine, the browser engine): sends one
// request with the files it opened, answers the questions the engine asks on the way (the
// browser engine asks for the page's files), and waits for the answer. Where no engine
// listens at the socket, it starts one (the endpoint's program) that later runs reuse and that
// ends by itself once idle; two processors starting at once start one engine between them.
// Used from one thread; each call blocks it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/os/folder_files.h"
#include "processors/pdf/office/engine_message.h"
#include "processors/pdf/office/engine_settings.h"

namespace pdf::office {

// Where an engine listens and how it is started, named in the messages of its failures.
struct EngineEndpoint {
  std::string name;  // "the office engine"
  std::string socketPath;
  std::string socketSetting;  // "VTPS_OFFICE_SOCKET"
  std::string program;        // started, with --on-demand, where nothing listens
  std::string startHint;      // what to check when it does not start
};

// The office engine's endpoint for `settings`.
EngineEndpoint OfficeEndpoint(const EngineSettings& settings);

// What the answer says besides its message, and whether the engine was started for it.
struct EngineReply {
  EngineMessage answer;
  bool startedEngine = false;
};

// A reply to an engine's question, with at most one open file.
struct QuestionReply {
  EngineMessage message;
  os::FileHandle file;
};
// Answers a question (a message with the key "question"). An exception ends the exchange.
using QuestionAnswerer = std::function<QuestionReply(const EngineMessage& question)>;

// Sends `request` with `files` to the engine and answers its questions with `answerer` (a
// question without an answerer is replied to as refused). Returns the engine's answer,
// whatever its "status". Throws PdfError when no engine can be reached or started (naming
// the socket's setting and the reason), or when it ends before answering.
EngineReply AskEngine(const EngineEndpoint& endpoint, const EngineMessage& request,
                      const std::vector<const os::FileHandle*>& files,
                      const QuestionAnswerer& answerer = {});

// The office engine's conversion of `input` into `output`.
EngineReply AskEngine(const EngineSettings& settings, const EngineMessage& request,
                      const os::FileHandle& input, const os::FileHandle& output);

// The engine program that AskEngine starts: the settings' own, else the one beside this
// program.
std::string EngineProgram(const EngineSettings& settings);

}  // namespace pdf::office
