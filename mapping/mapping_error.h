// MappingError, what the conversion of a dictionary into a property tree throws when it
// refuses the dictionary: its message names the key, text or value refused and why. A plain
// value, copied and thrown like any std::runtime_error.
#pragma once

#include <stdexcept>

class MappingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
