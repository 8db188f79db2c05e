// The attributes and namespace declarations an XML text holds, counted in one pass over the
// text without parsing it, so that a packet libxml2 would take quadratic time over (it checks
// each attribute of an element against the ones before it, and each namespace lookup walks
// every declaration in scope, so the cost lies in the attributes of one element and in the
// declarations of the whole text) is refused before it is parsed. Comments, processing
// instructions, CDATA sections and quoted values are skipped as XML skips them; text that is
// not well-formed is counted as far as it goes, the parser refusing it later. A pure function.
#pragma once

#include <string_view>

namespace pdf::xmp {

struct MarkupCount {
  long long mostAttributes = 0;  // on one element, namespace declarations included
  long long namespaces = 0;      // xmlns and xmlns:prefix attributes in the whole text
};

MarkupCount CountMarkup(std::string_view xml);

}  // namespace pdf::xmp
