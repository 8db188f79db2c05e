#include "processors/pdf/document/qpdf_warning.h"

namespace pdf::document {

namespace {

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// qpdf's messages for repairs in which nothing is lost.
const char* const kRecovered[] = {
    // A page object listed twice in the page tree: the second listing becomes a copy.
    "appears more than once in the pages tree; creating a new page object as a copy",
    // A page given directly in /Kids becomes an indirect object.
    "is direct; converting to indirect",
    // A node of the page tree without the right /Type gets it.
    "key should be /Page but is not; overriding",
    "key should be /Pages but is not; overriding",
    // A dictionary naming a key twice keeps the last value, as readers do.
    "last occurrence overrides earlier ones",
    // The catalog's /Pages not pointing at the tree's root: qpdf points it there.
    "doesn't point to the root of the page tree; attempting to correct",
    // A Flate stream that ends early: everything it holds is decoded.
    "input stream is complete but output may still be valid",
    // A stream that could not be decoded while writing is copied as it was.
    "stream will be re-processed without filtering to avoid data loss",
    // The file's bookkeeping, wrong in ways qpdf reads through without losing an object:
    // the trailer's object count, blanks where the cross-reference table should start, the
    // end of line after a stream keyword, and a name whose "#" starts no hex code (qpdf keeps
    // the name as written and writes the "#" as "#23", which reads back the same).
    "is not one plus the highest object number",
    "extraneous whitespace seen before xref",
    "stream keyword followed by carriage return only",
    "stream keyword followed by extraneous whitespace",
    "name with stray # will not work with PDF >= 1.2",
    // Content qpdf could not read through while looking for unused resources: it keeps
    // every resource of that page or form.
    "not attempting to remove unreferenced objects from this object",
    // A form whose field tree is not as it should be: qpdf takes a widget no field lists
    // for a field of its own, skips what cannot be a field (a direct object, a
    // non-dictionary, a /Fields that is no array, a loop) and keeps a /DA or appearance
    // stream it cannot parse as it is. Every widget a page lists is still drawn and copied.
    "is not reachable from /AcroForm in the document catalog",
    "while traversing /AcroForm; ignoring field or annotation",
    "loop detected while traversing /AcroForm",
    "/Fields key of /AcroForm dictionary is not an array; ignoring",
    "indicating likely invalid field structure",
    "this form field may not update properly",
};

}  // namespace

std::vector<WarningKind> ClassifyWarnings(const std::vector<std::string>& messages,
                                          WarnedDocument document) {
  std::vector<WarningKind> kinds(messages.size(), WarningKind::kDataLost);
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const std::string& message = messages[i];
    // zlib reports an allocation it could not make as a "memory error" of its own.
    if (Contains(message, "bad_alloc") || Contains(message, "Cannot allocate memory") ||
        Contains(message, "out of memory") || Contains(message, "zlib memory error")) {
      kinds[i] = WarningKind::kOutOfMemory;
      continue;
    }
    for (const char* recovered : kRecovered)
      if (Contains(message, recovered))
        kinds[i] = WarningKind::kRecovered;
    // A dictionary in a page's content stream (marked-content properties) with a value where
    // a key belongs: qpdf parses content only to learn what it uses and writes the stream's
    // bytes as they are, so its stand-in key reaches no output. In an object of the file
    // itself the stand-in would be written, and the warning stays damage.
    if (Contains(message, "(content, offset") &&
        Contains(message, "expected dictionary key but found non-name object"))
      kinds[i] = WarningKind::kRecovered;
    if (document == WarnedDocument::kAssembled && Contains(message, "(content, offset"))
      kinds[i] = WarningKind::kRecovered;
    if (Contains(message, "error decoding stream data") && i + 1 < messages.size() &&
        Contains(messages[i + 1], "re-processed without filtering"))
      kinds[i] = WarningKind::kRecovered;
  }
  return kinds;
}

}  // namespace pdf::document
