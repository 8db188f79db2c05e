#include "processors/pdf/operation_table.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(FindOperation, FindsEachProgramByItsBaseName) {
  const OperationEntry* merge = FindOperation("/opt/vtps/processors/pdf-merge");
  ASSERT_NE(merge, nullptr);
  EXPECT_STREQ(merge->method, "PdfMerge");
  ASSERT_NE(FindOperation("pdf-text"), nullptr);
  for (const char* other : {"vtps-pdf", "pdf-info.sh", "PDF-INFO", "", "/x/pdf-"})
    EXPECT_EQ(FindOperation(other), nullptr) << other;
}

TEST(Operations, EveryProgramAndMethodIsDistinct) {
  std::set<std::string> programs;
  std::set<std::string> methods;
  for (const OperationEntry& entry : Operations()) {
    programs.insert(entry.program);
    methods.insert(entry.method);
    EXPECT_NE(entry.run, nullptr);
  }
  EXPECT_EQ(programs.size(), Operations().size());
  EXPECT_EQ(methods.size(), Operations().size());
  EXPECT_NE(FindOperation("pdf-ocr"), nullptr);
}

}  // namespace
