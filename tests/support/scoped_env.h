// ScopedEnv: gives one environment variable a value, or removes it, for as long as the
// object lives, and puts back what the variable held before when it goes (also when a test
// fails or throws half-way). The process environment is shared, so use it on the test's
// own thread, before the threads that read the variable start.
#pragma once

#include <optional>
#include <string>

namespace vtps_test {

class ScopedEnv {
 public:
  // Sets `name` to `value`, or unsets it when `value` is nullopt.
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  // Changes the value again (nullopt: unsets); the destructor still restores the original.
  void Set(const std::optional<std::string>& value);

 private:
  std::string name_;
  std::optional<std::string> original_;
};

}  // namespace vtps_test
