#include "processors/pdf/processor_run.h"

#include <iostream>
#include <new>

#include "jobs/job_file.h"
#include "mapping/dict_to_tree.h"
#include "mapping/tree_to_dict.h"
#include "platform/os/os.h"
#include "processors/pdf/output_file.h"
#include "processors/pdf/pdf_error.h"

namespace {

KQ_TDict ErrorAnswer(const std::string& message) {
  KQ_TDict answer;
  answer["error"] = message;
  return answer;
}

KQ_TDict RunOperation(Operation operation, const std::string& jobPath, const RunSettings& settings,
                      int& exitCode) {
  exitCode = kExitFailed;
  try {
    KQ_TDict parameters;
    try {
      TreeToDict(ReadJobFile(jobPath), parameters);
    } catch (const std::string& reason) {
      throw PdfError("the job file cannot be read: " + reason);
    }
    // Every operation needs parameters; an empty file most likely means the server could
    // not write them, which "parameter file is missing" would hide.
    if (parameters.Empty())
      throw PdfError(
          "the job file holds no parameters (the server writes none when it cannot write "
          "them all, for instance a number not sent as a string)");
    PathResolver paths(settings.paths);
    PageBudget budget(MaxPagesSetting(settings.maxPages));
    OperationContext context(paths, budget);
    KQ_TDict answer = operation(JobParameters(parameters), context);
    exitCode = kExitSuccess;
    return answer;
  } catch (const PdfError& e) {
    return ErrorAnswer(e.what());
  } catch (const std::bad_alloc&) {
    return ErrorAnswer("out of memory");
  } catch (const std::exception& e) {
    // qpdf and poppler failures the operations did not expect; each names its file.
    return ErrorAnswer(std::string("the operation failed: ") + e.what());
  }
}

}  // namespace

RunSettings SettingsFromEnvironment() {
  return {{os::GetEnv("VTPS_PDF_ROOT"), os::GetEnv("VTPS_PDF_UNCONFINED")},
          os::GetEnv("VTPS_PDF_MAX_PAGES")};
}

int RunJob(Operation operation, const std::string& jobPath, const RunSettings& settings) {
  int exitCode = kExitFailed;
  KQ_TDict answer = RunOperation(operation, jobPath, settings, exitCode);
  boost::property_tree::ptree tree = DictToTree(answer);
  if (tree.empty() && !answer.Empty()) {
    exitCode = kExitFailed;
    tree = DictToTree(ErrorAnswer("the answer cannot be written as XML"));
  }
  try {
    std::unique_ptr<OutputFile> output = OutputFile::AtPath(jobPath);
    WriteJobFile(tree, output->WritablePath());
    output->Commit();
  } catch (const std::exception& e) {
    std::cerr << "cannot write the answer to " << jobPath << ": " << e.what() << "\n";
    return kExitAnswerNotWritten;
  }
  return exitCode;
}
