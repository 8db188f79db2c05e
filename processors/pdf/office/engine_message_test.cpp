#include "processors/pdf/office/engine_message.h"

#include <gtest/gtest.h>

namespace pdf::office {
namespace {

TEST(EngineMessage, ValuesOfAnyBytesComeBackAsSent) {
  const std::string values[] = {"",
                                "plain",
                                "a=b=c",
                                "100%",
                                "two\nlines\r\n",
                                std::string("nul\0in", 6),
                                "%0A written literally",
                                "\xC3\xA9t\xC3\xA9"};
  EngineMessage message;
  for (const std::string& value : values)
    message.Add("key", value);
  message.Add("other-key", "x");
  std::optional<EngineMessage> decoded = EngineMessage::Decode(message.Encode());
  ASSERT_TRUE(decoded);
  std::vector<std::string> back = decoded->All("key");
  ASSERT_EQ(back.size(), std::size(values));
  for (std::size_t i = 0; i < back.size(); ++i)
    EXPECT_EQ(back[i], values[i]) << i;
  EXPECT_EQ(decoded->Get("other-key"), "x");
  EXPECT_EQ(decoded->Get("missing"), std::nullopt);
}

TEST(EngineMessage, RefusesWhatItDidNotWrite) {
  const std::string magic = std::string(kMessageMagic) + "\n";
  const std::string texts[] = {
      "",
      "status=ok\n",                 // no magic line
      "vtps-engine=2\nstatus=ok\n",  // another version
      magic + "status\n",            // no "="
      magic + "=ok\n",               // empty key
      magic + "sta tus=ok\n",        // a space in the key
      magic + "status=ok",           // the last line unended
      magic + "status=%G0\n",        // not hexadecimal
      magic + "status=%4\n",         // a cut escape
      magic + "status=%0a\n",        // lower case is not what Encode writes
  };
  for (const std::string& text : texts)
    EXPECT_FALSE(EngineMessage::Decode(text)) << text;
  EXPECT_TRUE(EngineMessage::Decode(magic));
}

}  // namespace
}  // namespace pdf::office
