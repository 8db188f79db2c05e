#include "processors/pdf/text/attachment_name.h"

#include <gtest/gtest.h>

namespace pdf::text {

namespace {

TEST(AttachmentName, HostileNamesBecomeSingleVisibleFileNames) {
  struct Case {
    std::string name;
    std::string safe;
  };
  const Case cases[] = {
      {"report.pdf", "report.pdf"},
      {"../../etc/passwd", "passwd"},
      {"C:\\Windows\\evil.exe", "evil.exe"},
      {"folder/", "attachment"},
      {"..", "_."},
      {".", "_"},
      {".bashrc", "_bashrc"},
      {"", "attachment"},
      {"a\nb\tc\x7f", "a_b_c_"},
      {"x:y", "x_y"},
      {"caf\xc3\xa9.txt", "caf\xc3\xa9.txt"},
      {"bad\xff\xc3.txt", "bad__.txt"},
      {"c1\xc2\x85.txt", "c1_.txt"},
      {"overlong\xc0\xaf.txt", "overlong__.txt"},
      {"surrogate\xed\xa0\x80", "surrogate___"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SafeFileName(c.name), c.safe) << c.name;
}

TEST(AttachmentName, LongNamesAreCutOnACharacterBoundary) {
  std::string long_name;
  for (int i = 0; i < 150; ++i)
    long_name += "\xc3\xa9";  // two bytes each
  std::string safe = SafeFileName(long_name + ".txt");
  EXPECT_EQ(safe.size(), kMaxAttachmentFileName);
  EXPECT_EQ(safe, long_name.substr(0, kMaxAttachmentFileName));
  std::string numbered = NumberedFileName(safe, 12);
  EXPECT_LE(numbered.size(), kMaxAttachmentFileName);
  EXPECT_EQ(numbered.substr(numbered.size() - 5), " (12)");
  EXPECT_EQ(SafeFileName(numbered), numbered);  // still whole characters
}

TEST(AttachmentName, NoTwoAttachmentsAndNoExistingFileShareAName) {
  AttachmentNames names([](const std::string& name) { return name == "a.txt"; });
  EXPECT_EQ(names.Next("a.txt"), "a (2).txt");
  EXPECT_EQ(names.Next("x/a.txt"), "a (3).txt");
  EXPECT_EQ(names.Next("README"), "README");
  EXPECT_EQ(names.Next("../README"), "README (2)");
  EXPECT_EQ(names.Next(".hidden"), "_hidden");
}

}  // namespace

}  // namespace pdf::text
