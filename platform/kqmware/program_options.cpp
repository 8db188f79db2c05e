#include "platform/kqmware/program_options.h"

#include <mutex>

namespace kqm {

namespace {

std::mutex optionsMutex;
ProgramOptions* inUse = nullptr;  // guarded by optionsMutex; null: the defaults

}  // namespace

ProgramOptions ProgramOptions::FromEnvironment() {
  ProgramOptions options;
  options.debugLog = DebugLogFile();
  options.debugLevel = InitialDebugLevel();
  options.server = ServerOptions::FromEnvironment();
  options.client = ClientOptions::FromEnvironment();
  options.client.services = options.server.services;
  return options;
}

void UseProgramOptions(const ProgramOptions& options) {
  std::lock_guard<std::mutex> lock(optionsMutex);
  // Never deleted: servers in static objects may still ask while the process ends.
  if (inUse == nullptr)
    inUse = new ProgramOptions(options);
  else
    *inUse = options;
}

ProgramOptions ProgramOptionsInUse() {
  std::lock_guard<std::mutex> lock(optionsMutex);
  return inUse != nullptr ? *inUse : ProgramOptions();
}

}  // namespace kqm
