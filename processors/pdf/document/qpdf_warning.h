// What a qpdf warning means for a run. qpdf reads damaged files by replacing what it cannot
// read with null and recording a warning; some warnings instead report a repair that loses
// nothing (a page object listed twice gets a copy, a direct page is made indirect). A run
// may succeed despite the second kind and must fail on the first, and an allocation that
// failed inside qpdf also arrives as a warning. Pure functions of the messages.
#pragma once

#include <string>
#include <vector>

namespace pdf::document {

enum class WarningKind {
  kRecovered,    // repaired with nothing lost
  kOutOfMemory,  // an allocation failed while qpdf worked
  kDataLost,     // an object or its data was dropped or replaced
};

// Whose warnings they are: a document read from a file, or one a run assembled from pages
// it copied, whose content streams only qpdf's copying of form fields parses (to find the
// resources it renames, through a filter that passes what it cannot read as it is).
enum class WarnedDocument { kRead, kAssembled };

// The kind of each warning in `messages`, in order (one warning's kind may depend on the
// next: a decoding error followed by qpdf's notice that the stream is copied unfiltered
// lost nothing). Content that does not parse loses nothing in an assembled document.
std::vector<WarningKind> ClassifyWarnings(const std::vector<std::string>& messages,
                                          WarnedDocument document = WarnedDocument::kRead);

}  // namespace pdf::document
