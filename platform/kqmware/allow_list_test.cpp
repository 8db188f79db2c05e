#include "platform/kqmware/allow_list.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/kqtypes/kq_exception.h"

namespace {

using boost::asio::ip::make_address;

TEST(AllowList, MatchesAddressesAndNetworksOfBothFamilies) {
  struct Case {
    const char* list;
    const char* peer;
    bool allowed;
  };
  const Case cases[] = {
      {"127.0.0.2", "127.0.0.2", true},
      {"127.0.0.2", "127.0.0.1", false},
      {" 10.0.0.0/8 , 192.168.1.7 ", "10.255.3.4", true},
      {" 10.0.0.0/8 , 192.168.1.7 ", "11.0.0.1", false},
      {" 10.0.0.0/8 , 192.168.1.7 ", "192.168.1.7", true},
      {" 10.0.0.0/8 , 192.168.1.7 ", "192.168.1.8", false},
      {"192.168.1.64/26", "192.168.1.127", true},
      {"192.168.1.64/26", "192.168.1.128", false},
      {"192.168.1.64/26", "192.168.1.63", false},
      {"10.1.2.3/8", "10.9.9.9", true},  // host bits in an entry are ignored
      {"0.0.0.0/0", "203.0.113.9", true},
      {"0.0.0.0/0", "2001:db8::1", false},
      // An IPv4 client seen by a listener on "::" matches IPv4 entries.
      {"10.0.0.0/8", "::ffff:10.1.2.3", true},
      {"10.0.0.0/8", "::ffff:11.1.2.3", false},
      {"::ffff:10.0.0.0/104", "10.1.2.3", true},
      {"fd00::/8", "fd12:3456::1", true},
      {"fd00::/8", "fe80::1", false},
      {"2001:db8::/33", "2001:db8:7fff::1", true},
      {"2001:db8::/33", "2001:db8:8000::1", false},
      {"::1", "::1", true},
      {"::1", "127.0.0.1", false},
      {"::/0", "10.1.2.3", true},
  };
  for (const Case& c : cases) {
    kqm::AllowList list = kqm::AllowList::Parse("KQM_ALLOW", c.list);
    EXPECT_EQ(list.Allows(make_address(c.peer)), c.allowed) << c.list << " / " << c.peer;
  }
}

TEST(AllowList, LoopbackOnlyAndEveryone) {
  kqm::AllowList loopback = kqm::AllowList::LoopbackOnly();
  EXPECT_TRUE(loopback.Allows(make_address("127.0.0.1")));
  EXPECT_TRUE(loopback.Allows(make_address("127.9.8.7")));
  EXPECT_TRUE(loopback.Allows(make_address("::1")));
  EXPECT_TRUE(loopback.Allows(make_address("::ffff:127.0.0.1")));
  EXPECT_FALSE(loopback.Allows(make_address("10.0.0.1")));
  EXPECT_FALSE(loopback.Allows(make_address("::ffff:10.0.0.1")));
  EXPECT_FALSE(loopback.AllowsEveryone());
  EXPECT_EQ(loopback.Describe(), "loopback only (KQM_ALLOW is unset)");

  kqm::AllowList everyone = kqm::AllowList::Everyone();
  EXPECT_TRUE(everyone.AllowsEveryone());
  EXPECT_TRUE(everyone.Allows(make_address("203.0.113.9")));
  EXPECT_TRUE(everyone.Allows(make_address("2001:db8::1")));
}

TEST(AllowList, DescribesItsEntriesNormalised) {
  EXPECT_EQ(kqm::AllowList::Parse("KQM_ALLOW", " 10.0.0.0/8,::1, ::ffff:10.0.0.0/104").Describe(),
            "KQM_ALLOW 10.0.0.0/8,::1/128,10.0.0.0/8");
}

TEST(AllowList, MalformedEntriesAreNamed) {
  struct Case {
    const char* list;
    const char* named;  // what the message must quote
  };
  const Case cases[] = {
      {"10.0.0.0/33", "\"10.0.0.0/33\""},
      {"::/129", "\"::/129\""},
      {"10.0.0.0/", "\"10.0.0.0/\""},
      {"10.0.0.0/-1", "\"10.0.0.0/-1\""},
      {"10.0.0.0/+8", "\"10.0.0.0/+8\""},
      {"10.0.0.0/8x", "\"10.0.0.0/8x\""},
      {"/8", "\"/8\""},
      {"10.0.0/8", "\"10.0.0/8\""},
      {"127.0.0.1, localhost", "\"localhost\""},
      {"256.0.0.1", "\"256.0.0.1\""},
      // Forms some system parsers take: a short form, octal, hexadecimal.
      {"10.1", "\"10.1\""},
      {"010.0.0.1", "\"010.0.0.1\""},
      {"0x0a.0.0.1", "\"0x0a.0.0.1\""},
      {"::ffff:10.1", "\"::ffff:10.1\""},
      {"fe80::1%eth0", "\"fe80::1%eth0\""},
      {"10.0.0.1,,10.0.0.2", "\"\""},
      {"10.0.0.1,", "\"\""},
      {"10.0.0.1 10.0.0.2", "\"10.0.0.1 10.0.0.2\""},
      {"", "\"\""},
      {"   ", "\"   \""},
  };
  for (const Case& c : cases) {
    try {
      kqm::AllowList::Parse("KQM_ALLOW", c.list);
      ADD_FAILURE() << "accepted \"" << c.list << "\"";
    } catch (const KQ_EException& error) {
      std::string message = error.KQ_Message().Text();
      EXPECT_NE(message.find("KQM_ALLOW"), std::string::npos) << message;
      EXPECT_NE(message.find(c.named), std::string::npos) << message;
    }
  }
}

}  // namespace
