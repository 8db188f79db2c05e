#include "platform/kqmware/settings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/kqtypes/kq_exception.h"

namespace {

using boost::asio::ip::make_address;

TEST(AllowedPeers, UnsetServesLoopbackOnlyOnLoopbackAndEveryoneBeyondIt) {
  struct Case {
    const char* listen;
    bool everyone;
  };
  const Case cases[] = {
      {"127.0.0.1", false}, {"127.0.0.2", false}, {"::1", false},     {"::ffff:127.0.0.1", false},
      {"0.0.0.0", true},    {"::", true},         {"10.0.0.5", true}, {"2001:db8::5", true},
  };
  for (const Case& c : cases) {
    kqm::AllowList peers = kqm::AllowedPeers(std::nullopt, c.listen);
    EXPECT_EQ(peers.AllowsEveryone(), c.everyone) << c.listen;
    EXPECT_EQ(peers.Allows(make_address("10.0.0.9")), c.everyone) << c.listen;
    EXPECT_TRUE(peers.Allows(make_address("127.0.0.1"))) << c.listen;
  }
  // A list that is set applies whatever the address.
  kqm::AllowList set = kqm::AllowList::Parse("KQM_ALLOW", "10.0.0.0/8");
  for (const char* listen : {"127.0.0.1", "0.0.0.0"}) {
    kqm::AllowList peers = kqm::AllowedPeers(set, listen);
    EXPECT_TRUE(peers.Allows(make_address("10.0.0.9"))) << listen;
    EXPECT_FALSE(peers.Allows(make_address("127.0.0.1"))) << listen;
  }
}

// The NATS security settings read from a table instead of the environment.
kqm::NatsSecurity Security(const std::map<std::string, std::string>& settings) {
  return kqm::ParseNatsSecurity([&](const char* name) -> std::optional<std::string> {
    auto it = settings.find(name);
    if (it == settings.end())
      return std::nullopt;
    return it->second;
  });
}

TEST(NatsSecurity, SettingsThatDoNotFitTogetherAreRefusedByName) {
  EXPECT_EQ(Security({{"KQM_NATS_USER", "u"}, {"KQM_NATS_PASSWORD", "p"}}).AuthenticationSettings(),
            "KQM_NATS_USER and KQM_NATS_PASSWORD");
  struct Case {
    std::map<std::string, std::string> settings;
    std::vector<const char*> named;
  };
  const Case cases[] = {
      {{{"KQM_NATS_USER", "u"}}, {"KQM_NATS_USER", "without KQM_NATS_PASSWORD"}},
      {{{"KQM_NATS_PASSWORD", "p"}}, {"KQM_NATS_PASSWORD", "without KQM_NATS_USER"}},
      {{{"KQM_NATS_TLS_CERT", "c"}}, {"KQM_NATS_TLS_CERT", "without KQM_NATS_TLS_KEY"}},
      {{{"KQM_NATS_TLS_KEY", "k"}}, {"KQM_NATS_TLS_KEY", "without KQM_NATS_TLS_CERT"}},
      {{{"KQM_NATS_TOKEN", "t"}, {"KQM_NATS_USER", "u"}, {"KQM_NATS_PASSWORD", "p"}},
       {"KQM_NATS_TOKEN and KQM_NATS_USER are set", "one way of authenticating"}},
      {{{"KQM_NATS_CREDS", "c"}, {"KQM_NATS_NKEY_SEED", "s"}, {"KQM_NATS_TOKEN", "t"}},
       {"KQM_NATS_CREDS, KQM_NATS_NKEY_SEED and KQM_NATS_TOKEN are set"}},
      // An empty value is unset: here only the user counts, and it lacks its password.
      {{{"KQM_NATS_TOKEN", ""}, {"KQM_NATS_USER", "u"}}, {"KQM_NATS_USER is set without"}},
  };
  for (const Case& c : cases) {
    try {
      Security(c.settings);
      ADD_FAILURE() << "accepted " << c.named.front();
    } catch (const KQ_EException& error) {
      for (const char* part : c.named)
        EXPECT_NE(error.KQ_Message().Text().find(part), std::string::npos)
            << error.KQ_Message().Text();
    }
  }
}

}  // namespace
