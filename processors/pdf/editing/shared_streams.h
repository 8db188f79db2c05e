// Sharing identical streams: documents often hold the same image, font or form many times
// over (each page made separately). Streams reachable from the trailer whose dictionaries
// (apart from /Length) and stored bytes are equal are made one object, every reference to a
// copy pointing at the first. Use from one thread.
#pragma once

#include <qpdf/QPDF.hh>

namespace pdf::editing {

// Points every reference to a duplicate stream of `pdf` at its first copy; returns the
// number of copies left unreferenced (the writer drops them). Walks without recursion.
int ShareIdenticalStreams(QPDF& pdf);

}  // namespace pdf::editing
