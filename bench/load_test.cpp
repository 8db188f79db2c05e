#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "bench/load_options.h"
#include "bench/load_request.h"
#include "bench/load_statistics.h"
#include "platform/kqtypes/kqtypes.h"

namespace {

using load::Expect;

class LoadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { __KQ_INITIALIZATION_FUNCTION_kqtypes__(); }
};

TEST(LoadOptions, DefaultsAndValues) {
  load::LoadOptions options = load::ParseLoadOptions({"--requests", "10"});
  EXPECT_EQ(options.host, "localhost");
  EXPECT_EQ(options.service, "VantricProcessServer");
  EXPECT_EQ(options.method, "Help");
  EXPECT_EQ(options.expect, Expect::kTrue);
  EXPECT_EQ(options.connections, 1);
  EXPECT_EQ(options.requests, 10);

  options = load::ParseLoadOptions({"--host", "box", "--service", "S", "--port", "7410", "--method",
                                    "Echo", "--p1", "{}", "--connections", "8", "--seconds", "2.5",
                                    "--timeout", "1"});
  EXPECT_EQ(options.host, "box");
  EXPECT_EQ(options.port, 7410);
  EXPECT_EQ(options.expect, Expect::kEcho);  // a method other than Help echoes by default
  EXPECT_EQ(options.connections, 8);
  EXPECT_EQ(options.requests, 0);
  EXPECT_DOUBLE_EQ(options.seconds, 2.5);
  EXPECT_EQ(
      load::ParseLoadOptions({"--method", "Echo", "--expect", "any", "--requests", "1"}).expect,
      Expect::kAny);
  EXPECT_TRUE(load::ParseLoadOptions({"--help"}).help);
}

TEST(LoadOptions, RefusesWhatMakesNoRun) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--requests", "5", "--seconds", "1"},
      {"--requests", "0"},
      {"--requests", "12x"},
      {"--seconds", "-1"},
      {"--seconds", "nan"},
      {"--connections", "0", "--requests", "1"},
      {"--port", "70000", "--requests", "1"},
      {"--expect", "maybe", "--requests", "1"},
      {"--requests"},
      {"--bogus", "1"},
      {"stray"},
  };
  for (const auto& arguments : cases) {
    std::string line;
    for (const auto& argument : arguments)
      line += argument + " ";
    EXPECT_THROW(load::ParseLoadOptions(arguments), std::invalid_argument) << line;
  }
}

TEST(LoadStatistics, PercentilesAndCounts) {
  load::Tally first;
  first.right = 3;
  first.latenciesUs = {40, 10, 30};
  load::Tally second;
  second.wrong = 1;
  second.failed = 1;
  second.latenciesUs = {20};
  second.firstProblem = "wrong answer";
  first.Merge(std::move(second));
  load::Summary summary = load::Summarize(first, 2.0);
  EXPECT_EQ(summary.right, 3);
  EXPECT_EQ(summary.wrong, 1);
  EXPECT_EQ(summary.failed, 1);
  EXPECT_DOUBLE_EQ(summary.perSecond, 2.5);
  EXPECT_DOUBLE_EQ(summary.p50Us, 20);  // sorted 10 20 30 40: index floor(0.5 * 3)
  EXPECT_DOUBLE_EQ(summary.p99Us, 30);
  EXPECT_EQ(first.firstProblem, "wrong answer");
  EXPECT_EQ(load::ExitCode(summary), 1);
  EXPECT_EQ(load::SummaryLine(summary),
            "requests 5 right 3 wrong 1 failed 1  throughput 2.5/s  p50 20.0 us p99 30.0 us");

  std::vector<double> hundred;
  for (int i = 1; i <= 100; ++i)
    hundred.push_back(i);
  EXPECT_DOUBLE_EQ(load::Percentile(hundred, 0.99), 99);
  EXPECT_DOUBLE_EQ(load::Percentile(hundred, 1.0), 100);
  EXPECT_DOUBLE_EQ(load::Percentile({}, 0.5), 0);

  load::Tally none;
  EXPECT_EQ(load::ExitCode(load::Summarize(none, 0)), 1);  // nothing answered is no success
  load::Tally allRight;
  allRight.right = 1;
  EXPECT_EQ(load::ExitCode(load::Summarize(allRight, 1)), 0);
}

TEST_F(LoadTest, EachRequestCarriesItsOwnValue) {
  KQ_TDict base;
  base["file"] = "a.pdf";
  KQ_TDict request = load::MakeRequest("Echo", base, Expect::kEcho, 3, 41);
  EXPECT_TRUE(request["M"] == KQ_TAny("Echo"));
  const KQ_TDict* p1 = request["P1"].DynamicCast<KQ_TDict>();
  ASSERT_NE(p1, nullptr);
  EXPECT_TRUE((*p1)["file"] == KQ_TAny("a.pdf"));
  EXPECT_TRUE((*p1)[load::kRequestKey] == KQ_TAny("3-41"));

  // Help without parameters sends only the method; echo without parameters sends {} + value.
  EXPECT_EQ(load::MakeRequest("Help", KQ_TAny(), Expect::kTrue, 0, 0).Count(), 1u);
  EXPECT_NE(load::MakeRequest("Echo", KQ_TAny(), Expect::kEcho, 0, 0)["P1"].DynamicCast<KQ_TDict>(),
            nullptr);
  EXPECT_THROW(load::MakeRequest("Echo", KQ_TAny("text"), Expect::kEcho, 0, 0),
               std::invalid_argument);
}

TEST_F(LoadTest, AnswersAreCheckedAgainstTheRequest) {
  KQ_TDict request = load::MakeRequest("Echo", KQ_TDict(), Expect::kEcho, 0, 7);
  KQ_TDict other = load::MakeRequest("Echo", KQ_TDict(), Expect::kEcho, 1, 7);
  EXPECT_EQ(load::CheckAnswer(Expect::kEcho, request, request["P1"]), "");
  EXPECT_NE(load::CheckAnswer(Expect::kEcho, request, other["P1"]), "");  // mixed-up answer
  EXPECT_NE(load::CheckAnswer(Expect::kEcho, request, KQ_TAny(true)), "");

  KQ_TDict help = load::MakeRequest("Help", KQ_TAny(), Expect::kTrue, 0, 0);
  EXPECT_EQ(load::CheckAnswer(Expect::kTrue, help, KQ_TAny(true)), "");
  EXPECT_NE(load::CheckAnswer(Expect::kTrue, help, KQ_TAny(false)), "");
  EXPECT_NE(load::CheckAnswer(Expect::kTrue, help, KQ_TAny()), "");
  EXPECT_EQ(load::CheckAnswer(Expect::kAny, help, KQ_TAny(false)), "");
}

}  // namespace
