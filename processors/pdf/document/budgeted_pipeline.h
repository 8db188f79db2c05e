// A qpdf Pipeline that ends in a run::BudgetedFile, so that what qpdf writes (a whole document,
// a stream's decoded data) is charged to the run's output budget as it is written. The file
// is borrowed and must outlive the pipeline; use from one thread.
#pragma once

#include <qpdf/Pipeline.hh>

#include "processors/pdf/run/output_budget.h"

namespace pdf::document {

class BudgetedPipeline : public Pipeline {
 public:
  explicit BudgetedPipeline(run::BudgetedFile& file)
      : Pipeline("budgeted file", nullptr), file_(file) {}

  // Throws PdfError as BudgetedFile::Write and Flush do.
  void write(unsigned char const* data, size_t length) override { file_.Write(data, length); }
  void finish() override { file_.Flush(); }

 private:
  run::BudgetedFile& file_;
};

}  // namespace pdf::document
