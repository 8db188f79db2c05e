// The load driver's command line: which service to load, how, and for how long. Pure
// functions, so that the parsing is tested without a service.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace load {

// What every answer is checked against.
enum class Expect {
  kTrue,  // the boolean true ("Help")
  kEcho,  // the parameters sent (a processor that leaves the job file as it is)
  kAny,   // any answer that is not an exception
};

struct LoadOptions {
  std::string host = "localhost";
  std::string service = "VantricProcessServer";
  std::uint16_t port = 0;  // 0: the port the services file gives the service
  std::string method = "Help";
  std::string parametersJson;  // P1 as JSON; empty: no P1 (or {} with --expect echo)
  Expect expect = Expect::kTrue;
  int connections = 1;
  long long requests = 0;     // in all, shared by the connections; 0 with `seconds` set
  double seconds = 0;         // how long to send, when `requests` is 0
  double timeoutSeconds = 0;  // 0: no limit
  bool help = false;
};

// The usage text printed for --help and after an error.
std::string LoadUsage();

// Parses the arguments after the program name. Throws std::invalid_argument naming the
// option for an unknown option, a missing or malformed value, or a combination that makes
// no run (neither --requests nor --seconds, or both). Without --expect, "Help" expects true
// and every other method its parameters back.
LoadOptions ParseLoadOptions(const std::vector<std::string>& arguments);

}  // namespace load
