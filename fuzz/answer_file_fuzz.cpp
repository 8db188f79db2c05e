// libFuzzer target: any bytes, as the answer a processor leaves in its job file, read back
// through ReadJobFile and TreeToDict. Reading never throws; the conversion throws only its
// MappingError about a misnamed array element.
#include <cstddef>
#include <cstdint>
#include <string>

#include "jobs/job_file.h"
#include "mapping/tree_to_dict.h"
#include "platform/kqtypes/kqtypes.h"
#include "tests/support/test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = __KQ_INITIALIZATION_FUNCTION_kqtypes__();
  (void)ready;
  // ReadJobFile reads from a path: one file per process, overwritten for every input.
  static const vtps_test::TempDir dir;
  static const std::string path = dir.File("answer.xml");
  vtps_test::WriteFile(path, std::string(reinterpret_cast<const char*>(data), size));
  boost::property_tree::ptree tree = ReadJobFile(path);
  KQ_TDict answer;
  try {
    TreeToDict(tree, answer);
  } catch (const MappingError&) {
  }
  return 0;
}
