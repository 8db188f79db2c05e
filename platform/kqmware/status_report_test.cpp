#include "platform/kqmware/status_report.h"

#include <gtest/gtest.h>

#include "platform/kqmware/metrics_listener.h"
#include "platform/kqtypes/kqtypes.h"

namespace {

kqm::ServerState SampleState() {
  kqm::ServerState state;
  state.service = "Svc\"x";
  state.processId = 42;
  state.startedAt = 1700000000;
  state.uptimeSeconds = 12.7;
  state.slots = {4, 64, 3, 5};
  state.answered = 10;
  state.exceptions = 2;
  state.refused = 1;
  state.durationCounts[0] = 7;  // <= 1 ms
  state.durationCounts[4] = 4;  // <= 100 ms
  state.durationCounts.back() = 1;
  state.durationSum = 90.5;
  return state;
}

TEST(StatusReport, DictionaryHoldsEveryField) {
  __KQ_INITIALIZATION_FUNCTION_kqtypes__();
  KQ_TDict status = kqm::StatusDictionary(SampleState());
  const std::pair<const char*, std::int64_t> numbers[] = {
      {"pid", 42},        {"uptimeSeconds", 12}, {"workers", 4},    {"running", 3}, {"queued", 5},
      {"queueLimit", 64}, {"answered", 10},      {"exceptions", 2}, {"refused", 1},
  };
  for (const auto& [key, value] : numbers) {
    const KQ_TInt* number = status[key].DynamicCast<KQ_TInt>();
    ASSERT_NE(number, nullptr) << key;
    EXPECT_EQ(number->Value(), value) << key;
  }
  ASSERT_NE(status["service"].DynamicCast<KQ_TString>(), nullptr);
  EXPECT_EQ(status["service"].DynamicCast<KQ_TString>()->Text(), "Svc\"x");
  ASSERT_NE(status["stopping"].DynamicCast<KQ_TBool>(), nullptr);
  EXPECT_FALSE(status["stopping"].DynamicCast<KQ_TBool>()->Value());
}

TEST(StatusReport, MetricsTextIsPrometheusExposition) {
  std::string text = kqm::MetricsText(SampleState());
  const char* expected[] = {
      "# TYPE kqm_requests_total counter\n",
      "kqm_requests_total{service=\"Svc\\\"x\",outcome=\"answered\"} 10\n",
      "kqm_requests_total{service=\"Svc\\\"x\",outcome=\"exception\"} 2\n",
      "kqm_requests_total{service=\"Svc\\\"x\",outcome=\"refused\"} 1\n",
      "kqm_requests_running{service=\"Svc\\\"x\"} 3\n",
      "kqm_requests_queued{service=\"Svc\\\"x\"} 5\n",
      "# TYPE kqm_request_duration_seconds histogram\n",
      // Buckets are cumulative.
      "kqm_request_duration_seconds_bucket{service=\"Svc\\\"x\",le=\"0.001\"} 7\n",
      "kqm_request_duration_seconds_bucket{service=\"Svc\\\"x\",le=\"0.005\"} 7\n",
      "kqm_request_duration_seconds_bucket{service=\"Svc\\\"x\",le=\"0.05\"} 7\n",
      "kqm_request_duration_seconds_bucket{service=\"Svc\\\"x\",le=\"0.1\"} 11\n",
      "kqm_request_duration_seconds_bucket{service=\"Svc\\\"x\",le=\"2.5\"} 11\n",
      "kqm_request_duration_seconds_bucket{service=\"Svc\\\"x\",le=\"+Inf\"} 12\n",
      "kqm_request_duration_seconds_sum{service=\"Svc\\\"x\"} 90.5\n",
      "kqm_request_duration_seconds_count{service=\"Svc\\\"x\"} 12\n",
      "process_start_time_seconds{service=\"Svc\\\"x\"} 1700000000\n",
  };
  for (const char* line : expected)
    EXPECT_NE(text.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << text;
}

TEST(StatusReport, MetricsRequestsAreRouted) {
  kqm::ServerState serving = SampleState();
  kqm::ServerState stopping = SampleState();
  stopping.stopping = true;
  kqm::ServerState wedged = SampleState();
  wedged.responding = false;
  struct Case {
    const char* method;
    const char* target;
    const kqm::ServerState& state;
    int status;
    const char* bodyStart;
  };
  const Case cases[] = {
      {"GET", "/metrics", serving, 200, "# HELP"},
      {"GET", "/metrics?x=1", serving, 200, "# HELP"},
      {"GET", "/health", serving, 200, "serving"},
      {"GET", "/health", stopping, 503, "stopping"},
      {"GET", "/health", wedged, 503, "not responding"},
      {"GET", "/metrics", wedged, 200, "# HELP"},
      {"POST", "/health", serving, 405, "only GET"},
      {"GET", "/", serving, 404, "not found"},
      {"GET", "/metricsx", serving, 404, "not found"},
  };
  for (const Case& c : cases) {
    kqm::HttpAnswer answer = kqm::AnswerMetricsRequest(c.method, c.target, c.state);
    EXPECT_EQ(answer.status, c.status) << c.method << " " << c.target;
    EXPECT_EQ(answer.body.rfind(c.bodyStart, 0), 0u) << c.method << " " << c.target;
  }
}

TEST(StatusReport, StatusLineSaysWhatRunsWaitsAndWasAnswered) {
  kqm::ServerState state = SampleState();
  EXPECT_EQ(kqm::StatusLine(state), "serving: 3 running, 5 queued, 10 answered");
  state.stopping = true;
  EXPECT_EQ(kqm::StatusLine(state), "stopping: 3 running, 5 queued, 10 answered");
}

TEST(StatusReport, DurationsLandInTheirBuckets) {
  kqm::ServerStatistics statistics;
  statistics.Answered(std::chrono::microseconds(500));
  statistics.Answered(std::chrono::milliseconds(3), "the processor failed");
  statistics.Answered(std::chrono::seconds(100));
  statistics.Refused("busy");
  kqm::ServerState state = statistics.Snapshot("S", {}, false);
  EXPECT_EQ(state.answered, 2u);
  EXPECT_EQ(state.exceptions, 1u);
  EXPECT_EQ(state.refused, 1u);
  EXPECT_EQ(state.durationCounts[0], 1u);
  EXPECT_EQ(state.durationCounts[1], 1u);
  EXPECT_EQ(state.durationCounts.back(), 1u);
  EXPECT_NEAR(state.durationSum, 100.0035, 1e-6);
  EXPECT_EQ(state.durationNanos, 100'003'500'000u);
  // The refusal came last.
  EXPECT_EQ(state.lastError, "busy");
  statistics.Answered(std::chrono::milliseconds(1), "again");
  EXPECT_EQ(statistics.Snapshot("S", {}, false).lastError, "again");
}

}  // namespace
