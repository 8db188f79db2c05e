// The hostile samples that multiply a structure the operations walk: XMP attributes and
// namespace declarations, names pointing at one embedded file, a chain of name-tree nodes,
// an annotation listed many times, forms drawing forms, streams each inflating to just under
// the stream limit, many damaged streams, many attachments and millions of tiny objects.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "processors/pdf/samples/hostile_pdf.h"
#include "processors/pdf/samples/raw_pdf.h"

namespace pdf::samples {

namespace {

// `number` written with `digits` digits, zeros in front: names that sort as numbers do.
std::string Padded(long long number, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*lld", digits, number);
  return text;
}

}  // namespace

std::string XmpPacketPdf(const std::string& packet) {
  RawPdf pdf = OnePage("/Metadata 6 0 R");
  pdf.Add(Stream(Deflated(packet), " /Type /Metadata /Subtype /XML /Filter /FlateDecode"));
  return pdf.Text();
}

std::string XmpMarkupBombPacket(int count, bool namespaces) {
  std::string many;
  for (int i = 0; i < count; ++i)
    many += namespaces ? " xmlns:n" + std::to_string(i) + "=\"urn:n" + std::to_string(i) + "\""
                       : " a" + std::to_string(i) + "=\"v\"";
  return "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
         "rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"" +
         many +
         "><dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Bomb</rdf:li></rdf:Alt></dc:title>"
         "</rdf:Description></rdf:RDF></x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

std::string SharedAttachmentPdf(int names, long long decodedBytes) {
  RawPdf pdf = OnePage("/Names << /EmbeddedFiles 6 0 R >>");
  int tree = pdf.Reserve();
  int stream = pdf.Add(
      Stream(Deflated("", 'A', decodedBytes, ""), " /Type /EmbeddedFile /Filter /FlateDecode"));
  int fileSpec = pdf.Add("<< /Type /Filespec /F (data.txt) /UF (data.txt) /EF << /F " +
                         Ref(stream) + " >> >>");
  std::string entries;
  for (int i = 0; i < names; ++i)
    entries += "(k" + Padded(i, 7) + ") " + Ref(fileSpec) + "\n";
  pdf.Set(tree, "<< /Names [" + entries + "] >>");
  return pdf.Text();
}

std::string ManyAttachmentsPdf(int count) {
  RawPdf pdf = OnePage("/Names << /EmbeddedFiles 6 0 R >>");
  int tree = pdf.Reserve();
  std::string entries;
  for (int i = 0; i < count; ++i) {
    std::string name = "f" + Padded(i, 5);
    int stream = pdf.Add(Stream("file " + std::to_string(i) + "\n", " /Type /EmbeddedFile"));
    int fileSpec = pdf.Add("<< /Type /Filespec /F (" + name + ".txt) /UF (" + name +
                           ".txt) /EF << /F " + Ref(stream) + " >> >>");
    entries += "(" + name + ") " + Ref(fileSpec) + "\n";
  }
  pdf.Set(tree, "<< /Names [" + entries + "] >>");
  return pdf.Text();
}

std::string DestinationChainPdf(int chainNodes, int bookmarks) {
  RawPdf pdf = OnePage("/Names << /Dests 6 0 R >> /Outlines 7 0 R");
  int first = pdf.Reserve();
  int outlines = pdf.Reserve();
  // Each node leads to the next one through /Kids, with limits that cover every name, so
  // that a lookup walks the whole chain.
  std::string limits = "/Limits [(d" + Padded(0, 5) + ") (d" + Padded(bookmarks, 5) + ")]";
  int node = first;
  for (int i = 1; i < chainNodes; ++i) {
    int next = pdf.Reserve();
    pdf.Set(node, "<< /Kids [" + Ref(next) + "] " + limits + " >>");
    node = next;
  }
  std::string names;
  for (int i = 0; i < bookmarks; ++i)
    names += "(d" + Padded(i, 5) + ") [3 0 R /XYZ null null null]\n";
  pdf.Set(node, "<< /Names [" + names + "] " + limits + " >>");
  std::vector<int> items;
  for (int i = 0; i < bookmarks; ++i)
    items.push_back(pdf.Reserve());
  for (int i = 0; i < bookmarks; ++i)
    pdf.Set(items[i], "<< /Title (Entry " + std::to_string(i + 1) + ") /Parent " + Ref(outlines) +
                          " /Dest (d" + Padded(i, 5) + ")" +
                          (i > 0 ? " /Prev " + Ref(items[i - 1]) : "") +
                          (i + 1 < bookmarks ? " /Next " + Ref(items[i + 1]) : "") + " >>");
  pdf.Set(outlines, "<< /Type /Outlines /First " + Ref(items.front()) + " /Last " +
                        Ref(items.back()) + " /Count " + std::to_string(bookmarks) + " >>");
  return pdf.Text();
}

std::string RepeatedAnnotationPdf(int listings) {
  std::string annots;
  for (int i = 0; i < listings; ++i)
    annots += "7 0 R ";
  RawPdf pdf = OnePage("", "/Annots [" + annots + "]");
  pdf.Add(
      Stream("0 0 1 rg 0 0 100 100 re f", " /Type /XObject /Subtype /Form /BBox [0 0 100 100]"));
  pdf.Add("<< /Type /Annot /Subtype /Square /Rect [100 100 200 200] /AP << /N 6 0 R >> >>");
  return pdf.Text();
}

std::string FormChainPdf(int depth, int fanOut) {
  RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  int page = pdf.Reserve();
  int font = pdf.Add(kHelvetica);
  // Form i draws form i + 1 `fanOut` times; the last one shows a line of text.
  std::vector<int> forms;
  for (int i = 0; i <= depth; ++i)
    forms.push_back(pdf.Reserve());
  for (int i = 0; i <= depth; ++i) {
    std::string content;
    std::string resources = "/Font << /F1 " + Ref(font) + " >>";
    if (i < depth) {
      for (int j = 0; j < fanOut; ++j)
        content += "q 1 0 0 1 1 1 cm /Fm Do Q\n";
      resources += " /XObject << /Fm " + Ref(forms[i + 1]) + " >>";
    } else {
      content = "BT /F1 10 Tf 72 72 Td (Leaf of the form chain) Tj ET\n";
    }
    pdf.Set(forms[i], Stream(content,
                             " /Type /XObject /Subtype /Form /BBox [0 0 612 792]"
                             " /Resources << " +
                                 resources + " >>"));
  }
  int content = pdf.Add(Stream("/Fm Do\n"));
  pdf.Set(page,
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /XObject << "
          "/Fm " +
              Ref(forms[0]) + " >> >> /Contents " + Ref(content) + " >>");
  return pdf.Text();
}

std::string InflatingPagesPdf(int pages, long long decodedBytes, bool twice) {
  std::vector<std::string> contents;
  // A comment line of spaces: harmless to any reader, and as compressible as data gets.
  std::string once = Deflated("%", ' ', decodedBytes, "\nBT /F1 24 Tf 72 700 Td (Wide) Tj ET\n");
  std::string data = twice ? Deflated(once) : once;
  std::string filter = twice ? " /Filter [/FlateDecode /FlateDecode]" : " /Filter /FlateDecode";
  for (int i = 0; i < pages; ++i)
    contents.push_back(Stream(data, filter));
  return PagesWithContents(contents);
}

std::string WrongLengthStreamsPdf(int streams) {
  RawPdf pdf = OnePage();
  for (int i = 0; i < streams; ++i)
    pdf.Add("<< /Length 1 >>\nstream\ndata " + std::to_string(i) + "\nendstream");
  return pdf.Text();
}

std::string ManyObjectsPdf(int objects) {
  constexpr int kPerStream = 10'000;
  int streams = (objects + kPerStream - 1) / kPerStream;
  int firstStream = 6;
  int firstObject = firstStream + streams;
  int xrefNumber = firstObject + objects;
  std::string out = "%PDF-1.7\n%\xe2\xe3\xcf\xd3\n";
  std::vector<std::size_t> offsets;  // of objects 1 to firstObject - 1
  auto object = [&](const std::string& body) {
    offsets.push_back(out.size());
    out += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
  };
  object("<< /Type /Catalog /Pages 2 0 R >>");
  object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  object(
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R"
      " >> >> /Contents 5 0 R >>");
  object(kHelvetica);
  object(TextContent("Page 1"));
  for (int s = 0; s < streams; ++s) {
    int count = std::min(kPerStream, objects - s * kPerStream);
    std::string header, body;
    for (int i = 0; i < count; ++i) {
      header += std::to_string(firstObject + s * kPerStream + i) + " " +
                std::to_string(body.size()) + " ";
      body += "0 ";
    }
    object(Stream(Deflated(header + body), " /Type /ObjStm /N " + std::to_string(count) +
                                               " /First " + std::to_string(header.size()) +
                                               " /Filter /FlateDecode"));
  }
  // The cross-reference stream: type (1 byte), offset or object stream (4), index (2).
  std::string entries;
  auto entry = [&](int type, std::size_t field2, int field3) {
    entries += static_cast<char>(type);
    for (int shift = 24; shift >= 0; shift -= 8)
      entries += static_cast<char>((field2 >> shift) & 0xFF);
    entries += static_cast<char>((field3 >> 8) & 0xFF);
    entries += static_cast<char>(field3 & 0xFF);
  };
  entry(0, 0, 0xFFFF);
  for (std::size_t offset : offsets)
    entry(1, offset, 0);
  for (int i = 0; i < objects; ++i)
    entry(2, static_cast<std::size_t>(firstStream + i / kPerStream), i % kPerStream);
  std::size_t xref = out.size();
  entry(1, xref, 0);
  out += std::to_string(xrefNumber) + " 0 obj\n" +
         Stream(Deflated(entries), " /Type /XRef /Size " + std::to_string(xrefNumber + 1) +
                                       " /W [1 4 2] /Root 1 0 R /Filter /FlateDecode") +
         "\nendobj\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

}  // namespace pdf::samples
