// JobParameters: typed, checked access to the parameters a job file holds, as TreeToDict
// gives them (every value a string, a sub-dictionary, or an array under the key K + "Array"
// holding {K: array}). Every refusal is a PdfError naming the parameter, so the client
// learns which one to fix.
//
// The object borrows the dictionary, which must outlive it. Use from one thread.
#pragma once

#include <optional>
#include <string>

#include "platform/kqtypes/kq_array.h"
#include "platform/kqtypes/kq_dict.h"

namespace pdf::run {

class JobParameters {
 public:
  // `prefix` goes before each parameter name in messages (for an element of an array,
  // "input[2]." gives "input[2].pages").
  explicit JobParameters(const KQ_TDict& dictionary, std::string prefix = "");

  // The full name of `name` as messages show it.
  std::string Name(const std::string& name) const { return prefix_ + name; }

  // The string `name`. Throws PdfError when it is missing or not a string.
  std::string String(const std::string& name) const;
  // The string `name`, or nullopt when it is missing. Throws PdfError when it is not a
  // string.
  std::optional<std::string> OptionalString(const std::string& name) const;
  // "true" or "false"; `fallback` when missing. Throws PdfError for any other value.
  bool Bool(const std::string& name, bool fallback) const;
  // A whole number in plain decimal from `min` to `max`; `fallback` when missing. Throws
  // PdfError for any other text or a number out of range.
  long long Integer(const std::string& name, long long fallback, long long min,
                    long long max) const;
  // Like Integer, for a parameter that must be given.
  long long RequiredInteger(const std::string& name, long long min, long long max) const;
  // The array `name` (sent as an array, so the job file holds `name` + "Array"). Throws
  // PdfError when it is missing, empty or not an array.
  const KQ_TArray& Array(const std::string& name) const;
  // The dictionary `name`, or null when it is missing. Throws PdfError when it is something
  // else (an empty dictionary arrives as an empty string and is refused too).
  const KQ_TDict* OptionalDictionary(const std::string& name) const;
  // Whether `name` was given in any form: a string, a dictionary or an array.
  bool Has(const std::string& name) const {
    return Find(name) != nullptr || Find(name + "Array") != nullptr;
  }

 private:
  const KQ_TAny* Find(const std::string& name) const;
  long long ParseInteger(const std::string& name, const std::string& text, long long min,
                         long long max) const;

  const KQ_TDict& dictionary_;
  std::string prefix_;
};

}  // namespace pdf::run
