#include "processors/pdf/document/damage_watch.h"

#include <qpdf/QPDFExc.hh>

#include "processors/pdf/document/qpdf_warning.h"
#include "processors/pdf/run/limit_settings.h"
#include "processors/pdf/text/answer_text.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::document {

namespace {

// The documents kept until the process ends: reachable from a static, so that leak checkers
// do not count them, and never destroyed with the statics.
std::vector<std::shared_ptr<QPDF>>& KeptDocuments() {
  static auto* kept = new std::vector<std::shared_ptr<QPDF>>();
  return *kept;
}

// Inputs are watched as `file "NAME"`, outputs as `output "NAME"`; only an input can be
// given to PdfRepair.
bool IsInput(const std::string& subject) {
  return subject.rfind("file ", 0) == 0;
}

}  // namespace

DamageWatch::~DamageWatch() {
  if (!keepUntilExit_)
    return;
  try {
    std::vector<std::shared_ptr<QPDF>>& kept = KeptDocuments();
    kept.reserve(kept.size() + watched_.size());
    for (Watched& watched : watched_)
      kept.push_back(std::move(watched.pdf));
  } catch (const std::bad_alloc&) {
    // Without the memory to keep them, they are freed as usual.
  }
}

void FreeKeptDocuments() {
  std::vector<std::shared_ptr<QPDF>>().swap(KeptDocuments());
}

void DamageWatch::Watch(std::shared_ptr<QPDF> pdf, std::string subject) {
  watched_.push_back({std::move(pdf), std::move(subject)});
}

void DamageWatch::Check() {
  for (Watched& watched : watched_) {
    std::vector<std::string> messages;
    for (const QPDFExc& warning : watched.pdf->getWarnings())
      messages.push_back(text::XmlSafeText(warning.what()));
    std::vector<WarningKind> kinds = ClassifyWarnings(messages);
    for (std::size_t i = 0; i < messages.size(); ++i) {
      if (kinds[i] == WarningKind::kOutOfMemory)
        throw PdfError(run::OutOfMemoryMessage(watched.subject));
      if (kinds[i] == WarningKind::kDataLost)
        throw PdfError(watched.subject + " is damaged: " + messages[i] +
                       (IsInput(watched.subject) ? kRepairHint : ""));
    }
    recovered_.insert(recovered_.end(), messages.begin(), messages.end());
  }
}

}  // namespace pdf::document
