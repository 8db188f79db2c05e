#include "jobs/execute.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <system_error>

#include <boost/property_tree/xml_parser.hpp>

#include "jobs/command_line.h"
#include "jobs/job_file.h"
#include "jobs/job_secrets.h"
#include "mapping/dict_to_tree.h"
#include "mapping/tree_to_dict.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/os/os.h"

namespace {

// The line of a run that failed before or after the processor: to start it, to read or to
// convert its answer.
const std::string kSpawnFailure = "VantricProcessServer Exception when spawning the command.";

using boost::property_tree::xml_parser_error;

// At this debug level and above every job file is kept for inspection.
constexpr int kKeepJobFilesLevel = 5;

// Removes the secret values from the job file at `path`, which stays, and says so at
// `level`.
void KeepJobFile(const DebugChannel& debug, const ExecuteConfiguration& configuration,
                 const std::string& path, int level) {
  SecretRemoval removal =
      RemoveSecretsFromJobFile(path, configuration.secretKeys, configuration.maxAnswerBytes);
  if (std::optional<std::string> line = KeptJobFileLine(path, removal))
    debug.DBG_Type(level, *line);
}

}  // namespace

KQ_TDict ExecuteJob(const DebugChannel& debug, const ExecuteConfiguration& configuration,
                    const KQ_TString& method, const KQ_TDict& parameters) {
  debug.DBG_Type(1, "Receiving Execute call");
  auto processor = configuration.processors.find(method);
  if (processor == configuration.processors.end()) {
    debug.DBG_Type(0, "VantricProcessServer Exception Processor not found.");
    return KQ_TDict();
  }

  std::string jobFilePath = MakeJobFilePath(configuration.workingDirectory, method);
  std::string refused;
  boost::property_tree::ptree jobTree = DictToTree(parameters, refused);
  if (!refused.empty())
    debug.DBG_Type(0, "VantricProcessServer Exception Parameters refused: " + refused);
  const std::string generating = "VantricProcessServer Exception when generating XML file.";
  try {
    jobFilePath = WriteNewJobFile(jobTree, jobFilePath);
  } catch (const xml_parser_error& error) {
    bool written = error.message() == kJobFileWriteError;
    debug.DBG_Type(0, generating + " Reason: " +
                          (written ? "cannot write " + error.filename() : error.message()));
    // Whatever was written stays on disk for inspection, without secrets where it can be read.
    if (written)
      KeepJobFile(debug, configuration, error.filename(), 0);
    return KQ_TDict();
  } catch (...) {
    debug.DBG_Type(0, generating);
    return KQ_TDict();
  }

  // The command line takes the program file and directory as C strings: a value holding a
  // NUL ends there, as the command interpreter would read it.
  std::string program = processor->second.c_str();
  os::CommandDialect dialect = os::NativeCommandDialect();
  std::string base;
  if (!configuration.progPathEnvVar.Empty()) {
    base = ProgramBaseDirectory(os::GetEnv(configuration.progPathEnvVar.c_str()), dialect);
    if (base.empty())
      debug.DBG_Type(2, "Program Path Environment Variable is undefined");
  }
  std::string commandLine =
      BuildCommandLine(dialect, base, configuration.programDirectory.c_str(), program, jobFilePath);

  KQ_TDict answer;
  int exitStatus = 0;
  try {
    debug.DBG_Type(
        3, KQ_TString::Format("Executing following command: %s", commandLine.c_str()).Text());
    std::chrono::milliseconds timeLimit = std::chrono::seconds(configuration.timeLimitSeconds);
    os::CommandResult run =
        configuration.runCommand
            ? configuration.runCommand(commandLine, timeLimit, configuration.memoryLimitMiB)
            : os::RunCommandTree(commandLine, timeLimit, configuration.memoryLimitMiB);
    exitStatus = run.status;
    if (!run.failure.empty())
      debug.DBG_Type(0, kSpawnFailure + " Reason: " + run.failure + ".");
    if (run.ended != os::CommandResult::Ended::kNo) {
      std::int64_t seconds = run.ended == os::CommandResult::Ended::kTimeLimit
                                 ? configuration.timeLimitSeconds
                                 : run.seconds;
      debug.DBG_Type(0, "VantricProcessServer Exception Processor time limit exceeded (" +
                            std::to_string(seconds) + " s).");
      // An ended tree is a failed run, whatever status the interpreter was left with.
      if (exitStatus == 0)
        exitStatus = -1;
    }
    if (run.memoryLimitExceeded) {
      debug.DBG_Type(0, "VantricProcessServer Exception Processor memory limit exceeded (" +
                            std::to_string(configuration.memoryLimitMiB) + " MiB).");
      // The process saw its allocation fail and may have carried on to exit with 0.
      if (exitStatus == 0)
        exitStatus = -1;
    }
    if (exitStatus != 0)
      debug.DBG_Type(0, "Failed to spawn command : " + commandLine);
    std::error_code sizeError;
    std::uintmax_t answerBytes = std::filesystem::file_size(jobFilePath, sizeError);
    if (!sizeError && configuration.maxAnswerBytes > 0 &&
        answerBytes > configuration.maxAnswerBytes) {
      // Reading costs many times the file's size in memory, for an answer that could not
      // be sent anyway.
      debug.DBG_Type(0, "VantricProcessServer Exception Answer file too large (" +
                            std::to_string(answerBytes) + " bytes).");
    } else {
      std::string unreadable;
      boost::property_tree::ptree answerTree = ReadJobFile(jobFilePath, unreadable);
      // The answer stays empty, as for a missing file, but the log says why.
      if (!unreadable.empty())
        debug.DBG_Type(
            0, "VantricProcessServer Exception Answer file unreadable: " + unreadable + ".");
      TreeToDict(answerTree, answer);
    }
  } catch (const KQ_EException& error) {
    debug.DBG_Type(0, kSpawnFailure + " Reason: " + error.KQ_Message().Text() + ".");
  } catch (const std::exception& error) {
    // The answer's conversion (TreeToDict's MappingError) among them.
    debug.DBG_Type(0, kSpawnFailure + " Reason: " + error.what() + ".");
  } catch (...) {
    debug.DBG_Type(0, kSpawnFailure);
  }

  if (exitStatus != 0)
    KeepJobFile(debug, configuration, jobFilePath, 0);
  else if (debug.GetDebugLevel() >= kKeepJobFilesLevel)
    KeepJobFile(debug, configuration, jobFilePath, kKeepJobFilesLevel);
  else
    os::RemoveFile(jobFilePath);
  return answer;
}
