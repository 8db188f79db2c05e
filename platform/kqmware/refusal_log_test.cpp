#include "platform/kqmware/refusal_log.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;

TEST(RefusalLog, OneLineASecondCountingWhatWasHeldBack) {
  kqm::RefusalLog log;
  auto start = kqm::RefusalLog::Clock::now();
  struct Step {
    int atMs;
    const char* expected;  // nullptr: held back
  };
  const Step steps[] = {
      {0, "a"},        {10, nullptr},
      {999, nullptr},  {1000, "d (2 more refused since the last such line)"},
      {1500, nullptr}, {2000, "f (1 more refused since the last such line)"},
      {5000, "g"},
  };
  const char* names[] = {"a", "b", "c", "d", "e", "f", "g"};
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    std::optional<std::string> line = log.Refused(start + milliseconds(steps[i].atMs), names[i]);
    if (steps[i].expected == nullptr) {
      EXPECT_FALSE(line.has_value()) << "at " << steps[i].atMs << " ms: " << *line;
    } else {
      EXPECT_EQ(line.value_or("(held back)"), steps[i].expected) << "at " << steps[i].atMs << " ms";
    }
  }
}

TEST(RefusalLog, CountsHeldBackEventsWithItsOwnWord) {
  kqm::RefusalLog log("failed");
  auto start = kqm::RefusalLog::Clock::now();
  EXPECT_EQ(log.Refused(start, "a").value_or("(held back)"), "a");
  EXPECT_FALSE(log.Refused(start + milliseconds(1), "b").has_value());
  EXPECT_EQ(log.Refused(start + milliseconds(1000), "c").value_or("(held back)"),
            "c (1 more failed since the last such line)");
}

}  // namespace
