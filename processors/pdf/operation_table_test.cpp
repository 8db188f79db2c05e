#include "processors/pdf/operation_table.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(FindOperation, FindsEachProgramByItsBaseNameInItsOwnTableOnly) {
  const OperationEntry* merge =
      FindOperation(DocumentOperations(), "/opt/vtps/processors/pdf-merge");
  ASSERT_NE(merge, nullptr);
  EXPECT_STREQ(merge->method, "PdfMerge");
  const OperationEntry* text = FindOperation(DrawingOperations(), "pdf-text");
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text->method, "PdfText");
  // Each program answers only to its own names.
  EXPECT_EQ(FindOperation(DocumentOperations(), "pdf-text"), nullptr);
  EXPECT_EQ(FindOperation(DrawingOperations(), "pdf-merge"), nullptr);
  EXPECT_EQ(FindOperation(DocumentOperations(), "pdf-metadata"), nullptr);
  ASSERT_NE(FindOperation(MetadataOperations(), "pdf-metadata"), nullptr);
  for (const char* other : {"vtps-pdf", "vtps-pdf-draw", "vtps-pdf-metadata", "pdf-info.sh",
                            "PDF-INFO", "", "/x/pdf-"}) {
    EXPECT_EQ(FindOperation(DocumentOperations(), other), nullptr) << other;
    EXPECT_EQ(FindOperation(DrawingOperations(), other), nullptr) << other;
    EXPECT_EQ(FindOperation(MetadataOperations(), other), nullptr) << other;
  }
}

TEST(Operations, EveryProgramAndMethodIsDistinctAcrossThePrograms) {
  std::set<std::string> programs;
  std::set<std::string> methods;
  std::size_t count = 0;
  for (const OperationTable* table :
       {&DocumentOperations(), &DrawingOperations(), &MetadataOperations()}) {
    for (const OperationEntry& entry : *table) {
      programs.insert(entry.program);
      methods.insert(entry.method);
      EXPECT_NE(entry.run, nullptr);
      ++count;
    }
  }
  EXPECT_EQ(count, 21u);
  EXPECT_EQ(programs.size(), count);
  EXPECT_EQ(methods.size(), count);
}

}  // namespace
