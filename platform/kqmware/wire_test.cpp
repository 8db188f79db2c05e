#include <gtest/gtest.h>

#include "platform/kqmware/settings.h"
#include "platform/kqmware/wire.h"
#include "platform/kqtypes/kqtypes.h"

namespace {

TEST(Wire, FrameCarriesKindIdAndValue) {
  KQ_TDict request;
  request["M"] = "Help";
  std::string frame =
      kqm::EncodeFrame(kqm::MessageKind::kRequest, 0x0102030405060708u, KQ_TAny(request));
  ASSERT_GE(frame.size(), kqm::kFrameHeaderBytes + kqm::kMessageHeaderBytes);
  EXPECT_EQ(kqm::FrameLength(reinterpret_cast<const unsigned char*>(frame.data())),
            frame.size() - kqm::kFrameHeaderBytes);
  kqm::Message message = kqm::DecodePayload(std::string_view(frame).substr(4));
  EXPECT_EQ(message.kind, kqm::MessageKind::kRequest);
  EXPECT_EQ(message.id, 0x0102030405060708u);
  EXPECT_TRUE(message.value == KQ_TAny(request));
}

TEST(Wire, BadPayloadsAreRejected) {
  std::string good = kqm::EncodeFrame(kqm::MessageKind::kAnswer, 1, KQ_TAny("x")).substr(4);
  std::string unknownKind = good;
  unknownKind[0] = 9;
  for (const std::string& payload :
       {std::string("\x01\x00", 2), unknownKind, good.substr(0, good.size() - 1), good + "z"}) {
    EXPECT_THROW(kqm::DecodePayload(payload), KQ_EException);
  }
}

TEST(Settings, NumbersAreCheckedAgainstTheirRange) {
  using kqm::ParseNumberSetting;
  EXPECT_EQ(ParseNumberSetting("KQM_WORKERS", std::nullopt, 4, 1, 256), 4);
  EXPECT_EQ(ParseNumberSetting("KQM_WORKERS", "16", 4, 1, 256), 16);
  for (const char* bad : {"", "0", "257", "4x", " 4", "-1", "99999999999999999999"}) {
    try {
      ParseNumberSetting("KQM_WORKERS", std::string(bad), 4, 1, 256);
      ADD_FAILURE() << "accepted \"" << bad << "\"";
    } catch (const KQ_EException& error) {
      EXPECT_EQ(error.KQ_Message().Text(), std::string("KQM_WORKERS is \"") + bad +
                                               "\": expected a whole number from 1 to 256");
    }
  }
}

}  // namespace
