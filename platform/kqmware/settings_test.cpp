#include "platform/kqmware/settings.h"

#include <gtest/gtest.h>

#include <string>


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

}  // namespace
