// Load driver: Execute with the processor that leaves the job file untouched, against
// running the same command line alone (os::RunCommandLine, the shell as system() runs it),
// interleaved in one run so that both see the same machine. The difference is what the mapping and
// the job file cost on top of starting the program. Prints the medians and their ratio.
//
//   build/linux/bench/execute_bench [rounds, default 300]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "jobs/command_line.h"
#include "jobs/execute.h"
#include "jobs/job_file.h"
#include "mapping/dict_to_tree.h"
#include "platform/kqmware/kqmware.h"
#include "platform/kqmware/program_options.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/os.h"

using Clock = std::chrono::steady_clock;

namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

KQ_TDict Parameters() {
  KQ_TDict parameters;
  parameters["file"] = "C:/Documents/report.pdf";
  parameters["output"] = "C:/Documents/report-signed.pdf";
  KQ_TDict options;
  options["mode"] = "sign";
  options["quality"] = "high";
  parameters["options"] = options;
  KQ_TArray pages;
  for (int i = 1; i <= 5; ++i)
    pages.Append(std::to_string(i));
  parameters["page"] = pages;
  return parameters;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
  kqm::UseProgramOptions(kqm::ProgramOptions::FromEnvironment());
  __KQ_INITIALIZATION_FUNCTION_KQMWare__();
  std::filesystem::path work = std::filesystem::temp_directory_path() / "vtps-execute-bench";
  std::filesystem::create_directories(work);

  ProcessorTable processors{{KQ_TString("Untouched"), KQ_TString("untouched.sh")}};
  KQ_TString progPathEnvVar;
  KQ_TString programDirectory(std::string(VTPS_SOURCE_DIR) + "/processors/test/");
  KQ_TURL workingDirectory(KQ_TString("file://" + work.string()));
  ExecuteConfiguration configuration{processors, progPathEnvVar, programDirectory,
                                     workingDirectory};
  KQM_TServer channel;  // only its debug channel is used, at level 0
  KQ_TDict parameters = Parameters();

  // The bare run: the same command line on a job file written once beforehand.
  std::string job = (work / "bare.xml").string();
  WriteJobFile(DictToTree(parameters), job);
  std::string commandLine = BuildCommandLine(os::CommandDialect::kPosix, "",
                                             programDirectory.Text(), "untouched.sh", job);

  std::vector<double> execute;
  std::vector<double> bare;
  for (int round = 0; round < rounds + 20; ++round) {
    auto start = Clock::now();
    KQ_TDict answer = ExecuteJob(channel, configuration, KQ_TString("Untouched"), parameters);
    auto middle = Clock::now();
    int status = os::RunCommandLine(commandLine);
    auto end = Clock::now();
    if (answer.Count() != parameters.Count() || status != 0) {
      std::fprintf(stderr, "execute_bench: a run failed (status %d)\n", status);
      return 1;
    }
    if (round < 20)
      continue;  // warm-up
    execute.push_back(std::chrono::duration<double, std::micro>(middle - start).count());
    bare.push_back(std::chrono::duration<double, std::micro>(end - middle).count());
  }
  std::filesystem::remove_all(work);
  double executeMedian = Median(execute);
  double bareMedian = Median(bare);
  std::printf("%d rounds, parameters: %zu entries\n", rounds, parameters.Count());
  std::printf("Execute (untouched processor)  median %8.1f us\n", executeMedian);
  std::printf("the command line alone        median %8.1f us\n", bareMedian);
  std::printf("ratio %.3f (Execute costs %.1f us more)\n", executeMedian / bareMedian,
              executeMedian - bareMedian);
  return 0;
}
