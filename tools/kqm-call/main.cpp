// kqm-call [--host HOST] [--timeout SECONDS] SERVICE METHOD [P1]
// kqm-call [--host HOST] [--timeout SECONDS] --status SERVICE
//
// Sends {"M": METHOD, "P1": P1} to SERVICE and prints the answer as JSON; with --status it
// asks the service's network side for its status instead (waiting at most 5 seconds unless
// --timeout says otherwise) and prints that; where the transport shares the service between
// instances it prints an array with the status of every instance that answers within a
// second. P1 is JSON text, @FILE to read it from a file, or - to read it from standard
// input; without P1 only "M" is sent. Exit code 0 for an answer, 1 when the answer is the
// boolean false, 2 for a usage error, a failed request or an exception raised by the service
// (its class and message go to standard error).
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config/NTR/ntr_exceptions.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/options.h"
#include "platform/kqmware/program_options.h"
#include "platform/kqmware/settings.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"
#include "tools/kqm-call/json_values.h"

namespace {

constexpr int kUsage = 2;

int Usage(const std::string& problem) {
  std::cerr << "kqm-call: " << problem << "\n"
            << "usage: kqm-call [--host HOST] [--timeout SECONDS] SERVICE METHOD [P1]\n"
            << "       kqm-call [--host HOST] [--timeout SECONDS] --status SERVICE\n"
            << "  P1 is JSON text, @FILE or - (standard input)" << std::endl;
  return kUsage;
}

std::string ParameterText(const std::string& argument) {
  if (argument == "-") {
    std::ostringstream text;
    text << std::cin.rdbuf();
    return text.str();
  }
  if (!argument.empty() && argument[0] == '@') {
    std::ifstream in(argument.substr(1), std::ios::binary);
    if (!in)
      throw std::runtime_error("cannot read " + argument.substr(1));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  return argument;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string host = "localhost";
  std::vector<std::string> positional;
  bool status = false;
  std::optional<int> timeoutMs;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--status") {
      status = true;
    } else if (arguments[i] == "--host" || arguments[i] == "--timeout") {
      if (i + 1 >= arguments.size())
        return Usage(arguments[i] + " needs a value");
      std::string value = arguments[++i];
      if (arguments[i - 1] == "--host") {
        host = value;
      } else {
        char* end = nullptr;
        double seconds = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(seconds > 0) || seconds > 86400)
          return Usage("--timeout needs a number of seconds above 0, not \"" + value + "\"");
        // At least 1 ms: 0 would mean no limit at all.
        timeoutMs = std::max(1, static_cast<int>(seconds * 1000 + 0.5));
      }
    } else {
      positional.push_back(arguments[i]);
    }
  }
  if (status && positional.size() != 1)
    return Usage("expected --status SERVICE");
  if (!status && (positional.size() < 2 || positional.size() > 3))
    return Usage("expected SERVICE METHOD [P1]");

  // The program's settings: the debug log's file before the initialisation function opens
  // it, then the client's.
  kqm::ProgramOptions program;
  program.debugLog = kqm::DebugLogFile();
  kqm::UseProgramOptions(program);
  __KQ_INITIALIZATION_FUNCTION_KQMWare__();
  // So that the configuration service's exceptions arrive as their own classes.
  RegisterNtrExceptions();
  kqm::ClientOptions options;
  try {
    options = kqm::ClientOptions::FromEnvironment();
  } catch (const KQ_EException& error) {
    std::cerr << error.ClassName() << ": " << error.KQ_Message().Text() << std::endl;
    return 2;
  }
  if (timeoutMs) {
    options.requestTimeoutMs = *timeoutMs;
  } else if (status) {
    // A status probe that never answers is an answer too: the service is not serving.
    options.requestTimeoutMs = 5000;
  }
  if (status) {
    try {
      KQM_TClient client(options);
      client.SetConnectionAddress(host, positional[0], 0, KQM_TClient::kConnectOnRequest);
      // Where every instance bound under the name answers, they are gathered for a short
      // window (a second, or the --timeout when shorter) and printed as one array; the one
      // server a request reaches is printed as its object.
      int windowMs = std::min(1000, options.requestTimeoutMs);
      std::vector<KQ_TDict> states = client.StatusOfEvery(windowMs);
      if (client.StatusReach() == kqm::StatusScope::kOneServer && states.size() == 1) {
        std::cout << JsonFromValue(KQ_TAny(states.front())).dump() << std::endl;
        return 0;
      }
      nlohmann::ordered_json instances = nlohmann::ordered_json::array();
      for (const KQ_TDict& state : states)
        instances.push_back(JsonFromValue(KQ_TAny(state)));
      std::cout << instances.dump() << std::endl;
      if (instances.empty()) {
        std::cerr << "kqm-call: no instance of " << positional[0] << " answered within " << windowMs
                  << " ms" << std::endl;
        return 2;
      }
      return 0;
    } catch (const KQ_EException& error) {
      std::cerr << error.ClassName() << ": " << error.KQ_Message().Text() << std::endl;
      return 2;
    }
  }
  KQ_TDict request;
  request["M"] = positional[1];
  if (positional.size() == 3) {
    try {
      request["P1"] = ValueFromJson(nlohmann::ordered_json::parse(ParameterText(positional[2])));
    } catch (const std::exception& error) {
      return Usage(std::string("P1 is not usable: ") + error.what());
    }
  }

  try {
    KQM_TClient client(options);
    client.SetConnectionAddress(host, positional[0], 0, KQM_TClient::kConnectOnRequest);
    KQ_TAny answer = client.Request(request);
    std::cout << JsonFromValue(answer).dump(2, ' ', false,
                                            nlohmann::ordered_json::error_handler_t::replace)
              << std::endl;
    const KQ_TBool* flag = answer.DynamicCast<KQ_TBool>();
    return flag != nullptr && !flag->Value() ? 1 : 0;
  } catch (const KQ_EException& error) {
    std::cerr << error.ClassName() << ": " << error.KQ_Message().Text() << std::endl;
    return 2;
  }
}
