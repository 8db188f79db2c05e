#include "processors/pdf/document/flate_salvage.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace pdf::document {

namespace {

std::string Compressed(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
           static_cast<uLong>(text.size()));
  out.resize(size);
  return out;
}

// Text that does not repeat, so that damage late in the data leaves most of it readable.
std::string Content(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i)
    text += "BT /F1 12 Tf 72 " + std::to_string(700 - i % 600) + " Td (line " +
            std::to_string(i * 7919 % 100003) + ") Tj ET\n";
  return text;
}

}  // namespace

TEST(FlateSalvage, KeepsWhatInflatesBeforeTheDamage) {
  std::string text = Content(3000);
  std::string whole = Compressed(text);

  FlateSalvage sound = InflateUntilDamage(whole, 1 << 30);
  EXPECT_TRUE(sound.complete);
  EXPECT_FALSE(sound.exceeded);
  EXPECT_EQ(sound.data, text);

  // A byte changed at three quarters of the data: inflate fails there or soon after, and
  // what came before is the text's own beginning.
  std::string damaged = whole;
  damaged[damaged.size() * 3 / 4] ^= 0x5A;
  FlateSalvage salvage = InflateUntilDamage(damaged, 1 << 30);
  EXPECT_FALSE(salvage.complete);
  EXPECT_GT(salvage.data.size(), text.size() / 2);
  EXPECT_LT(salvage.data.size(), text.size() * 2);
  EXPECT_EQ(text.compare(0, salvage.data.size() / 2, salvage.data, 0, salvage.data.size() / 2), 0);

  // Cut short: everything up to the cut.
  FlateSalvage cut =
      InflateUntilDamage(std::string_view(whole).substr(0, whole.size() / 2), 1 << 30);
  EXPECT_FALSE(cut.complete);
  EXPECT_GT(cut.data.size(), text.size() / 4);
  EXPECT_EQ(text.compare(0, cut.data.size(), cut.data), 0);
}

TEST(FlateSalvage, StopsAtTheBoundAndOnDataThatIsNotFlate) {
  std::string text = Content(3000);
  FlateSalvage bounded = InflateUntilDamage(Compressed(text), 1000);
  EXPECT_TRUE(bounded.exceeded);
  EXPECT_FALSE(bounded.complete);
  EXPECT_EQ(bounded.data, text.substr(0, 1000));

  for (const std::string& garbage :
       {std::string(), std::string("not zlib at all"), std::string(64, '\xFF')}) {
    FlateSalvage none = InflateUntilDamage(garbage, 1 << 30);
    EXPECT_FALSE(none.complete);
    EXPECT_TRUE(none.data.empty());
  }
}

}  // namespace pdf::document
