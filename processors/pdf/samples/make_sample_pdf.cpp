// make-sample-pdf OUTPUT [PAGES]: writes a small PDF of PAGES Letter pages (default 3),
// each with the line "Sample page N", for the demo and for trying the processors by hand.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "processors/pdf/samples/sample_pdf.h"

int main(int argc, char** argv) {
  int count = argc == 3 ? std::atoi(argv[2]) : 3;
  if (argc < 2 || argc > 3 || count < 1 || count > 100000) {
    std::cerr << "usage: make-sample-pdf OUTPUT [PAGES from 1 to 100000]\n";
    return 2;
  }
  pdf::samples::SampleDocument document;
  document.pages = pdf::samples::TextPages(count, "Sample page");
  document.info = {{"Title", "VTPS sample"}, {"Author", "make-sample-pdf"}};
  try {
    pdf::samples::WriteSamplePdf(document, argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "make-sample-pdf: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
