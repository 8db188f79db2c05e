// OutputBudget: the bytes one run may write to its outputs, all of them together
// (VTPS_PDF_MAX_OUTPUT_BYTES, default 1 GiB), charged while they are written so that a small
// job cannot fill the disk. BudgetedFile is where a writer's bytes go: a FILE* the budget is
// charged for before each write (document::BudgetedPipeline hands it to qpdf). Both are used
// from one thread; the budget outlives the files.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace pdf::run {

class OutputBudget {
 public:
  explicit OutputBudget(long long maxBytes) : maxBytes_(maxBytes) {}

  // Charges `bytes` about to be written to the output `label`. Throws PdfError naming the
  // output and VTPS_PDF_MAX_OUTPUT_BYTES when the run's outputs would pass the limit.
  void Charge(long long bytes, const std::string& label);

  long long Written() const { return written_; }
  long long MaxBytes() const { return maxBytes_; }

 private:
  long long maxBytes_;
  long long written_ = 0;
};

class BudgetedFile {
 public:
  // Writes to `file`, which it owns from then on (an output's stream, os::OpenStream). Throws
  // PdfError naming `label` when `file` is null. The budget is borrowed.
  BudgetedFile(std::FILE* file, std::string label, OutputBudget& budget);
  ~BudgetedFile();
  BudgetedFile(const BudgetedFile&) = delete;
  BudgetedFile& operator=(const BudgetedFile&) = delete;

  // Charges the budget, then writes. Throws PdfError as OutputBudget::Charge does, or naming
  // the output when the system refuses the bytes (a full disk).
  void Write(const unsigned char* data, std::size_t length);
  // Flushes to the file. Throws PdfError naming the output when that fails.
  void Flush();
  // Flushes and closes; throws PdfError naming the output when either fails.
  void Close();

 private:
  std::string label_;
  OutputBudget& budget_;
  std::FILE* file_;
};

}  // namespace pdf::run
