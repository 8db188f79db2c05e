#include "processors/pdf/run/job_run.h"

#include <iostream>
#include <new>

#include "jobs/job_file.h"
#include "mapping/dict_to_tree.h"
#include "mapping/tree_to_dict.h"
#include "platform/kqtypes/kqtypes.h"
#include "platform/os/address_space.h"
#include "platform/os/os.h"
#include "platform/os/quiet_stderr.h"
#include "processors/pdf/run/output_file.h"
#include "processors/pdf/run/xml_answer.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

namespace {

// A library that caught an allocation failure and threw its own error, or a message built
// around one, still means memory ran out: the answer names the memory limit instead.
bool WrapsOutOfMemory(const std::exception& e) {
  return std::string(e.what()).find("std::bad_alloc") != std::string::npos;
}

KQ_TDict ErrorAnswer(const std::string& message) {
  KQ_TDict answer;
  answer["error"] = message;
  return answer;
}

KQ_TDict DoWork(const JobWork& work, const std::string& jobPath, const RunSettings& settings,
                int& exitCode) {
  exitCode = kExitFailed;
  std::string workingOn = "the job";
  try {
    LimitSettings limits =
        ReadLimitSettings(settings.maxStreamBytes, settings.maxMemoryMb, settings.maxOutputBytes);
    limits.maxAttachmentBytes = MaxAttachmentBytesSetting(settings.maxAttachmentBytes);
    ReadRunBudgets(settings.maxDecodedBytes, settings.maxPageOperators, settings.maxRunOperators,
                   limits);
    if (int error = os::LimitAddressSpace(static_cast<std::uint64_t>(limits.maxMemoryMb) << 20))
      throw PdfError("VTPS_PDF_MAX_MEMORY_MB cannot be applied: " + os::ErrorText(error));
    KQ_TDict parameters;
    try {
      TreeToDict(ReadJobFile(jobPath), parameters);
    } catch (const MappingError& refusal) {
      throw PdfError(std::string("the job file cannot be read: ") + refusal.what());
    }
    // Every operation needs parameters; an empty file most likely means the server could
    // not write them, which "parameter file is missing" would hide.
    if (parameters.Empty())
      throw PdfError(
          "the job file holds no parameters (the server writes none when it cannot write "
          "them all, for instance a number not sent as a string)");
    KQ_TDict answer = work(JobStart{parameters, settings, limits}, workingOn);
    exitCode = kExitSuccess;
    return answer;
  } catch (const PdfError& e) {
    return ErrorAnswer(WrapsOutOfMemory(e) ? OutOfMemoryMessage(workingOn) : e.what());
  } catch (const std::bad_alloc&) {
    return ErrorAnswer(OutOfMemoryMessage(workingOn));
  } catch (const std::exception& e) {
    // Library failures the work did not expect; each names its file.
    return ErrorAnswer(WrapsOutOfMemory(e) ? OutOfMemoryMessage(workingOn)
                                           : std::string("the operation failed: ") + e.what());
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

// Replaces what XML cannot carry in `answer`; a successful one gets a warning naming where.
void MakeFitForXml(KQ_TDict& answer, int exitCode) {
  std::vector<std::string> places = ReplaceCharactersXmlForbids(answer);
  if (places.empty() || exitCode != kExitSuccess)
    return;
  KQ_TArray warnings;
  if (const KQ_TArray* earlier = answer["warning"].DynamicCast<KQ_TArray>())
    warnings = *earlier;
  warnings.Append(ReplacedCharactersWarning(places));
  answer["warning"] = warnings;
}

}  // namespace

RunSettings SettingsFromEnvironment() {
  return {{os::GetEnv("VTPS_PDF_ROOT"), os::GetEnv("VTPS_PDF_UNCONFINED")},
          os::GetEnv("VTPS_PDF_MAX_PAGES"),
          os::GetEnv("VTPS_PDF_MAX_STREAM_BYTES"),
          os::GetEnv("VTPS_PDF_MAX_MEMORY_MB"),
          os::GetEnv("VTPS_PDF_MAX_OUTPUT_BYTES"),
          os::GetEnv("VTPS_PDF_MAX_ATTACHMENT_BYTES"),
          os::GetEnv("VTPS_PDF_MAX_IMAGE_BYTES"),
          os::GetEnv("VTPS_PDF_MAX_DECODED_BYTES"),
          os::GetEnv("VTPS_PDF_MAX_PAGE_OPERATORS"),
          os::GetEnv("VTPS_PDF_MAX_RUN_OPERATORS")};
}

int RunJob(const JobWork& work, const std::string& jobPath, const RunSettings& settings,
           const std::function<void()>& releaseMemory) {
  int exitCode = kExitFailed;
  KQ_TDict answer;
  {
    os::QuietStandardError quiet;
    answer = DoWork(work, jobPath, settings, exitCode);
  }
  MakeFitForXml(answer, exitCode);
  // Writing the answer needs memory that the work may still hold: when it runs out, that is
  // released and the answer written again; when it runs out again, the answer is that.
  bool released = !releaseMemory;
  bool shortened = false;
  for (;;) {
    try {
      WriteAnswer(answer, jobPath, exitCode);
      return exitCode;
    } catch (const std::bad_alloc&) {
      if (!released) {
        releaseMemory();
        released = true;
      } else if (!shortened) {
        answer = ErrorAnswer(OutOfMemoryMessage("the answer"));
        exitCode = kExitFailed;
        shortened = true;
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

}  // namespace pdf::run
