#include "tests/pdf_job.h"

#include <signal.h>

#include <fstream>
#include <sstream>

#include "jobs/job_file.h"
#include "mapping/dict_to_tree.h"
#include "mapping/tree_to_dict.h"
#include "platform/os/child_process.h"
#include "tests/support/test_support.h"

namespace vtps_test {

KQ_TArray Array(std::initializer_list<KQ_TAny> elements) {
  KQ_TArray array;
  for (const KQ_TAny& element : elements)
    array.Append(element);
  return array;
}

KQ_TDict Dict(std::initializer_list<std::pair<const char*, KQ_TAny>> entries) {
  KQ_TDict dict;
  for (const auto& entry : entries)
    dict[entry.first] = entry.second;
  return dict;
}

std::string Show(const KQ_TDict& dict) {
  std::ostringstream out;
  dict.PrintOn(out);
  return out.str();
}

std::string Text(const KQ_TDict& dict, const char* key) {
  const KQ_TString* text = dict[key].DynamicCast<KQ_TString>();
  return text == nullptr ? "(not a string)" : text->Text();
}

KQ_TArray AnswerArray(const KQ_TDict& answer, const std::string& key) {
  const KQ_TDict* wrapper = answer[key + "Array"].DynamicCast<KQ_TDict>();
  const KQ_TArray* array = wrapper == nullptr ? nullptr : (*wrapper)[key].DynamicCast<KQ_TArray>();
  return array == nullptr ? KQ_TArray() : *array;
}

const KQ_TDict& Element(const KQ_TArray& array, std::size_t index) {
  static const KQ_TDict empty;
  const KQ_TDict* dict = array[index].DynamicCast<KQ_TDict>();
  return dict == nullptr ? empty : *dict;
}

PdfJobRun RunPdfProgram(const std::string& program, const KQ_TDict& parameters,
                        const std::string& jobPath, const std::string& stderrPath,
                        const std::vector<std::pair<std::string, std::string>>& environment) {
  WriteJobFile(DictToTree(parameters), jobPath);
  os::ChildProcess::Options options;
  options.arguments = {"-r", "-i", jobPath};
  options.environment = environment;
  options.stderrPath = stderrPath;
  os::ChildProcess child = os::ChildProcess::Start(BuildProgram("processors/" + program), options);
  PdfJobRun run;
  run.exitCode = child.WaitFor(std::chrono::seconds(180)).value_or(-1);
  TreeToDict(ReadJobFile(jobPath), run.answer);
  return run;
}

void StopEngine(const std::string& folder) {
  std::ifstream pidFile(folder + "/engine.pid");
  int pid = 0;
  if (!(pidFile >> pid) || pid <= 0)
    return;
  ::kill(pid, SIGTERM);
  WaitUntil([pid] { return ::kill(pid, 0) != 0; });
}

}  // namespace vtps_test
