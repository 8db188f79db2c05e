#include "processors/pdf/processor_run.h"

#include <iostream>
#include <new>

#include "jobs/job_file.h"
#include "mapping/dict_to_tree.h"
#include "mapping/tree_to_dict.h"
#include "platform/os/address_space.h"
#include "platform/os/os.h"
#include "platform/os/quiet_stderr.h"
#include "processors/pdf/limit_settings.h"
#include "processors/pdf/output_file.h"
#include "processors/pdf/pdf_error.h"
#include "processors/pdf/run_limits.h"

namespace {

KQ_TDict ErrorAnswer(const std::string& message) {
  KQ_TDict answer;
  answer["error"] = message;
  return answer;
}

KQ_TDict RunOperation(Operation operation, const std::string& jobPath, const RunSettings& settings,
                      int& exitCode) {
  exitCode = kExitFailed;
  // Outlives the run's limits, so that an allocation failure can still say what it hit.
  std::string workingOn = "the job";
  try {
    LimitSettings limitSettings =
        ReadLimitSettings(settings.maxStreamBytes, settings.maxMemoryMb, settings.maxOutputBytes);
    limitSettings.maxAttachmentBytes = MaxAttachmentBytesSetting(settings.maxAttachmentBytes);
    if (int error =
            os::LimitAddressSpace(static_cast<std::uint64_t>(limitSettings.maxMemoryMb) << 20))
      throw PdfError("VTPS_PDF_MAX_MEMORY_MB cannot be applied: " + os::ErrorText(error));
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
    RunLimits limits(limitSettings);
    limits.images = ImageBudget(MaxImageBytesSetting(settings.maxImageBytes));
    OperationContext context(paths, budget, limits);
    KQ_TDict answer;
    try {
      answer = operation(JobParameters(parameters), context);
      // Reads made after the last write (or in an operation that writes nothing) count too.
      limits.damage.Check();
    } catch (const std::bad_alloc&) {
      workingOn = limits.workingOn;
      throw;
    }
    if (!limits.damage.Recovered().empty()) {
      KQ_TArray warnings;
      for (const std::string& warning : limits.damage.Recovered())
        warnings.Append(warning);
      answer["warning"] = warnings;
    }
    // A successful run's documents are left for the process's end to free; a failed run's
    // are freed on the way out, leaving their memory to the error answer.
    limits.damage.KeepDocumentsUntilExit();
    exitCode = kExitSuccess;
    return answer;
  } catch (const PdfError& e) {
    return ErrorAnswer(e.what());
  } catch (const std::bad_alloc&) {
    return ErrorAnswer(OutOfMemoryMessage(workingOn));
  } catch (const std::exception& e) {
    // qpdf and poppler failures the operations did not expect; each names its file.
    return ErrorAnswer(std::string("the operation failed: ") + e.what());
  }
}

// Writes `answer` into the job file (an error answer instead when it cannot be written as
// XML, setting `exitCode` to kExitFailed). Throws std::bad_alloc when memory runs out and
// std::exception when the file cannot be written.
void WriteAnswer(const KQ_TDict& answer, const std::string& jobPath, int& exitCode) {
  boost::property_tree::ptree tree = DictToTree(answer);
  if (tree.empty() && !answer.Empty()) {
    exitCode = kExitFailed;
    tree = DictToTree(ErrorAnswer("the answer cannot be written as XML"));
  }
  std::unique_ptr<OutputFile> output = OutputFile::AtPath(jobPath);
  WriteJobFile(tree, output->WritablePath());
  output->Commit();
}

}  // namespace

RunSettings SettingsFromEnvironment() {
  return {{os::GetEnv("VTPS_PDF_ROOT"), os::GetEnv("VTPS_PDF_UNCONFINED")},
          os::GetEnv("VTPS_PDF_MAX_PAGES"),
          os::GetEnv("VTPS_PDF_MAX_STREAM_BYTES"),
          os::GetEnv("VTPS_PDF_MAX_MEMORY_MB"),
          os::GetEnv("VTPS_PDF_MAX_OUTPUT_BYTES"),
          os::GetEnv("VTPS_PDF_MAX_ATTACHMENT_BYTES"),
          os::GetEnv("VTPS_PDF_MAX_IMAGE_BYTES")};
}

int RunJob(Operation operation, const std::string& jobPath, const RunSettings& settings) {
  int exitCode = kExitFailed;
  KQ_TDict answer;
  {
    os::QuietStandardError quiet;
    answer = RunOperation(operation, jobPath, settings, exitCode);
  }
  // Writing the answer needs memory that the kept documents may hold: when it runs out, they
  // are freed and the answer written again; when it runs out again, the answer is that.
  for (int attempt = 1;; ++attempt) {
    try {
      WriteAnswer(answer, jobPath, exitCode);
      return exitCode;
    } catch (const std::bad_alloc&) {
      if (attempt == 1) {
        FreeKeptDocuments();
      } else if (attempt == 2) {
        answer = ErrorAnswer(OutOfMemoryMessage("the answer"));
        exitCode = kExitFailed;
      } else {
        std::cerr << "cannot write the answer to " << jobPath << ": out of memory\n";
        return kExitAnswerNotWritten;
      }
    } catch (const std::exception& e) {
      std::cerr << "cannot write the answer to " << jobPath << ": " << e.what() << "\n";
      return kExitAnswerNotWritten;
    }
  }
}
