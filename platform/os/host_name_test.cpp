#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/os/os.h"

namespace {

// Records every call and answers with scripted results.
struct FakeSockets {
  std::vector<int> startupResults;  // one per expected start-up call
  int getHostNameResult = 0;
  std::string name = "buildhost";
  std::vector<std::uint16_t> startups;
  int queries = 0;
  int cleanups = 0;

  os::HostNameCalls Calls() {
    return os::HostNameCalls{
        [this](std::uint16_t version) {
          startups.push_back(version);
          return startupResults.at(startups.size() - 1);
        },
        [this](char* buffer, int size) {
          ++queries;
          if (getHostNameResult != 0)
            return getHostNameResult;
          std::strncpy(buffer, name.c_str(), static_cast<std::size_t>(size));
          return 0;
        },
        [this] { ++cleanups; },
    };
  }
};

std::string Read(FakeSockets& fake) {
  char buffer[256];
  std::memset(buffer, 'x', sizeof buffer);
  os::ReadHostName(fake.Calls(), buffer, sizeof buffer);
  return buffer;
}

TEST(ReadHostName, StartsVersion22AsksAndCleansUp) {
  FakeSockets fake;
  fake.startupResults = {0};
  EXPECT_EQ(Read(fake), "buildhost");
  EXPECT_EQ(fake.startups, (std::vector<std::uint16_t>{0x0202}));
  EXPECT_EQ(fake.cleanups, 1);
}

TEST(ReadHostName, RetriesVersion11WhenVersion22IsNotSupported) {
  FakeSockets fake;
  fake.startupResults = {os::kVersionNotSupported, 0};
  EXPECT_EQ(Read(fake), "buildhost");
  EXPECT_EQ(fake.startups, (std::vector<std::uint16_t>{0x0202, 0x0101}));
  EXPECT_EQ(fake.cleanups, 1);
}

TEST(ReadHostName, FailedStartupsGiveLocalhostWithoutCleanup) {
  struct Case {
    std::vector<int> results;
    std::size_t expectedStartups;
  };
  for (const Case& c : {Case{{os::kVersionNotSupported, os::kVersionNotSupported}, 2},
                        Case{{os::kVersionNotSupported, 10091}, 2}, Case{{10091}, 1}}) {
    FakeSockets fake;
    fake.startupResults = c.results;
    EXPECT_EQ(Read(fake), "localhost");
    EXPECT_EQ(fake.startups.size(), c.expectedStartups);
    EXPECT_EQ(fake.queries, 0);
    EXPECT_EQ(fake.cleanups, 0);
  }
}

TEST(ReadHostName, FailedQueryGivesLocalhostAndStillCleansUp) {
  FakeSockets fake;
  fake.startupResults = {0};
  fake.getHostNameResult = -1;
  EXPECT_EQ(Read(fake), "localhost");
  EXPECT_EQ(fake.cleanups, 1);
}

TEST(ReadHostName, OverlongNameIsCutAndTerminated) {
  FakeSockets fake;
  fake.startupResults = {0};
  fake.name = std::string(400, 'h');
  EXPECT_EQ(Read(fake), std::string(255, 'h'));
}

TEST(ReadHostName, NativeCallsGiveTheMachinesName) {
  char buffer[256];
  os::ReadHostName(os::NativeHostNameCalls(), buffer, sizeof buffer);
  std::string name = buffer;
  // "localhost" is what a failed call leaves.
  EXPECT_NE(name, "localhost");
  EXPECT_EQ(name.find_first_of(" \t\r\n"), std::string::npos) << name;
  // Linux (also under Wine) keeps the name in a file: the same name.
  std::ifstream kernel("/proc/sys/kernel/hostname");
  std::string expected;
  if (kernel && std::getline(kernel, expected)) {
    EXPECT_EQ(name, expected);
  }
}

}  // namespace
