#include "bench/load_options.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace load {

namespace {

double Number(const std::string& option, const std::string& text, double low, double high) {
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !(value >= low) || !(value <= high))
    throw std::invalid_argument(option + " needs a number from " + std::to_string(low) + " to " +
                                std::to_string(high) + ", not \"" + text + "\"");
  return value;
}

long long WholeNumber(const std::string& option, const std::string& text, long long low,
                      long long high) {
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high)
    throw std::invalid_argument(option + " needs a whole number from " + std::to_string(low) +
                                " to " + std::to_string(high) + ", not \"" + text + "\"");
  return value;
}

}  // namespace

std::string LoadUsage() {
  return "usage: load [--host HOST] [--service NAME] [--port PORT] [--method M] [--p1 JSON]\n"
         "            [--expect true|echo|any] [--connections N] [--timeout SECONDS]\n"
         "            (--requests N | --seconds S)\n"
         "  Sends {M, P1} over N connections (one client per thread) and checks every answer:\n"
         "  \"Help\" must answer true; other methods must answer the parameters sent, which\n"
         "  carry a value unique to each request under the key \"loadRequest\".\n"
         "  --timeout: seconds to wait for each answer; 0 (the default) waits as long as it\n"
         "  takes, in the client's plain blocking calls, the cheapest way to wait.\n";
}

LoadOptions ParseLoadOptions(const std::vector<std::string>& arguments) {
  LoadOptions options;
  bool expectGiven = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    if (option == "--help" || option == "-h") {
      options.help = true;
      continue;
    }
    if (option.rfind("--", 0) != 0)
      throw std::invalid_argument("unexpected argument \"" + option + "\"");
    if (i + 1 >= arguments.size())
      throw std::invalid_argument(option + " needs a value");
    const std::string& value = arguments[++i];
    if (option == "--host") {
      options.host = value;
    } else if (option == "--service") {
      if (value.empty())
        throw std::invalid_argument("--service needs a name");
      options.service = value;
    } else if (option == "--port") {
      options.port = static_cast<std::uint16_t>(WholeNumber(option, value, 1, 65535));
    } else if (option == "--method") {
      if (value.empty())
        throw std::invalid_argument("--method needs a name");
      options.method = value;
    } else if (option == "--p1") {
      options.parametersJson = value;
    } else if (option == "--expect") {
      if (value == "true")
        options.expect = Expect::kTrue;
      else if (value == "echo")
        options.expect = Expect::kEcho;
      else if (value == "any")
        options.expect = Expect::kAny;
      else
        throw std::invalid_argument("--expect needs true, echo or any, not \"" + value + "\"");
      expectGiven = true;
    } else if (option == "--connections") {
      options.connections = static_cast<int>(WholeNumber(option, value, 1, 1024));
    } else if (option == "--requests") {
      options.requests = WholeNumber(option, value, 1, std::numeric_limits<long long>::max() / 2);
    } else if (option == "--seconds") {
      options.seconds = Number(option, value, 0.001, 86400);
    } else if (option == "--timeout") {
      options.timeoutSeconds = Number(option, value, 0, 86400);
    } else {
      throw std::invalid_argument("unknown option " + option);
    }
  }
  if (options.help)
    return options;
  if ((options.requests == 0) == (options.seconds == 0))
    throw std::invalid_argument("give either --requests or --seconds");
  if (!expectGiven)
    options.expect = options.method == "Help" ? Expect::kTrue : Expect::kEcho;
  return options;
}

}  // namespace load
