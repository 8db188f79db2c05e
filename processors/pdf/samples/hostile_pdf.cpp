#include "processors/pdf/samples/hostile_pdf.h"

#include <algorithm>
#include <random>

#include "processors/pdf/samples/raw_pdf.h"

namespace pdf::samples {

std::string PageTreeBombPdf(int nodes, int listings) {
  RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  int root = pdf.Reserve();
  int font = pdf.Add(kHelvetica);
  int content = pdf.Add(TextContent("Many"));
  int page = pdf.Add("<< /Type /Page /MediaBox [0 0 612 792] /Resources << /Font << /F1 " +
                     Ref(font) + " >> >> /Contents " + Ref(content) + " >>");
  std::string listed;
  for (int i = 0; i < listings; ++i)
    listed += Ref(page) + " ";
  int kids = pdf.Add("[" + listed + "]");
  std::string inner;
  for (int i = 0; i < nodes; ++i)
    inner += Ref(pdf.Add("<< /Type /Pages /Kids " + Ref(kids) + " /Count 1 >>")) + " ";
  pdf.Set(root, "<< /Type /Pages /Kids [" + inner + "] /Count 1 >>");
  return pdf.Text();
}

std::string PageTreeLoopPdf() {
  RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add("<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
  pdf.Add("<< /Type /Pages /Parent 2 0 R /Kids [2 0 R] /Count 1 >>");
  int page = pdf.Reserve();
  int content = pdf.Add(TextContent("Loop"));
  pdf.Set(page,
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " + Ref(content) + " >>");
  return pdf.Text();
}

std::string InflatingContentPdf(long long decodedBytes) {
  std::string data = Deflated("BT /F1 12 Tf 72 700 Td (", 'A', decodedBytes, ") Tj ET\n");
  return PagesWithContents({Stream(data, " /Filter /FlateDecode")});
}

std::string HugeImagePdf(long long width, long long height, int draws, bool throughForm) {
  RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  int page = pdf.Reserve();
  std::string pixels = Deflated("", '\x80', 300, "");
  int image =
      pdf.Add(Stream(pixels, " /Type /XObject /Subtype /Image /Width " + std::to_string(width) +
                                 " /Height " + std::to_string(height) +
                                 " /ColorSpace /DeviceGray /BitsPerComponent 8"
                                 " /Filter /FlateDecode"));
  std::string draw;
  for (int i = 0; i < draws; ++i)
    draw += "q 500 0 0 500 50 50 cm /Im1 Do Q\n";
  std::string resources = "<< /XObject << /Im1 " + Ref(image) + " >> >>";
  int content;
  if (throughForm) {
    int form = pdf.Add(Stream(draw,
                              " /Type /XObject /Subtype /Form /BBox [0 0 612 792]"
                              " /Resources " +
                                  resources));
    resources = "<< /XObject << /Fm1 " + Ref(form) + " >> >>";
    content = pdf.Add(Stream("/Fm1 Do\n"));
  } else {
    content = pdf.Add(Stream(draw));
  }
  pdf.Set(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources " + resources +
                    " /Contents " + Ref(content) + " >>");
  return pdf.Text();
}

std::string HugeInlineImagePdf(long long width, long long height) {
  std::string content = "q 500 0 0 500 50 50 cm\nBI /W " + std::to_string(width) + " /H " +
                        std::to_string(height) + " /CS /G /BPC 8\nID " + std::string(300, '\x80') +
                        "\nEI\nQ\n";
  return PagesWithContents({Stream(content)});
}

std::string HeavyPagesPdf(int pages, long long bytesPerPage, bool compressed) {
  std::mt19937 random(7);
  std::vector<std::string> contents;
  for (int i = 0; i < pages; ++i) {
    // A comment line of random bytes: incompressible, and harmless to any reader.
    std::string noise;
    noise.reserve(static_cast<std::size_t>(bytesPerPage));
    while (static_cast<long long>(noise.size()) < bytesPerPage) {
      char c = static_cast<char>(random() % 256);
      noise += (c == '\n' || c == '\r') ? ' ' : c;
    }
    std::string text = "BT /F1 24 Tf 72 700 Td (Heavy " + std::to_string(i + 1) + ") Tj ET";
    if (compressed)
      contents.push_back(
          Stream(Deflated("%" + noise + "\n", ' ', 0, text), " /Filter /FlateDecode"));
    else
      contents.push_back(Stream("%" + noise + "\n" + text));
  }
  return PagesWithContents(contents);
}

std::string WrongStreamLengthPdf() {
  std::string broken = TextContent("Page 2");
  std::string length = "/Length ";
  std::size_t at = broken.find(length) + length.size();
  std::size_t end = broken.find(' ', at);
  long long declared = std::stoll(broken.substr(at, end - at)) + 40;
  broken.replace(at, end - at, std::to_string(declared));
  return PagesWithContents({TextContent("Page 1"), broken, TextContent("Page 3")});
}

std::string ObjectAtOffsetZeroPdf(bool referenced) {
  RawPdf pdf = OnePage(referenced ? "/Extra 6 0 R" : "");
  pdf.Add("<< /Stale true >>");
  std::string text = pdf.Text();
  // Entries are 20 bytes each after "xref\n0 7\n"; object 6's is the seventh.
  std::size_t table = text.find("xref\n");
  std::size_t entries = text.find('\n', table + 5) + 1;
  text.replace(entries + 6 * 20, 10, "0000000000");
  return text;
}

std::string MalformedMarkedContentPdf() {
  return PagesWithContents({Stream("/Span << /ActualText (x) 1 2 >> BDC\nBT /F1 24 Tf 72 700 Td "
                                   "(Page 1) Tj ET\nEMC\n")},
                           "0 0 612 792", "/ExtGState << /GS9 << /Type /ExtGState /CA 0.5 >> >>");
}

std::string CrowdedResourcesPdf(int forms) {
  RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  int page = pdf.Reserve();
  int font = pdf.Add(kHelvetica);
  int content = pdf.Add(Stream("q /X0 Do Q\nBT /F1 24 Tf 72 700 Td (Page 1) Tj ET\n"));
  std::string list;
  list.reserve(static_cast<std::size_t>(forms) * 16);
  for (int i = 0; i < forms; ++i)
    list += " /X" + std::to_string(i) + " " +
            Ref(pdf.Add(Stream("0 0 1 1 re f", " /Type /XObject /Subtype /Form /BBox [0 0 1 1]")));
  int resources = pdf.Add("<< /Font << /F1 " + Ref(font) + " >> /XObject <<" + list + " >> >>");
  pdf.Set(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources " +
                    Ref(resources) + " /Contents " + Ref(content) + " >>");
  return pdf.Text();
}

std::string RepeatedPageObjectPdf() {
  RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  int tree = pdf.Reserve();
  int font = pdf.Add(kHelvetica);
  std::vector<int> pages;
  for (int i = 1; i <= 3; ++i) {
    int content = pdf.Add(TextContent("Page " + std::to_string(i)));
    pages.push_back(
        pdf.Add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources "
                "<< /Font << /F1 " +
                Ref(font) + " >> >> /Contents " + Ref(content) + " >>"));
  }
  pdf.Set(tree, "<< /Type /Pages /Kids [" + Ref(pages[0]) + " " + Ref(pages[1]) + " " +
                    Ref(pages[1]) + " " + Ref(pages[2]) + "] /Count 4 >>");
  return pdf.Text();
}

std::string NoPagesPdf() {
  RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add("<< /Type /Pages /Kids [] /Count 0 >>");
  return pdf.Text();
}

std::string PageTreeShapePdf(PageTreeShape shape) {
  RawPdf pdf;
  int catalog = pdf.Reserve();
  int font = pdf.Add(kHelvetica);
  auto page = [&](const std::string& text, const std::string& entries) {
    return "<< /Type /Page /MediaBox [0 0 612 792] /Resources << /Font << /F1 " + Ref(font) +
           " >> >> /Contents " + Ref(pdf.Add(TextContent(text))) + " " + entries + " >>";
  };
  if (shape == PageTreeShape::kPageAsRoot) {
    pdf.Set(catalog, "<< /Type /Catalog /Pages " + Ref(pdf.Add(page("Page 1", ""))) + " >>");
    return pdf.Text();
  }
  int tree = pdf.Reserve();
  std::string parent = "/Parent " + Ref(tree);
  std::string first;
  switch (shape) {
    case PageTreeShape::kPageWithEmptyKids:
      first = Ref(pdf.Add(page("Page 1", parent + " /Kids []")));
      break;
    case PageTreeShape::kPageInsideKids:
      first = page("Page 1", parent);
      break;
    default:
      first = "<< /Type /Pages " + parent + " /Count 1 /Kids [" + Ref(pdf.Add(page("Page 1", ""))) +
              "] >>";
      break;
  }
  int second = pdf.Add(page("Page 2", parent));
  pdf.Set(tree, "<< /Type /Pages /Kids [" + first + " " + Ref(second) + "] /Count 2 >>");
  pdf.Set(catalog, "<< /Type /Catalog /Pages " + Ref(tree) + " >>");
  return pdf.Text();
}

std::string FormFaultPdf(FormFault fault) {
  // Objects 1 to 5 are OnePage's; the widget is 6, its appearance 7, a parent field 8.
  std::string form;
  std::string widgetEntries;
  std::string appearance = "BT /F1 12 Tf 2 5 Td (Alice) Tj ET";
  switch (fault) {
    case FormFault::kWidgetNotListed:
      form = "/Fields []";
      break;
    case FormFault::kDirectField:
      form = "/Fields [6 0 R << /T (loose) /FT /Tx >>]";
      break;
    case FormFault::kFieldsNotArray:
      form = "/Fields 6 0 R";
      break;
    case FormFault::kFieldLoop:
      form = "/Fields [8 0 R]";
      widgetEntries = "/Parent 8 0 R";
      break;
    case FormFault::kBadDefaultAppearance:
      form = "/Fields [6 0 R] /NeedAppearances true";
      widgetEntries = "/DA (/F1 12 Tf 0 g [ <<)";
      break;
    case FormFault::kBadAppearanceStream:
      form = "/Fields [6 0 R] /NeedAppearances true";
      widgetEntries = "/DA (/F1 12 Tf 0 g)";
      appearance += " <<";
      break;
  }
  RawPdf pdf =
      OnePage("/AcroForm << " + form + " /DR << /Font << /F1 4 0 R >> >> >>", "/Annots [6 0 R]");
  pdf.Add(
      "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (Alice) /Rect [72 600 172 "
      "620] /P 3 0 R /AP << /N 7 0 R >> " +
      widgetEntries + " >>");
  pdf.Add(Stream(appearance,
                 " /Type /XObject /Subtype /Form /BBox [0 0 100 20] /Resources "
                 "<< /Font << /F1 4 0 R >> >>"));
  if (fault == FormFault::kFieldLoop)
    pdf.Add("<< /T (parent) /FT /Tx /Kids [6 0 R 8 0 R] >>");
  return pdf.Text();
}

std::string LinearizationTrapPdf() {
  RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  int page = pdf.Reserve();
  int font = pdf.Add(kHelvetica);
  int content = pdf.Add(TextContent("Trap"));
  pdf.Set(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 " +
                    Ref(font) + " >> >> /Contents " + Ref(content) + " >>");
  pdf.Trailer("/Info " + Ref(page) + " ");
  return pdf.Text();
}

std::string MediaBoxPdf(const std::string& box) {
  return PagesWithContents({TextContent("Box")}, box);
}

std::vector<HostilePdf> MutatedCopies(const std::string& name, const std::string& content,
                                      unsigned seed) {
  std::mt19937 random(seed);
  std::vector<HostilePdf> copies;
  if (content.empty())
    return copies;
  std::string flipped = content;
  for (int i = 0; i < 20; ++i)
    flipped[random() % flipped.size()] ^= static_cast<char>(1 + random() % 255);
  copies.push_back({name + "-flipped", "20 bytes of " + name + " changed", flipped});
  copies.push_back(
      {name + "-halved", name + " cut in half", content.substr(0, content.size() / 2)});
  std::string lengths = content;
  std::string key = "/Length ";
  for (std::size_t at = lengths.find(key), n = 0; at != std::string::npos && n < 10;
       at = lengths.find(key, at + 1), ++n) {
    std::size_t digits = at + key.size();
    if (digits < lengths.size() && lengths[digits] >= '1' && lengths[digits] <= '9')
      lengths[digits] = static_cast<char>('1' + (lengths[digits] - '1' + 3) % 9);
  }
  copies.push_back(
      {name + "-lengths", "the first ten stream lengths of " + name + " changed", lengths});
  std::string zeroed = content;
  std::size_t middle = zeroed.size() / 2;
  zeroed.replace(middle, std::min<std::size_t>(4096, zeroed.size() - middle),
                 std::min<std::size_t>(4096, zeroed.size() - middle), '\0');
  copies.push_back({name + "-zeroed", "4 kB in the middle of " + name + " zeroed", zeroed});
  return copies;
}

std::vector<HostilePdf> HostileSet() {
  std::string huge = "1" + std::string(400, '0') + ".0";
  std::vector<HostilePdf> set = {
      {"page-tree-bomb", "one page listed 4 million times from a 25 kB file",
       PageTreeBombPdf(2000, 2000)},
      {"page-tree-loop", "a page tree that lists its root again", PageTreeLoopPdf()},
      {"inflating-content", "a 1 MB content stream inflating to 1 GiB",
       InflatingContentPdf(1LL << 30)},
      {"huge-image", "an image declaring 100000 x 100000 pixels, drawn three times",
       HugeImagePdf(100000, 100000, 3, false)},
      {"huge-image-in-form", "the same image drawn through a form XObject",
       HugeImagePdf(100000, 100000, 3, true)},
      {"huge-inline-image", "an inline image declaring 100000 x 100000 pixels",
       HugeInlineImagePdf(100000, 100000)},
      {"heavy-page", "one page carrying 500 kB, Flate-compressed, for outputs that repeat it",
       HeavyPagesPdf(1, 500'000)},
      {"heavy-plain-page", "one page carrying 500 kB uncompressed, which writers compress",
       HeavyPagesPdf(1, 500'000, false)},
      {"wrong-stream-length", "a content stream whose /Length is wrong", WrongStreamLengthPdf()},
      {"repeated-page-object", "a page object listed twice in the page tree",
       RepeatedPageObjectPdf()},
      {"no-pages", "a page tree without pages", NoPagesPdf()},
      {"linearization-trap", "a page that is also the document information",
       LinearizationTrapPdf()},
      {"infinite-mediabox", "a MediaBox of 10^400 points", MediaBoxPdf("0 0 " + huge + " 1")},
      {"nan-mediabox", "a MediaBox whose width is infinity minus infinity",
       MediaBoxPdf(huge + " 0 " + huge + " 1")},
      {"xmp-attributes", "an XMP packet putting 300,000 attributes on one element",
       XmpPacketPdf(XmpMarkupBombPacket(300'000, false))},
      {"xmp-namespaces", "an XMP packet declaring 150,000 namespaces",
       XmpPacketPdf(XmpMarkupBombPacket(150'000, true))},
      {"large-xmp", "an XMP packet of 5 MiB", LargeXmpPdf(5LL << 20)},
      {"xml-forbidden-text", "U+FFFF, a lone surrogate and U+FFFE in the title, author, bookmark",
       XmlForbiddenTextPdf()},
      {"shared-attachment", "10,000 attachment names for one file inflating to 64 MiB - 1",
       SharedAttachmentPdf(10'000, (64LL << 20) - 1)},
      {"many-attachments", "2,000 attachments, more than a default descriptor limit",
       ManyAttachmentsPdf(2'000)},
      {"destination-chain", "10,000 bookmarks through a 50,000-node chain of named destinations",
       DestinationChainPdf(50'000, 10'000)},
      {"repeated-annotation", "one annotation listed 50,000 times", RepeatedAnnotationPdf(50'000)},
      {"tiny-box-annotation", "an annotation appearance with a /BBox of 1e-21",
       TinyBoxAnnotationPdf()},
      {"form-chain", "a kilobyte of forms six deep, each drawing the next ten times",
       FormChainPdf(6, 10)},
      {"lying-jbig2", "a 10 x 10 JBIG2 image whose data declares 45000 x 45000",
       LyingImagePdf(ImageCoding::kJbig2, 45'000, 45'000)},
      {"lying-jpx", "a 10 x 10 JPEG 2000 image whose data declares 45000 x 45000",
       LyingImagePdf(ImageCoding::kJpx, 45'000, 45'000)},
      {"lying-jpeg", "a 10 x 10 JPEG image whose data declares 45000 x 45000",
       LyingImagePdf(ImageCoding::kJpeg, 45'000, 45'000)},
      {"inflating-pages", "40 pages of a few kB, each inflating to 255 MiB",
       InflatingPagesPdf(40, 255LL << 20, true)},
      {"wrong-length-streams", "200,000 streams whose /Length is too short",
       WrongLengthStreamsPdf(200'000)},
      {"many-objects", "2 million objects in compressed object streams", ManyObjectsPdf(2'000'000)},
  };
  for (const HidingTrick& trick : HidingTricks())
    set.push_back({"hiding-" + trick.name,
                   "a page that could hide what is drawn after it (" + trick.name + ")",
                   HidingPagePdf(trick)});
  return set;
}

}  // namespace pdf::samples
