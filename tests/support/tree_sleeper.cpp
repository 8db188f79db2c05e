// A stand-in for a processor that never ends and leaves a child behind: `tree-sleeper FILE
// SECONDS` starts a copy of itself that sleeps, writes "<own id> <child id>" into FILE,
// and sleeps SECONDS. Tests use it to check that ending a process tree reaches the child.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/os/child_process.h"
#include "platform/os/os.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--child") {
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[2])));
    return 0;
  }
  if (argc != 3)
    return 2;
  os::ChildProcess::Options options;
  options.arguments = {"--child", argv[2]};
  os::ChildProcess child = os::ChildProcess::Start(argv[0], options);
  {
    // Written whole under another name first, so a reader never sees half of it.
    std::string partial = std::string(argv[1]) + ".part";
    std::ofstream(partial) << os::ProcessId() << ' ' << child.Id() << '\n';
    std::rename(partial.c_str(), argv[1]);
  }
  std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[2])));
  return 0;
}
