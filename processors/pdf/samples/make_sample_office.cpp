// make-sample-office KIND OUTPUT [PAGES]: writes a small office document for the demo and for
// trying pdf-from-office by hand: KIND "docx" (PAGES pages, default 2, of a heading and a
// paragraph each) or "xlsx" (a small table of numbers).
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "processors/pdf/samples/office_samples.h"

int main(int argc, char** argv) {
  std::string kind = argc >= 3 ? argv[1] : "";
  int pages = argc == 4 ? std::atoi(argv[3]) : 2;
  if (argc < 3 || argc > 4 || (kind != "docx" && kind != "xlsx") || pages < 1 || pages > 10000) {
    std::cerr << "usage: make-sample-office docx|xlsx OUTPUT [PAGES from 1 to 10000]\n";
    return 2;
  }
  std::string content;
  if (kind == "docx") {
    std::vector<std::vector<std::string>> text;
    for (int page = 1; page <= pages; ++page)
      text.push_back({"Sample page " + std::to_string(page),
                      "This page was written by make-sample-office in Calibri, which the "
                      "server draws with Carlito, its metric-compatible stand-in."});
    content = pdf::samples::SampleDocx(text);
  } else {
    content = pdf::samples::SampleXlsx({{"Quarter", "Revenue", "Costs"},
                                        {"Q1", "120", "80"},
                                        {"Q2", "135", "90"},
                                        {"Q3", "150", "95"}});
  }
  std::ofstream out(argv[2], std::ios::binary);
  out << content;
  out.close();
  if (!out) {
    std::cerr << "make-sample-office: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
