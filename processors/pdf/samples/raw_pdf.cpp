#include "processors/pdf/samples/raw_pdf.h"

#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace pdf::samples {

int RawPdf::Add(const std::string& body) {
  bodies_.push_back(body);
  return static_cast<int>(bodies_.size());
}

std::string RawPdf::Text() const {
  std::string out = "%PDF-1.7\n%\xe2\xe3\xcf\xd3\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < bodies_.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + bodies_[i] + "\nendobj\n";
  }
  std::size_t xref = out.size();
  out += "xref\n0 " + std::to_string(bodies_.size() + 1) + "\n0000000000 65535 f \n";
  for (std::size_t offset : offsets) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    out += entry;
  }
  out += "trailer\n<< /Size " + std::to_string(bodies_.size() + 1) + " /Root 1 0 R " + trailer_ +
         ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

std::string Ref(int number) {
  return std::to_string(number) + " 0 R";
}

std::string Stream(const std::string& data, const std::string& extra) {
  return "<< /Length " + std::to_string(data.size()) + extra + " >>\nstream\n" + data +
         "\nendstream";
}

std::string Deflated(const std::string& prefix, char fill, long long count,
                     const std::string& suffix) {
  Pl_Buffer buffer("deflated");
  Pl_Flate flate("deflate", &buffer, Pl_Flate::a_deflate);
  flate.write(reinterpret_cast<const unsigned char*>(prefix.data()), prefix.size());
  std::string chunk(1 << 16, fill);
  for (long long left = count; left > 0;) {
    std::size_t n = static_cast<std::size_t>(std::min<long long>(left, 1 << 16));
    flate.write(reinterpret_cast<const unsigned char*>(chunk.data()), n);
    left -= static_cast<long long>(n);
  }
  flate.write(reinterpret_cast<const unsigned char*>(suffix.data()), suffix.size());
  flate.finish();
  std::unique_ptr<Buffer> bytes(buffer.getBuffer());
  return std::string(reinterpret_cast<const char*>(bytes->getBuffer()), bytes->getSize());
}

std::string Deflated(const std::string& data) {
  return Deflated(data, ' ', 0, "");
}

const char* const kHelvetica =
    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";

std::string TextContent(const std::string& text) {
  return Stream("BT /F1 24 Tf 72 700 Td (" + text + ") Tj ET");
}

RawPdf OnePage(const std::string& catalogEntries, const std::string& pageEntries) {
  RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R " + catalogEntries + " >>");
  pdf.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  int page = pdf.Reserve();
  int font = pdf.Add(kHelvetica);
  int content = pdf.Add(TextContent("Page 1"));
  pdf.Set(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 " +
                    Ref(font) + " >> >> /Contents " + Ref(content) + " " + pageEntries + " >>");
  return pdf;
}

std::string PagesWithContents(const std::vector<std::string>& contents, const std::string& mediaBox,
                              const std::string& resources) {
  RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  int tree = pdf.Reserve();
  int font = pdf.Add(kHelvetica);
  std::string kids;
  for (const std::string& content : contents) {
    int stream = pdf.Add(content);
    int page = pdf.Add("<< /Type /Page /Parent 2 0 R /MediaBox [" + mediaBox +
                       "] /Resources << /Font << /F1 " + Ref(font) + " >> " + resources +
                       " >> /Contents " + Ref(stream) + " >>");
    kids += Ref(page) + " ";
  }
  pdf.Set(tree,
          "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(contents.size()) + " >>");
  return pdf.Text();
}

}  // namespace pdf::samples
