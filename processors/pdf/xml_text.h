// Text taken from a PDF (document information, page text) made fit for an answer: the job
// file's XML cannot carry most control characters, and the mapping refuses a whole answer
// that holds one. A pure function.
#pragma once

#include <string>

// `text` with every byte from 0x00 to 0x1F other than tab, line feed and carriage return
// replaced by a space (a form feed between text blocks becomes a space too).
std::string XmlSafeText(std::string text);
