#include <gtest/gtest.h>

#include "platform/kqmware/nats/nats_subject.h"
#include "platform/kqtypes/kq_exception.h"

namespace {

TEST(NatsSubject, ServiceNamesThatAreOneSubjectTokenAreServed) {
  for (const char* name : {"VantricProcessServer", "NTR", "a-b_c", "x1"}) {
    EXPECT_NO_THROW(kqm::CheckSubjectToken(name)) << name;
    EXPECT_EQ(kqm::RequestSubject(name), std::string("kqm.") + name);
    EXPECT_EQ(kqm::StatusSubject(name), std::string("kqm.") + name + ".status");
  }
}

TEST(NatsSubject, OtherNamesAreRefusedWithTheReason) {
  for (const char* name : {"", "a.b", "a*", "a>", "a b", "tab\tname", "line\nname"}) {
    try {
      kqm::CheckSubjectToken(name);
      ADD_FAILURE() << "accepted \"" << name << "\"";
    } catch (const KQ_EException& error) {
      EXPECT_NE(error.KQ_Message().Text().find("NATS"), std::string::npos) << name;
    }
  }
}

}  // namespace
