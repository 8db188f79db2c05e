#include "processors/pdf/document/damage_watch.h"

#include <qpdf/QPDFExc.hh>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <vector>

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

// Inputs are watched as `file "NAME"`, outputs as `output "NAME"`.
bool IsInput(const std::string& subject) {
  return subject.rfind("file ", 0) == 0;
}

// Only an input can be given to PdfRepair; an output's damage is data copied from an
// input, which qpdf's message names.
std::string RepairHint(const std::string& subject) {
  if (IsInput(subject))
    return kRepairHint;
  return "; PdfRepair may recover the file it was copied from";
}

// The objects a warning is about: the one it names ("object 6 0"), or for qpdf's
// "object has offset 0" given without a name (as its writer reports it), every object the
// cross-reference table places at offset 0; empty when it is about none it can tell.
std::vector<QPDFObjGen> ObjectsOf(const QPDFExc& warning, QPDF& pdf) {
  int number = 0;
  int generation = 0;
  char rest = 0;
  if (std::sscanf(warning.getObject().c_str(), "object %d %d%c", &number, &generation, &rest) ==
          2 &&
      number > 0 && generation >= 0)
    return {QPDFObjGen(number, generation)};
  std::vector<QPDFObjGen> objects;
  if (warning.getMessageDetail() == "object has offset 0") {
    for (const auto& [object, entry] : pdf.getXRefTable())
      if (entry.getType() == 1 && entry.getOffset() == 0)
        objects.push_back(object);
  }
  return objects;
}

// Every indirect object reachable from `pdf`'s trailer: the catalog, the pages, the outline,
// the forms and whatever they refer to. A reference counts by its number, whether or not
// the object behind it could be read.
std::set<QPDFObjGen> ReachableObjects(QPDF& pdf) {
  std::set<QPDFObjGen> seen;
  std::vector<QPDFObjectHandle> pending{pdf.getTrailer()};
  while (!pending.empty()) {
    QPDFObjectHandle object = std::move(pending.back());
    pending.pop_back();
    QPDFObjGen id = object.getObjGen();
    if (id.getObj() != 0 && !seen.insert(id).second)
      continue;
    if (object.isStream())
      object = object.getDict();
    if (object.isDictionary()) {
      // The dictionary's map, not its keys: qpdf lists no key whose value is null, and an
      // entry whose object could not be read has become null.
      for (auto& [key, value] : object.getDictAsMap())
        pending.push_back(value);
    } else if (object.isArray()) {
      for (QPDFObjectHandle& item : object.getArrayAsVector())
        pending.push_back(item);
    }
  }
  return seen;
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
    std::vector<QPDFExc> warnings = watched.pdf->getWarnings();
    std::vector<std::string> messages;
    for (const QPDFExc& warning : warnings)
      messages.push_back(text::XmlSafeText(warning.what()));
    WarnedDocument document =
        IsInput(watched.subject) ? WarnedDocument::kRead : WarnedDocument::kAssembled;
    std::vector<WarningKind> kinds = ClassifyWarnings(messages, document);
    // An input's object that could not be read loses nothing when nothing in the document
    // reaches it (qpdf's writer reads every object its cross-reference table lists). The
    // walk that tells may read damaged objects of its own, which are judged with the rest.
    std::optional<std::set<QPDFObjGen>> reachable;
    if (IsInput(watched.subject)) {
      for (std::size_t i = 0; i < warnings.size() && !reachable; ++i) {
        if (kinds[i] == WarningKind::kDataLost && !ObjectsOf(warnings[i], *watched.pdf).empty())
          reachable = ReachableObjects(*watched.pdf);
      }
      if (reachable) {
        for (const QPDFExc& warning : watched.pdf->getWarnings()) {
          warnings.push_back(warning);
          messages.push_back(text::XmlSafeText(warning.what()));
        }
        kinds = ClassifyWarnings(messages, document);
      }
    }
    for (std::size_t i = 0; i < messages.size(); ++i) {
      if (kinds[i] == WarningKind::kOutOfMemory)
        throw PdfError(run::OutOfMemoryMessage(watched.subject));
      if (kinds[i] != WarningKind::kDataLost)
        continue;
      std::vector<QPDFObjGen> objects =
          reachable ? ObjectsOf(warnings[i], *watched.pdf) : std::vector<QPDFObjGen>();
      bool unreached = !objects.empty() && std::none_of(objects.begin(), objects.end(),
                                                        [&reachable](const QPDFObjGen& object) {
                                                          return reachable->count(object) > 0;
                                                        });
      if (unreached) {
        messages[i] += " (nothing in the document refers to that object)";
        continue;
      }
      throw PdfError(watched.subject + " is damaged: " + messages[i] + RepairHint(watched.subject));
    }
    recovered_.insert(recovered_.end(), messages.begin(), messages.end());
  }
}

}  // namespace pdf::document
