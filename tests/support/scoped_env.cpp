#include "tests/support/scoped_env.h"

#include <utility>

#include "platform/os/os.h"

namespace vtps_test {

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)), original_(os::GetEnv(name_.c_str())) {
  Set(value);
}

ScopedEnv::~ScopedEnv() {
  try {
    Set(original_);
  } catch (...) {
    // A destructor must not throw; the next test that needs the variable sets it itself.
  }
}

void ScopedEnv::Set(const std::optional<std::string>& value) {
  if (value) {
    os::SetEnv(name_.c_str(), *value);
  } else {
    os::UnsetEnv(name_.c_str());
  }
}

}  // namespace vtps_test
