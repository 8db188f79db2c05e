// How deeply the elements of an XML document nest, measured before the tree library parses
// it: the library's reader recurses once per element level without a limit, so a document
// nested some thousands of levels deep would overflow the stack and end the process.
//
// The measurement follows the reader's own grammar (the reader used with flags 0): elements,
// closing tags whose names are not compared, attributes in either quote, comments, CDATA,
// processing instructions and the declaration, DOCTYPE with its bracketed subset, and a NUL
// byte ending the document. It walks the text once, iteratively, and never recurses.
// Pure functions; safe to call from any thread.
#pragma once

#include <string_view>

namespace xml_depth {

// The deepest element nesting that job files may have: a top-level element is level 1.
// It is far below what overflows a worker thread's stack in the reader, in the tree's own
// recursive copy and destruction and in the dictionary conversions.
inline constexpr int kMaxXmlDepth = 512;

enum class XmlDepthStatus {
  kWithinLimit,  // `depth` is the deepest element level (0 for a document without elements)
  kTooDeep,      // an element lies deeper than the limit; scanning stopped there
  kMalformed,    // the reader would reject the document at or before this point
};

struct XmlDepth {
  XmlDepthStatus status;
  int depth;
};

// Measures `document`, stopping at the first element below `limit` levels. A document that
// the reader rejects for a reason outside its structure (a bad character reference, say) can
// still come back kWithinLimit; everything this returns as kMalformed the reader rejects too.
XmlDepth MeasureXmlDepth(std::string_view document, int limit = kMaxXmlDepth);

}  // namespace xml_depth
