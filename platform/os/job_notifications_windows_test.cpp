// The job object's notices as RunCommandTree reads them on Windows. The test posts the
// notices itself: Wine accepts a job's memory limit but neither enforces it nor posts the
// notice, so this is where the reading is checked on the Windows leg.
#include "platform/os/job_notifications_windows.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

class JobNotifications : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    ASSERT_NE(port_, nullptr);
  }
  void TearDown() override { ::CloseHandle(port_); }

  void Post(DWORD message) {
    // As a job posts: the message, the port's key, the process id in place of an OVERLAPPED.
    ASSERT_TRUE(::PostQueuedCompletionStatus(port_, message, 0, reinterpret_cast<OVERLAPPED*>(42)));
  }

  HANDLE port_ = nullptr;
};

TEST_F(JobNotifications, MemoryNoticesAmongOthersAreFoundAndAllAreRead) {
  struct Case {
    const char* what;
    std::vector<DWORD> messages;
    bool noticed;
  };
  for (const Case& c : {
           Case{"nothing", {}, false},
           Case{"a process started and ended",
                {JOB_OBJECT_MSG_NEW_PROCESS, JOB_OBJECT_MSG_EXIT_PROCESS,
                 JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO},
                false},
           Case{"a process over its limit",
                {JOB_OBJECT_MSG_NEW_PROCESS, JOB_OBJECT_MSG_PROCESS_MEMORY_LIMIT,
                 JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS},
                true},
           Case{"the job over its limit", {JOB_OBJECT_MSG_JOB_MEMORY_LIMIT}, true},
       }) {
    for (DWORD message : c.messages)
      Post(message);
    EXPECT_EQ(os::DrainMemoryLimitNotices(port_), c.noticed) << c.what;
    EXPECT_FALSE(os::DrainMemoryLimitNotices(port_)) << c.what << ": left unread";
  }
}

}  // namespace
