// make-sample-office KIND OUTPUT [ARGUMENT]: writes an office document for the demo, the
// benchmarks and trying pdf-from-office by hand. KIND:
//   docx [PAGES]     PAGES pages (default 2) of a heading and a paragraph each
//   xlsx             a small table of numbers
//   inflating        a DOCX of less than a megabyte that inflates to 144 MB of XML
//   long-text        a text file of 400,000 lines
//   macro MARKER     an ODT whose opening would run a macro writing the file MARKER
//   links URL FILE   an ODT linking an image at URL and one at FILE (file://...)
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "processors/pdf/samples/office_samples.h"

int main(int argc, char** argv) {
  const std::string kind = argc >= 3 ? argv[1] : "";
  const std::string usage =
      "usage: make-sample-office docx OUTPUT [PAGES] | xlsx OUTPUT | inflating OUTPUT |\n"
      "       long-text OUTPUT | macro OUTPUT MARKER | links OUTPUT URL FILE\n";
  std::string content;
  if (kind == "docx" && argc <= 4) {
    int pages = argc == 4 ? std::atoi(argv[3]) : 2;
    if (pages < 1 || pages > 10000) {
      std::cerr << usage;
      return 2;
    }
    std::vector<std::vector<std::string>> text;
    for (int page = 1; page <= pages; ++page)
      text.push_back({"Sample page " + std::to_string(page),
                      "This page was written by make-sample-office in Calibri, which the "
                      "server draws with Carlito, its metric-compatible stand-in."});
    content = pdf::samples::SampleDocx(text);
  } else if (kind == "xlsx" && argc == 3) {
    content = pdf::samples::SampleXlsx({{"Quarter", "Revenue", "Costs"},
                                        {"Q1", "120", "80"},
                                        {"Q2", "135", "90"},
                                        {"Q3", "150", "95"}});
  } else if (kind == "inflating" && argc == 3) {
    content = pdf::samples::InflatingDocx(4'000'000);
  } else if (kind == "long-text" && argc == 3) {
    content = pdf::samples::LongText();
  } else if (kind == "macro" && argc == 4) {
    content = pdf::samples::MacroOdt(argv[3]);
  } else if (kind == "links" && argc == 5) {
    content = pdf::samples::LinkingOdt(argv[3], argv[4]);
  } else {
    std::cerr << usage;
    return 2;
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
