#include "processors/pdf/entry/operation_table.h"

#include <gtest/gtest.h>

namespace pdf::entry {

namespace {

KQ_TDict Nothing(const run::JobParameters&, document::OperationContext&) {
  return {};
}

TEST(FindOperation, FindsAProgramByItsBaseNameOnly) {
  const OperationTable table = {{"pdf-merge", "PdfMerge", "joins", &Nothing},
                                {"pdf-text", "PdfText", "reads", &Nothing}};
  const OperationEntry* merge = FindOperation(table, "/opt/vtps/processors/pdf-merge");
  ASSERT_NE(merge, nullptr);
  EXPECT_STREQ(merge->method, "PdfMerge");
  const OperationEntry* text = FindOperation(table, "pdf-text");
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text->method, "PdfText");
  for (const char* other : {"pdf-info", "vtps-pdf", "pdf-text.sh", "PDF-TEXT", "", "/x/pdf-",
                            "/x/pdf-merge/", "pdf-merge "})
    EXPECT_EQ(FindOperation(table, other), nullptr) << other;
}

}  // namespace

}  // namespace pdf::entry
