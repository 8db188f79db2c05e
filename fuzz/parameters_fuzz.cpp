// libFuzzer target: a parameter dictionary decoded from the fuzz bytes goes the way of a
// request's parameters (DictToTree, WriteJobFile) and back the way of an answer
// (ReadJobFile, TreeToDict). A dictionary the mapping accepts must come back equal by the
// mapping's rules: an array K as the key K + "Array" holding {K: array}, an empty
// sub-dictionary as an empty string, an empty array not at all, texts up to their first NUL.
// Dictionaries using dotted keys, the tree library's markers, sub-dictionaries under a key
// ending in "Array" (read back as array containers), or two entries of the same element name
// are checked for safety only: their round trip is not one-to-one by design, and reading them
// back may throw TreeToDict's MappingError about a misnamed array element.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>

#include "jobs/job_file.h"
#include "mapping/dict_to_tree.h"
#include "mapping/tree_to_dict.h"
#include "platform/kqtypes/kqtypes.h"
#include "tests/support/test_support.h"

namespace {

std::optional<KQ_TDict> Expected(const KQ_TDict& dictionary);

// What an element holding `value` reads back as, or nothing when it is outside the
// one-to-one part of the mapping (or the mapping refuses it).
std::optional<KQ_TAny> ExpectedElement(const KQ_TAny& value) {
  if (const KQ_TString* text = value.DynamicCast<KQ_TString>())
    return KQ_TAny(std::string(text->c_str()));
  if (const KQ_TDict* inner = value.DynamicCast<KQ_TDict>()) {
    std::optional<KQ_TDict> expected = Expected(*inner);
    if (!expected)
      return std::nullopt;
    // An element without children reads back as its (empty) text.
    if (expected->Empty())
      return KQ_TAny("");
    return KQ_TAny(std::move(*expected));
  }
  return std::nullopt;
}

// Whether an element `name` holding `element` reads back as an array container: a name
// S + "Array" with child elements.
bool ReadsAsContainer(const std::string& name, const KQ_TAny& element) {
  return element.DynamicCast<KQ_TDict>() != nullptr && name.size() > 5 &&
         name.compare(name.size() - 5, 5, "Array") == 0;
}

std::optional<KQ_TDict> Expected(const KQ_TDict& dictionary) {
  KQ_TDict expected;
  std::set<std::string> names;
  for (const KQ_TDict::Entry& entry : dictionary) {
    std::string key = entry.key.c_str();
    if (key.empty() || key.find('.') != std::string::npos || key.front() == '<')
      return std::nullopt;
    if (const KQ_TArray* array = entry.value.DynamicCast<KQ_TArray>()) {
      if (array->Count() == 0)
        continue;
      KQ_TArray elements;
      for (std::size_t i = 0; i < array->Count(); ++i) {
        std::optional<KQ_TAny> element = ExpectedElement((*array)[i]);
        if (!element || ReadsAsContainer(key, *element))
          return std::nullopt;
        elements.Append(std::move(*element));
      }
      if (!names.insert(key + "Array").second)
        return std::nullopt;
      KQ_TDict wrapped;
      wrapped[key] = std::move(elements);
      expected[key + "Array"] = std::move(wrapped);
      continue;
    }
    std::optional<KQ_TAny> element = ExpectedElement(entry.value);
    if (!element || !names.insert(key).second)
      return std::nullopt;
    if (ReadsAsContainer(key, *element))
      return std::nullopt;
    expected[key] = std::move(*element);
  }
  return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = __KQ_INITIALIZATION_FUNCTION_kqtypes__();
  (void)ready;
  // The job file goes through a path: one file per process, overwritten for every input.
  static const vtps_test::TempDir dir;
  static const std::string path = dir.File("parameters.xml");

  KQ_TAny value;
  try {
    value = KQ_FromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const KQ_EException&) {
    return 0;
  }
  const KQ_TDict* parameters = value.DynamicCast<KQ_TDict>();
  if (parameters == nullptr)
    return 0;

  boost::property_tree::ptree tree = DictToTree(*parameters);
  std::optional<KQ_TDict> expected = Expected(*parameters);
  if (tree.empty()) {
    // Refused, or a dictionary that writes no element at all.
    if (expected && !expected->Empty()) {
      boost::property_tree::ptree probe;
      try {
        FillTreeFromDict(*parameters, probe);
      } catch (const MappingError&) {
        return 0;
      }
      std::abort();  // accepted, yet DictToTree gave nothing
    }
  }
  WriteJobFile(tree, path);
  KQ_TDict answer;
  try {
    TreeToDict(ReadJobFile(path), answer);
  } catch (const MappingError&) {
    if (expected && !tree.empty())
      std::abort();  // a one-to-one dictionary must read back
    return 0;
  }
  if (expected && !tree.empty() && !(KQ_TAny(answer) == KQ_TAny(*expected)))
    std::abort();
  return 0;
}
