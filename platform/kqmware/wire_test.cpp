#include <gtest/gtest.h>

#include <vector>

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

std::string Frame(std::uint64_t id, const KQ_TAny& value) {
  return kqm::EncodeFrame(kqm::MessageKind::kRequest, id, value);
}

// Feeds `stream` to a reader in pieces of `piece` bytes and collects the ids of the
// messages it hands out.
std::vector<std::uint64_t> ReadIds(const std::string& stream, std::size_t piece,
                                   std::size_t limit = 1 << 20) {
  kqm::FrameReader reader(limit);
  std::vector<std::uint64_t> ids;
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    reader.Append(std::string_view(stream).substr(at, piece));
    while (reader.Check() == kqm::FrameReader::State::kReady) {
      ids.push_back(kqm::DecodePayload(reader.Payload()).id);
      reader.Pop();
    }
  }
  EXPECT_EQ(reader.Buffered(), 0u);
  return ids;
}

TEST(FrameReader, CutsAStreamIntoFramesWhateverThePieces) {
  std::string stream = Frame(1, KQ_TAny("a")) + Frame(2, KQ_TAny(std::string(20000, 'b'))) +
                       Frame(3, KQ_TAny()) + Frame(4, KQ_TAny(std::string(70000, 'c')));
  const std::vector<std::uint64_t> expected = {1, 2, 3, 4};
  for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{4096}, stream.size()})
    EXPECT_EQ(ReadIds(stream, piece), expected) << "pieces of " << piece;
}

TEST(FrameReader, RefusesAnnouncedLengthsOverTheLimitBeforeTheyArrive) {
  kqm::FrameReader reader(100);
  std::string frame = Frame(7, KQ_TAny(std::string(200, 'x')));
  reader.Append(std::string_view(frame).substr(0, 4));
  EXPECT_EQ(reader.Check(), kqm::FrameReader::State::kTooLarge);
  EXPECT_EQ(reader.AnnouncedLength(), frame.size() - 4);

  kqm::FrameReader exact(frame.size() - 4);
  exact.Append(frame);
  EXPECT_EQ(exact.Check(), kqm::FrameReader::State::kReady);
}

TEST(FrameReader, RoomGrowsWithTheBytesReceivedNotWithTheClaim) {
  kqm::FrameReader reader(std::size_t{1} << 30);
  std::string header(4, '\0');
  header[0] = 0x3F;  // claims about a gigabyte
  reader.Append(header);
  EXPECT_LT(reader.Prepare().size(), std::size_t{64} * 1024);
  EXPECT_EQ(reader.Check(), kqm::FrameReader::State::kNeedMore);
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

namespace {

TEST(Settings, ListenPointsAreHostAndPort) {
  struct Case {
    const char* text;
    const char* host;
    std::uint16_t port;
  };
  const Case good[] = {
      {"127.0.0.1:9464", "127.0.0.1", 9464},
      {"[::1]:0", "::1", 0},
      {"0.0.0.0:65535", "0.0.0.0", 65535},
  };
  for (const Case& c : good) {
    kqm::ListenPoint point = kqm::ParseListenPoint("KQM_METRICS_LISTEN", c.text);
    EXPECT_EQ(point.host, c.host) << c.text;
    EXPECT_EQ(point.port, c.port) << c.text;
  }
  for (const char* bad :
       {"9464", ":9464", "host:", "host:65536", "::1:9464", "[::1:9464", "h:12x"}) {
    try {
      kqm::ParseListenPoint("KQM_METRICS_LISTEN", bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const KQ_EException& error) {
      EXPECT_NE(error.KQ_Message().Text().find(std::string("KQM_METRICS_LISTEN is \"") + bad),
                std::string::npos)
          << error.KQ_Message().Text();
    }
  }
}

}  // namespace
