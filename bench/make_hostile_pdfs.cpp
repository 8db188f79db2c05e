// make-hostile-pdfs FOLDER: writes every hostile PDF of processors/pdf/hostile_pdf.h into
// FOLDER as NAME.pdf and prints one line per file: its name and what it attacks.
#include <fstream>
#include <iostream>

#include "processors/pdf/hostile_pdf.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make-hostile-pdfs FOLDER\n";
    return 2;
  }
  for (const HostilePdf& pdf : HostileSet()) {
    std::string path = std::string(argv[1]) + "/" + pdf.name + ".pdf";
    std::ofstream out(path, std::ios::binary);
    out << pdf.content;
    out.close();
    if (!out) {
      std::cerr << "make-hostile-pdfs: cannot write " << path << "\n";
      return 1;
    }
    std::cout << pdf.name << "\t" << pdf.description << "\n";
  }
  return 0;
}
