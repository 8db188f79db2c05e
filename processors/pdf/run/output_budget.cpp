#include "processors/pdf/run/output_budget.h"

#include <cerrno>
#include <cstring>

#include "processors/pdf/run/open_files.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

void OutputBudget::Charge(long long bytes, const std::string& label) {
  if (bytes > maxBytes_ - written_)
    throw PdfError("output \"" + label + "\": the run's outputs would pass " +
                   std::to_string(maxBytes_) + " bytes (VTPS_PDF_MAX_OUTPUT_BYTES)");
  written_ += bytes;
}

BudgetedFile::BudgetedFile(std::FILE* file, std::string label, OutputBudget& budget)
    : label_(std::move(label)), budget_(budget), file_(file) {
  if (file_ == nullptr)
    throw PdfError("output \"" + label_ + "\" cannot be written (" + OpenFailureText(errno) + ")");
  // Writers hand over a few kilobytes at a time; a large buffer saves most system calls.
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
}

BudgetedFile::~BudgetedFile() {
  if (file_ != nullptr)
    std::fclose(file_);
}

void BudgetedFile::Write(const unsigned char* data, std::size_t length) {
  budget_.Charge(static_cast<long long>(length), label_);
  if (length > 0 && std::fwrite(data, 1, length, file_) != length)
    throw PdfError("output \"" + label_ + "\" cannot be written (" + std::strerror(errno) + ")");
}

void BudgetedFile::Flush() {
  if (std::fflush(file_) != 0)
    throw PdfError("output \"" + label_ + "\" cannot be written (" + std::strerror(errno) + ")");
}

void BudgetedFile::Close() {
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0)
    throw PdfError("output \"" + label_ + "\" cannot be written (" + std::strerror(errno) + ")");
}

}  // namespace pdf::run
