#include "processors/pdf/entry/processor_main.h"

#include <filesystem>
#include <iostream>
#include <new>
#include <string>

#include "platform/os/os.h"
#include "processors/pdf/document/damage_watch.h"
#include "processors/pdf/document/run_limits.h"
#include "processors/pdf/run/job_run.h"
#include "processors/pdf/run/page_budget.h"

namespace pdf::entry {

namespace {

KQ_TDict RunOperation(Operation operation, const run::JobStart& start, std::string& workingOn) {
  run::PathResolver paths(start.settings.paths);
  run::PageBudget budget(run::MaxPagesSetting(start.settings.maxPages));
  document::RunLimits limits(start.limits);
  limits.images = run::ImageBudget(run::MaxImageBytesSetting(start.settings.maxImageBytes));
  document::OperationContext context(paths, budget, limits);
  KQ_TDict answer;
  try {
    answer = operation(run::JobParameters(start.parameters), context);
    // Reads made after the last write (or in an operation that writes nothing) count too.
    limits.damage.Check();
  } catch (const std::bad_alloc&) {
    workingOn = limits.workingOn;
    throw;
  }
  if (!limits.damage.Recovered().empty()) {
    // After the operation's own warnings, where it gave some.
    KQ_TArray warnings;
    if (const KQ_TAny* own = answer.Find("warning"))
      if (const KQ_TArray* list = own->DynamicCast<KQ_TArray>())
        warnings = *list;
    for (const std::string& warning : limits.damage.Recovered())
      warnings.Append(warning);
    answer["warning"] = warnings;
  }
  // A successful run's documents are left for the process's end to free; a failed run's
  // are freed on the way out, leaving their memory to the error answer.
  limits.damage.KeepDocumentsUntilExit();
  return answer;
}

}  // namespace

int RunProcessor(int argc, char** argv, const OperationTable& operations) {
  std::string program = argc > 0 ? argv[0] : "";
  const OperationEntry* operation = FindOperation(operations, program);
  if (operation == nullptr) {
    std::cerr << "this PDF processor must be started as one of:";
    for (const OperationEntry& entry : operations)
      std::cerr << " " << entry.program;
    std::cerr << "\n";
    return run::kExitUsage;
  }
  if (argc != 4 || std::string(argv[1]) != "-r" || std::string(argv[2]) != "-i") {
    std::cerr << "usage: " << operation->program << " -r -i JOBFILE\n";
    return run::kExitUsage;
  }
  std::error_code error;
  if (!std::filesystem::is_regular_file(argv[3], error)) {
    std::cerr << operation->program << ": the job file " << argv[3] << " does not exist\n";
    return run::kExitUsage;
  }
  // A run may hold one open file per output it writes (each part of a split) until all are
  // complete.
  os::RaiseDescriptorLimit();
  Operation run = operation->run;
  return run::RunJob([run](const run::JobStart& start,
                           std::string& workingOn) { return RunOperation(run, start, workingOn); },
                     argv[3], run::SettingsFromEnvironment(), &document::FreeKeptDocuments);
}

}  // namespace pdf::entry
