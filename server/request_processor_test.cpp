#include <gtest/gtest.h>

#include "server/request_processor.h"
#include "server/vt_process_server.h"
#include "tests/support/server_environment.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

class RequestProcessorTest : public ::testing::Test {
 protected:
  KQ_TAny Dispatch(const KQ_TDict& request, void* user) {
    KQ_TAny answer("untouched");
    CaptureStdout();
    CaptureStderr();
    RequestProcessor(*server_, request, answer, user);
    out_ = GetCapturedStdout();
    err_ = GetCapturedStderr();
    return answer;
  }

  vtps_test::ServerEnvironment environment_;
  std::unique_ptr<VTProcessServer> server_ = std::make_unique<VTProcessServer>();
  std::string out_;
  std::string err_;
};

TEST_F(RequestProcessorTest, HelpPrintsTheSentenceAndAnswersTrue) {
  KQ_TDict request;
  request["M"] = "Help";
  request["Other"] = "ignored";
  KQ_TAny answer = Dispatch(request, server_.get());
  EXPECT_TRUE(answer == KQ_TAny(true));
  EXPECT_EQ(out_,
            "The VantricProcessServer (a.k.a. VTPS) is a kqmd server which is in charge of "
            "handling PDF operations needed for the Vantric.\n");
  EXPECT_EQ(err_, "");
}

TEST_F(RequestProcessorTest, OtherMethodsAnswerWhatExecuteReturns) {
  KQ_TDict request;
  request["M"] = "help";  // not Help: the comparison is case-sensitive
  request["P1"] = KQ_TDict();
  KQ_TAny answer = Dispatch(request, server_.get());
  ASSERT_NE(answer.DynamicCast<KQ_TDict>(), nullptr);
  EXPECT_TRUE(answer.DynamicCast<KQ_TDict>()->Empty());
  EXPECT_EQ(out_, "");
  EXPECT_NE(environment_.Log().find("Processor not found."), std::string::npos);
}

TEST_F(RequestProcessorTest, MalformedRequestsEndInTheHandlerLineWithFalse) {
  KQ_TDict noMethod;
  noMethod["P1"] = KQ_TDict();
  KQ_TDict numberMethod;
  numberMethod["M"] = 5;
  KQ_TDict noParameters;
  noParameters["M"] = "Convert";
  KQ_TDict stringParameters;
  stringParameters["M"] = "Convert";
  stringParameters["P1"] = "not a dictionary";
  struct Case {
    const KQ_TDict* request;
    void* user;
  };
  for (const Case& c : {Case{&noMethod, server_.get()}, Case{&numberMethod, server_.get()},
                        Case{&noParameters, server_.get()}, Case{&stringParameters, server_.get()},
                        Case{&stringParameters, nullptr}}) {
    KQ_TDict request = *c.request;
    if (c.user == nullptr)
      request["P1"] = KQ_TDict();
    KQ_TAny answer = Dispatch(request, c.user);
    EXPECT_TRUE(answer == KQ_TAny(false));
    EXPECT_EQ(err_, "VantricProcessServer Exception in Handler.\n");
    EXPECT_EQ(out_, "");
  }
}

}  // namespace
