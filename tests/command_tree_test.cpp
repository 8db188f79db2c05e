// Command lines run in process trees the server can end: a time limit or CommandTrees::EndAll
// ends the interpreter, the processor and what the processor started.
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <thread>

#include "platform/os/child_process.h"
#include "platform/os/os.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;

struct TreeIds {
  std::uint32_t processor = 0;
  std::uint32_t child = 0;
};

// The ids the tree-sleeper wrote, once it has written them.
TreeIds ReadIds(const std::string& path) {
  TreeIds ids;
  EXPECT_TRUE(vtps_test::WaitUntil([&] { return std::filesystem::exists(path); }))
      << "the tree-sleeper never started";
  std::ifstream(path) >> ids.processor >> ids.child;
  EXPECT_NE(ids.processor, 0u);
  EXPECT_NE(ids.child, 0u);
  return ids;
}

void ExpectTreeGone(const TreeIds& ids) {
  EXPECT_TRUE(vtps_test::WaitUntil(
      [&] {
        return !os::ChildProcess::IsRunning(ids.processor) &&
               !os::ChildProcess::IsRunning(ids.child);
      },
      10s))
      << "processor " << ids.processor << " or its child " << ids.child << " outlived the tree";
}

std::string SleeperLine(const std::string& idsFile) {
  return vtps_test::NativePath(vtps_test::BuildProgram("tests/support/tree-sleeper")) + " " +
         vtps_test::NativePath(idsFile) + " 60";
}

TEST(CommandTree, TimeLimitEndsTheWholeTree) {
  vtps_test::TempDir dir;
  auto started = std::chrono::steady_clock::now();
  os::CommandResult result = os::RunCommandTree(SleeperLine(dir.File("ids")), 1500ms);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
  EXPECT_EQ(result.ended, os::CommandResult::Ended::kTimeLimit);
  EXPECT_NE(result.status, 0);
  EXPECT_GE(result.seconds, 1);
  ExpectTreeGone(ReadIds(dir.File("ids")));
}

// Each owner ends its own trees: ending one set leaves the other's tree running.
TEST(CommandTree, EndAllEndsTheTreesOfItsOwnSetOnly) {
  vtps_test::TempDir dir;
  os::CommandTrees mine;
  os::CommandTrees theirs;
  auto runIn = [&](os::CommandTrees& trees, const std::string& ids) {
    return std::async(std::launch::async, [&trees, ids] {
      os::CommandTreeScope scope(trees);
      return os::RunCommandTree(SleeperLine(ids), 0ms);
    });
  };
  auto run = runIn(mine, dir.File("mine"));
  auto other = runIn(theirs, dir.File("theirs"));
  TreeIds ids = ReadIds(dir.File("mine"));
  TreeIds otherIds = ReadIds(dir.File("theirs"));
  EXPECT_EQ(os::CommandTrees::Current().EndAll(), 0) << "the process's own set holds neither";
  EXPECT_EQ(mine.EndAll(), 1);
  ASSERT_EQ(run.wait_for(30s), std::future_status::ready);
  os::CommandResult result = run.get();
  EXPECT_EQ(result.ended, os::CommandResult::Ended::kStopped);
  EXPECT_NE(result.status, 0);
  ExpectTreeGone(ids);
  EXPECT_EQ(mine.EndAll(), 0);
  EXPECT_EQ(other.wait_for(0ms), std::future_status::timeout) << "the other set's tree ended too";
  EXPECT_EQ(theirs.EndAll(), 1);
  ASSERT_EQ(other.wait_for(30s), std::future_status::ready);
  EXPECT_EQ(other.get().ended, os::CommandResult::Ended::kStopped);
  ExpectTreeGone(otherIds);
}

// On Windows the job object limits each process's committed memory and reports a process
// that reached it. (POSIX: spawn_group_leader_posix_test and the process tests, with the
// shell, as a sanitizer build of allocate-memory could not start under an address-space
// limit.)
TEST(CommandTree, MemoryLimitRefusesAnAllocationBeyondItAndSaysSo) {
  if (os::NativeCommandDialect() != os::CommandDialect::kCmd)
    GTEST_SKIP() << "job objects are Windows";
  auto allocate = [](int mib) {
    return vtps_test::NativePath(vtps_test::BuildProgram("tests/support/allocate-memory")) + " " +
           std::to_string(mib);
  };
  os::CommandResult within = os::RunCommandTree(allocate(16), 0ms, 64);
  EXPECT_EQ(within.status, 0);
  EXPECT_FALSE(within.memoryLimitExceeded);
  EXPECT_EQ(os::RunCommandTree(allocate(256), 0ms, 0).status, 0);
  if (VTPS_TESTS_UNDER_WINE)
    GTEST_SKIP() << "Wine accepts the job's memory limit but neither enforces nor reports it";
  os::CommandResult beyond = os::RunCommandTree(allocate(256), 0ms, 64);
  EXPECT_EQ(beyond.status, 3);
  EXPECT_TRUE(beyond.memoryLimitExceeded);
}

TEST(CommandTree, CommandsThatEndInTimeAreLeftAlone) {
  os::CommandResult result = os::RunCommandTree("exit 3", 30s);
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.ended, os::CommandResult::Ended::kNo);
  EXPECT_EQ(os::RunCommandTree("exit 0", 0ms).status, 0);
}

}  // namespace
