#include "processors/pdf/run/job_parameters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

namespace {

using ::testing::HasSubstr;

// The dictionary TreeToDict makes of a job file: strings, sub-dictionaries, and arrays
// wrapped as {K + "Array": {K: array}}.
KQ_TDict JobDictionary() {
  KQ_TDict job;
  job["file"] = "a.pdf";
  job["flag"] = "true";
  job["off"] = "false";
  job["dpi"] = "150";
  job["odd"] = "1.5";
  job["sub"] = KQ_TDict();
  KQ_TArray inputs;
  inputs.Append("one.pdf");
  inputs.Append("two.pdf");
  KQ_TDict wrapper;
  wrapper["input"] = inputs;
  job["inputArray"] = wrapper;
  return job;
}

std::string Refusal(const std::function<void()>& read) {
  try {
    read();
  } catch (const PdfError& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(JobParameters, ReadsEachKindOfValue) {
  KQ_TDict job = JobDictionary();
  JobParameters parameters(job);
  EXPECT_EQ(parameters.String("file"), "a.pdf");
  EXPECT_EQ(parameters.OptionalString("password"), std::nullopt);
  EXPECT_TRUE(parameters.Bool("flag", false));
  EXPECT_FALSE(parameters.Bool("off", true));
  EXPECT_TRUE(parameters.Bool("missing", true));
  EXPECT_EQ(parameters.Integer("dpi", 72, 1, 600), 150);
  EXPECT_EQ(parameters.Integer("missing", 72, 1, 600), 72);
  EXPECT_EQ(parameters.RequiredInteger("dpi", 1, 600), 150);
  EXPECT_EQ(parameters.Array("input").Count(), 2u);
}

TEST(JobParameters, RefusalsNameTheParameterWithItsPrefix) {
  KQ_TDict job = JobDictionary();
  JobParameters parameters(job, "input[2].");
  struct Case {
    std::function<void()> read;
    const char* message;
  };
  const Case cases[] = {
      {[&] { parameters.String("output"); }, "parameter \"input[2].output\" is missing"},
      {[&] { parameters.String("sub"); }, "parameter \"input[2].sub\" must be a string"},
      {[&] { parameters.String("input"); }, "\"input[2].input\" must be a string, not an array"},
      {[&] { parameters.Bool("file", true); }, "\"input[2].file\" is \"a.pdf\"; it must be"},
      {[&] { parameters.Integer("dpi", 1, 1, 100); }, "\"input[2].dpi\" is \"150\""},
      {[&] { parameters.Integer("odd", 1, 1, 100); }, "whole number from 1 to 100"},
      {[&] { parameters.RequiredInteger("angle", 0, 1); }, "\"input[2].angle\" is missing"},
      {[&] { parameters.Array("file"); }, "\"input[2].file\" must be an array"},
      {[&] { parameters.Array("page"); }, "\"input[2].page\" is missing"},
  };
  for (const Case& c : cases)
    EXPECT_THAT(Refusal(c.read), HasSubstr(c.message)) << c.message;
}

TEST(JobParameters, RefusesAnArrayContainerWithoutItsArray) {
  KQ_TDict job;
  KQ_TDict wrapper;
  wrapper["other"] = "x";
  job["inputArray"] = wrapper;
  EXPECT_THAT(Refusal([&] { JobParameters(job).Array("input"); }),
              HasSubstr("must be an array of at least one element"));
}

}  // namespace

}  // namespace pdf::run
