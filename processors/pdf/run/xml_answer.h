// An answer made writable as XML whatever text the documents gave it: every string in it, at
// any depth, has the characters XML cannot carry replaced by U+FFFD, and the places that
// needed it are named so that the answer can say so. Operations keep control characters
// out of what they answer (text::XmlSafeText); this catches the rest wherever it comes
// from: invalid UTF-8, surrogates, U+FFFE and U+FFFF in titles, names and page text. Pure
// functions of the answer.
#pragma once

#include <string>
#include <vector>

#include "platform/kqtypes/kq_dict.h"

namespace pdf::run {

// Replaces the characters XML cannot carry in every string of `answer`; returns the places
// changed, in order, as "info.Title" or "bookmark[2].title" (arrays counted from 1).
std::vector<std::string> ReplaceCharactersXmlForbids(KQ_TDict& answer);

// The warning an answer gets for the `places` ReplaceCharactersXmlForbids changed: it names
// the first few and counts the rest.
std::string ReplacedCharactersWarning(const std::vector<std::string>& places);

}  // namespace pdf::run
