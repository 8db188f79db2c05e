#include "processors/pdf/processor_main.h"

#include <filesystem>
#include <iostream>
#include <string>

#include "platform/os/os.h"
#include "processors/pdf/processor_run.h"

int RunProcessor(int argc, char** argv, const OperationTable& operations) {
  std::string program = argc > 0 ? argv[0] : "";
  const OperationEntry* operation = FindOperation(operations, program);
  if (operation == nullptr) {
    std::cerr << "this PDF processor must be started as one of:";
    for (const OperationEntry& entry : operations)
      std::cerr << " " << entry.program;
    std::cerr << "\n";
    return kExitUsage;
  }
  if (argc != 4 || std::string(argv[1]) != "-r" || std::string(argv[2]) != "-i") {
    std::cerr << "usage: " << operation->program << " -r -i JOBFILE\n";
    return kExitUsage;
  }
  std::error_code error;
  if (!std::filesystem::is_regular_file(argv[3], error)) {
    std::cerr << operation->program << ": the job file " << argv[3] << " does not exist\n";
    return kExitUsage;
  }
  // A run may hold one open file per output it writes (each part of a split) until all are
  // complete.
  os::RaiseDescriptorLimit();
  return RunJob(operation->run, argv[3], SettingsFromEnvironment());
}
