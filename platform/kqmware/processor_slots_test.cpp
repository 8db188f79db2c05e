#include "platform/kqmware/processor_slots.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Admission = kqm::ProcessorSlots::Admission;

TEST(ProcessorSlots, RunsUpToTheSlotsQueuesUpToTheLimitAndRefusesTheRest) {
  struct Case {
    int slots;
    std::size_t queue;
    std::vector<Admission> expected;  // for one request after the other
  };
  const Case cases[] = {
      {2, 1, {Admission::kRun, Admission::kRun, Admission::kQueued, Admission::kRefused}},
      {1, 0, {Admission::kRun, Admission::kRefused}},
      {1,
       3,
       {Admission::kRun, Admission::kQueued, Admission::kQueued, Admission::kQueued,
        Admission::kRefused}},
  };
  for (const Case& c : cases) {
    kqm::ProcessorSlots slots(c.slots, c.queue);
    std::vector<Admission> got;
    for (std::size_t i = 0; i < c.expected.size(); ++i)
      got.push_back(slots.Admit([] { return [](bool) {}; }));
    EXPECT_EQ(got, c.expected) << c.slots << " slots, queue " << c.queue;
    kqm::ProcessorSlots::Counts counts = slots.Snapshot();
    EXPECT_EQ(counts.running, c.slots);
    EXPECT_EQ(counts.queued, c.queue);
  }
}

TEST(ProcessorSlots, AFreedSlotGoesToTheOldestWaiter) {
  kqm::ProcessorSlots slots(1, 8);
  std::string started;
  ASSERT_EQ(slots.Admit([] { return [](bool) {}; }), Admission::kRun);
  for (char name : std::string("abc"))
    ASSERT_EQ(slots.Admit([&started, name] {
      return [&started, name](bool granted) {
        if (granted)
          started += name;
      };
    }),
              Admission::kQueued);
  for (int i = 0; i < 3; ++i) {
    kqm::ProcessorSlots::Job next = slots.Release();
    ASSERT_TRUE(next);
    next(true);
    EXPECT_EQ(slots.Snapshot().running, 1) << "the slot passes on, it is not given back";
  }
  EXPECT_EQ(started, "abc");
  EXPECT_FALSE(slots.Release());
  EXPECT_EQ(slots.Snapshot().running, 0);
  EXPECT_EQ(slots.Admit([] { return [](bool) {}; }), Admission::kRun);
}

TEST(ProcessorSlots, ClosingRefusesTheWaitersAndEveryLaterRequest) {
  kqm::ProcessorSlots slots(1, 4);
  int refused = 0;
  ASSERT_EQ(slots.Admit([] { return [](bool) {}; }), Admission::kRun);
  for (int i = 0; i < 2; ++i)
    slots.Admit([&refused] { return [&refused](bool granted) { refused += granted ? 0 : 1; }; });
  for (kqm::ProcessorSlots::Job& waiting : slots.Close())
    waiting(false);
  EXPECT_EQ(refused, 2);
  EXPECT_EQ(slots.Snapshot().queued, 0u);
  EXPECT_EQ(slots.Admit([] { return [](bool) {}; }), Admission::kRefused);
  EXPECT_FALSE(slots.Release()) << "nobody waits after closing";
}

}  // namespace
