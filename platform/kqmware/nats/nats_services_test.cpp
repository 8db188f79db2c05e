#include "platform/kqmware/nats/nats_services.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "platform/kqtypes/kq_exception.h"

namespace {

kqm::ServiceIdentity Identity() {
  kqm::ServiceIdentity identity;
  identity.name = "Vtps-1_a";
  identity.id = "ABC123";
  identity.version = "1.0.0";
  identity.description = "PDF operations";
  identity.metadata = {{"host", "h1"}, {"pid", "42"}};
  identity.endpointSubject = "kqm.Vtps-1_a";
  identity.queueGroup = "Vtps-1_a";
  return identity;
}

TEST(NatsServices, NamesOfLettersDigitsDashAndUnderscoreOnly) {
  for (const char* name : {"VantricProcessServer", "NTR", "a-b_c9", "9"})
    EXPECT_NO_THROW(kqm::CheckServiceName(name)) << name;
  for (const char* name : {"", "a b", "a:b", "a.b", "a*", "Straße", "a/b"})
    EXPECT_THROW(kqm::CheckServiceName(name), KQ_EException) << name;
}

TEST(NatsServices, NineSubjectsForThreeQuestions) {
  auto subjects = kqm::ServiceApiSubjects(Identity());
  std::set<std::string> names;
  int stats = 0;
  for (const auto& [subject, question] : subjects) {
    names.insert(subject);
    stats += question == kqm::ServiceQuestion::kStats ? 1 : 0;
  }
  EXPECT_EQ(names.size(), 9u);
  EXPECT_EQ(stats, 3);
  for (const char* subject : {"$SRV.PING", "$SRV.INFO.Vtps-1_a", "$SRV.STATS.Vtps-1_a.ABC123"})
    EXPECT_EQ(names.count(subject), 1u) << subject;
}

TEST(NatsServices, RepliesCarryTheirTypeAndWhoAnswers) {
  kqm::ServerState state;
  const std::pair<kqm::ServiceQuestion, const char*> cases[] = {
      {kqm::ServiceQuestion::kPing, "io.nats.micro.v1.ping_response"},
      {kqm::ServiceQuestion::kInfo, "io.nats.micro.v1.info_response"},
      {kqm::ServiceQuestion::kStats, "io.nats.micro.v1.stats_response"},
  };
  for (const auto& [question, type] : cases) {
    auto reply = nlohmann::json::parse(kqm::ServiceResponse(question, Identity(), state));
    EXPECT_EQ(reply["type"], type);
    EXPECT_EQ(reply["name"], "Vtps-1_a");
    EXPECT_EQ(reply["id"], "ABC123");
    EXPECT_EQ(reply["version"], "1.0.0");
    EXPECT_EQ(reply["metadata"]["pid"], "42") << type;
  }
  auto info = nlohmann::json::parse(kqm::InfoResponse(Identity()));
  EXPECT_EQ(info["description"], "PDF operations");
  ASSERT_EQ(info["endpoints"].size(), 1u);
  EXPECT_EQ(info["endpoints"][0]["subject"], "kqm.Vtps-1_a");
  EXPECT_EQ(info["endpoints"][0]["queue_group"], "Vtps-1_a");
}

TEST(NatsServices, StatsAreWholeNanosecondsAndCountRefusalsAsErrors) {
  kqm::ServerState state;
  state.startedAt = 1700000000;
  state.answered = 5;
  state.exceptions = 2;
  state.refused = 1;
  state.durationNanos = 8'000'000'007;
  state.lastError = "bad \xff byte";
  auto reply = nlohmann::json::parse(kqm::StatsResponse(Identity(), state));
  EXPECT_EQ(reply["started"], "2023-11-14T22:13:20.000Z");
  const auto& endpoint = reply["endpoints"][0];
  EXPECT_EQ(endpoint["num_requests"], 8);
  EXPECT_EQ(endpoint["num_errors"], 3);
  ASSERT_TRUE(endpoint["processing_time"].is_number_integer());
  EXPECT_EQ(endpoint["processing_time"], 8'000'000'007);
  ASSERT_TRUE(endpoint["average_processing_time"].is_number_integer());
  EXPECT_EQ(endpoint["average_processing_time"], 1'000'000'000);
  // A byte that is not UTF-8 is replaced, the reply stays valid JSON.
  EXPECT_EQ(endpoint["last_error"], "bad \xEF\xBF\xBD byte");

  auto idle = nlohmann::json::parse(kqm::StatsResponse(Identity(), kqm::ServerState{}));
  EXPECT_EQ(idle["endpoints"][0]["average_processing_time"], 0);
}

}  // namespace
