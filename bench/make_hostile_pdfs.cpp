// make-hostile-pdfs FOLDER [REAL.pdf...]: writes every hostile PDF of
// processors/pdf/samples/hostile_pdf.h into FOLDER as NAME.pdf, and damaged copies of each REAL.pdf
// (named after it), and prints one line per file: its name, a tab, what it attacks. It also
// writes the JPEGs for pdf-from-images, not listed: no-dqt.jpg and no-dht.jpg lack their
// quantisation or Huffman tables, whole.jpg has both.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "processors/pdf/samples/hostile_pdf.h"

namespace {

bool Write(const std::string& folder, const pdf::samples::HostilePdf& pdf) {
  std::string path = folder + "/" + pdf.name + ".pdf";
  std::ofstream out(path, std::ios::binary);
  out << pdf.content;
  out.close();
  if (!out) {
    std::cerr << "make-hostile-pdfs: cannot write " << path << "\n";
    return false;
  }
  std::cout << pdf.name << "\t" << pdf.description << "\n";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: make-hostile-pdfs FOLDER [REAL.pdf...]\n";
    return 2;
  }
  for (const pdf::samples::HostilePdf& pdf : pdf::samples::HostileSet())
    if (!Write(argv[1], pdf))
      return 1;
  const struct {
    const char* name;
    bool quantisation, huffman;
  } jpegs[] = {{"no-dqt.jpg", false, true}, {"no-dht.jpg", true, false}, {"whole.jpg", true, true}};
  for (const auto& jpeg : jpegs) {
    std::ofstream out(std::string(argv[1]) + "/" + jpeg.name, std::ios::binary);
    out << pdf::samples::JpegWithoutTables(jpeg.quantisation, jpeg.huffman);
    if (!out.flush()) {
      std::cerr << "make-hostile-pdfs: cannot write " << jpeg.name << "\n";
      return 1;
    }
  }
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    if (!in) {
      std::cerr << "make-hostile-pdfs: cannot read " << argv[i] << "\n";
      return 1;
    }
    std::string name = std::filesystem::path(argv[i]).stem().string();
    for (const pdf::samples::HostilePdf& pdf :
         pdf::samples::MutatedCopies(name, content.str(), static_cast<unsigned>(i)))
      if (!Write(argv[1], pdf))
        return 1;
  }
  return 0;
}
