// A processor's side of the office engine: sends one conversion request with the input and
// output files it opened, and waits for the answer. Where no engine listens at the socket,
// it starts one (the program `vtps-office-engine` beside the processor's own) that later
// runs reuse and that ends by itself once idle; two processors starting at once start one
// engine between them. Used from one thread; each call blocks it.
#pragma once

#include <string>

#include "platform/os/folder_files.h"
#include "processors/pdf/office/engine_message.h"
#include "processors/pdf/office/engine_settings.h"

namespace pdf::office {

// What the answer says besides its message, and whether the engine was started for it.
struct EngineReply {
  EngineMessage answer;
  bool startedEngine = false;
};

// Sends `request` with `input` (read) and `output` (written) to the engine. Returns the
// engine's answer, whatever its "status". Throws PdfError when no engine can be reached or
// started (naming VTPS_OFFICE_SOCKET and the reason), or when it ends before answering.
EngineReply AskEngine(const EngineSettings& settings, const EngineMessage& request,
                      const os::FileHandle& input, const os::FileHandle& output);

// The engine program that AskEngine starts: the settings' own, else the one beside this
// program.
std::string EngineProgram(const EngineSettings& settings);

}  // namespace pdf::office
