#include "tests/support/program_runner.h"

namespace vtps_test {

std::string ConsoleText(const std::string& path) {
  std::string text = ReadFile(path);
  std::erase(text, '\r');
  return text;
}

os::ChildProcess ProgramRunner::Start(const std::string& program,
                                      std::vector<std::string> arguments,
                                      const std::string& name) const {
  os::ChildProcess::Options options;
  options.arguments = std::move(arguments);
  options.environment = environment;
  options.stdoutPath = dir_.File(name + ".out");
  options.stderrPath = dir_.File(name + ".err");
  return os::ChildProcess::Start(BuildProgram(program), options);
}

ProgramRunner::Result ProgramRunner::Call(std::vector<std::string> arguments) const {
  os::ChildProcess call = Start("tools/kqm-call/kqm-call", std::move(arguments), "call");
  Result result;
  result.exitCode = call.WaitFor(std::chrono::seconds(60)).value_or(-1);
  result.out = Out("call");
  result.err = Err("call");
  return result;
}

}  // namespace vtps_test
