// DamageWatch: the qpdf documents of one run and what their warnings say. qpdf reads on
// demand, replacing what it cannot read with null and only recording a warning, so the
// documents are checked after opening, after the work and after writing, before any output
// is committed: a warning that means lost data fails the run, one that means a repair with
// nothing lost is kept for the answer. The watch shares ownership of the documents, so that
// their warnings can still be read once an operation's own handles are gone. One object per
// run, used from one thread.
#pragma once

#include <qpdf/QPDF.hh>

#include <memory>
#include <string>
#include <vector>

namespace pdf::document {

// What a refusal of a damaged input ends with, so that the caller learns the way forward:
// PdfRepair reads the file with qpdf's reconstruction and writes what it recovers.
inline constexpr const char* kRepairHint = "; PdfRepair may recover it";

class DamageWatch {
 public:
  DamageWatch() = default;
  // Frees the watched documents, or keeps them when KeepDocumentsUntilExit was called.
  ~DamageWatch();
  DamageWatch(const DamageWatch&) = delete;
  DamageWatch& operator=(const DamageWatch&) = delete;

  // Watches `pdf`; its warnings are reported as those of `subject` (`file "a.pdf"`).
  void Watch(std::shared_ptr<QPDF> pdf, std::string subject);

  // The watched documents are not freed when the watch ends but kept until the process
  // ends (or FreeKeptDocuments): a processor exits right after writing its answer, and
  // freeing qpdf's objects one by one can take a fifth of a run on a large file.
  void KeepDocumentsUntilExit() { keepUntilExit_ = true; }

  // Reads every watched document's new warnings. Throws PdfError with the first warning
  // that means lost data ("<subject> is damaged: ..."), or naming the subject and
  // VTPS_PDF_MAX_MEMORY_MB when qpdf ran out of memory. Recovered warnings are kept.
  void Check();

  // Adds `warning` to the recovered warnings: something the operations repaired themselves
  // without losing anything.
  void Note(std::string warning) { recovered_.push_back(std::move(warning)); }

  // The recovered warnings seen so far, as the answer's "warning" entries.
  const std::vector<std::string>& Recovered() const { return recovered_; }

 private:
  struct Watched {
    std::shared_ptr<QPDF> pdf;
    std::string subject;
  };
  std::vector<Watched> watched_;
  std::vector<std::string> recovered_;
  bool keepUntilExit_ = false;
};

// Frees the documents watches kept until the process ends, for a caller that needs their
// memory back.
void FreeKeptDocuments();

}  // namespace pdf::document
