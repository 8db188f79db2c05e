#include "platform/kqmware/tcp/connection_limit.h"

#include <gtest/gtest.h>

namespace {

TEST(ConnectionLimit, TheDescriptorLimitLessTheReserveCapsTheSetting) {
  struct Case {
    std::size_t setting;
    std::uint64_t descriptors;
    int workers;
    std::size_t maximum;
  };
  const Case cases[] = {
      {1024, 0, 4, 1024},        // no descriptor limit (Windows)
      {1024, 1048576, 4, 1024},  // a raised hard limit leaves the setting alone
      {1024, 256, 4, 192},       // 32 + 8 per worker kept back
      {1024, 256, 16, 96},       //
      {100, 256, 4, 100},        // the setting below what the descriptors allow
      {1024, 1088, 4, 1024},     // exactly the setting plus the reserve
      {1024, 1087, 4, 1023},     //
      {1024, 64, 4, 1},          // nothing left: one connection still
      {1024, 10, 256, 1},        //
  };
  for (const Case& c : cases) {
    kqm::ConnectionLimit limit = kqm::EffectiveConnectionLimit(c.setting, c.descriptors, c.workers);
    EXPECT_EQ(limit.maximum, c.maximum) << c.setting << " connections, " << c.descriptors
                                        << " descriptors, " << c.workers << " workers";
    EXPECT_EQ(limit.LoweredByDescriptors(), c.maximum < c.setting);
  }
}

TEST(ConnectionLimit, DescribesWhatSetsIt) {
  EXPECT_EQ(kqm::EffectiveConnectionLimit(1024, 256, 4).Describe(),
            "at most 192 (KQM_MAX_CONNECTIONS 1024; descriptor limit 256, 64 kept for the "
            "server's own use)");
  EXPECT_EQ(kqm::EffectiveConnectionLimit(50, 256, 4).Describe(),
            "at most 50 (KQM_MAX_CONNECTIONS 50)");
}

}  // namespace
