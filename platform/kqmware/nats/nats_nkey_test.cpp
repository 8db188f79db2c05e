#include "platform/kqmware/nats/nats_nkey.h"

#include <gtest/gtest.h>

#include "platform/kqtypes/kq_exception.h"

namespace {

// The first Ed25519 key pair of RFC 8032 (section 7.1) as a user NKey: the seed
// 9d61b19d...7f60 and its public key d75a9801...511a, encoded independently of this code.
constexpr const char* kSeed = "SUAJ2YNRTXX72WTAXKCEV5ES5QWMIRCJYVUXWMTJDFYDXLADDSXH6YALCA";
constexpr const char* kPublicKey = "UDLVVGABQKYQVN6VJP7NHSLEA45A5YLS6PNKMIZFV4BBU2HXA5IRUVAL";
// The second pair of RFC 8032.
constexpr const char* kSeed2 = "SUAEZTIITMUP7FW2TW3MGRXMCFHA6W4KGGPTLK5GETNIZ5XNJ64KN63OVI";
constexpr const char* kPublicKey2 = "UA6UAF6D5BBYSWUSW4FKOTI3P26JZGBMZ4XMJFUMYDGVL4JK6RTAYUDN";

TEST(NKey, PublicKeyOfAUserSeed) {
  EXPECT_EQ(kqm::NKeyPublicKey(kSeed), kPublicKey);
  EXPECT_EQ(kqm::NKeyPublicKey(kSeed2), kPublicKey2);
}

TEST(NKey, WhatIsNoUserSeedIsRefusedWithoutShowingIt) {
  std::string changed = kSeed;
  changed[20] = changed[20] == 'A' ? 'B' : 'A';
  const std::string cases[] = {
      changed,                       // checksum
      std::string(kSeed).substr(1),  // length
      std::string(kSeed) + "A",      // length
      kPublicKey,                    // a public key, not a seed
      std::string(kSeed, 57) + "1",  // not base32
      std::string(kSeed, 57) + "a",  // lower case is not base32 here
      "",
  };
  for (const std::string& seed : cases) {
    try {
      kqm::NKeyPublicKey(seed);
      ADD_FAILURE() << "accepted " << seed;
    } catch (const KQ_EException& error) {
      EXPECT_EQ(error.KQ_Message().Text().find(kSeed), std::string::npos);
      EXPECT_NE(error.KQ_Message().Text().find("NKey seed"), std::string::npos)
          << error.KQ_Message().Text();
    }
  }
}

TEST(NKey, FindsTheSeedInAFile) {
  EXPECT_EQ(kqm::FindNKeySeed(std::string(kSeed) + "\n"), kSeed);
  EXPECT_EQ(kqm::FindNKeySeed("-----BEGIN USER NKEY SEED-----\n" + std::string(kSeed) +
                              "\n------END USER NKEY SEED------\n"),
            kSeed);
  EXPECT_EQ(kqm::FindNKeySeed("  \r\n"), "");
  EXPECT_EQ(kqm::FindNKeySeed(kPublicKey), "");
}

}  // namespace
