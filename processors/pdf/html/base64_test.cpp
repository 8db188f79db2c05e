#include "processors/pdf/html/base64.h"

#include <gtest/gtest.h>

namespace pdf::html {
namespace {

TEST(Base64, EncodesAsTheStandardSaysAndDecodesBack) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\0\xff\x10", 3), "AP8Q"},
  };
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(EncodeBase64(bytes), text);
    EXPECT_EQ(DecodeBase64(text), bytes) << text;
  }
  std::string all;
  for (int i = 0; i < 256; ++i)
    all += static_cast<char>(i);
  EXPECT_EQ(DecodeBase64(EncodeBase64(all)), all);
}

TEST(Base64, RefusesWhatIsNotBase64) {
  for (const char* text : {"Zg=", "Zm9v!A==", "====", "Zg==Zg==", "Z===", "Zm9\n"})
    EXPECT_EQ(DecodeBase64(text), std::nullopt) << text;
}

}  // namespace
}  // namespace pdf::html
