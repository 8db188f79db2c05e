// The hostile samples whose content misleads: pages that would hide text added after them,
// an appearance whose box makes numbers explode, images whose data declares another size
// than their dictionary, text XML cannot carry, an XMP packet past its limit, and JPEG data
// without its tables.
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_DCT.hh>

#include <memory>

#include "processors/pdf/samples/hostile_pdf.h"

#include <algorithm>
#include "processors/pdf/samples/raw_pdf.h"

namespace pdf::samples {

namespace {

std::string Word(unsigned long long value, int bytes) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i)
    out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

// A JBIG2 segment (embedded stream form): number, type, no referred segments, page 1.
std::string Jbig2Segment(int number, int type, const std::string& data) {
  return Word(static_cast<unsigned>(number), 4) + static_cast<char>(type) + '\0' + '\x01' +
         Word(data.size(), 4) + data;
}

// A greyscale baseline JPEG of `width` x `height` pixels.
std::string SmallJpeg(int width, int height) {
  Pl_Buffer out("jpeg");
  Pl_DCT encoder("jpeg", &out, static_cast<JDIMENSION>(width), static_cast<JDIMENSION>(height), 1,
                 JCS_GRAYSCALE);
  std::string samples(static_cast<std::size_t>(width) * height, '\x80');
  encoder.write(reinterpret_cast<const unsigned char*>(samples.data()), samples.size());
  encoder.finish();
  std::shared_ptr<Buffer> buffer = out.getBufferSharedPointer();
  return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

}  // namespace

const std::vector<HidingTrick>& HidingTricks() {
  static const std::vector<HidingTrick> tricks = {
      {"empty-clip", "Q 0 0 0 0 re W n"},
      {"unclosed-string", "BT /F1 12 Tf 72 72 Td (a string left open"},
      {"invisible-text", "Q 3 Tr 7 Tz"},
      {"tiny-transform", "Q 0.0001 0 0 0.0001 0 0 cm"},
  };
  return tricks;
}

std::string HidingPagePdf(const HidingTrick& trick) {
  return PagesWithContents({Stream("q BT /F1 24 Tf 72 700 Td (Page 1) Tj ET Q\n" + trick.content)});
}

std::string TinyBoxAnnotationPdf() {
  RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Add(
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Annots [6 0 R] >>");
  pdf.Add(Stream("0 0 1 rg 100 100 100 100 re f"));
  pdf.Add(Stream("0 1 0 rg 0 0 1 1 re f",
                 " /Type /XObject /Subtype /Form /BBox [0 0 0.000000000000000000001 "
                 "0.000000000000000000001]"));
  pdf.Add("<< /Type /Annot /Subtype /Square /Rect [100 100 200 200] /AP << /N 5 0 R >> >>");
  return pdf.Text();
}

std::string LyingImageData(ImageCoding coding, long long width, long long height) {
  switch (coding) {
    case ImageCoding::kJbig2:
      // Page information (type 48): width, height, resolutions, flags, striping; then the
      // end of the page (type 49).
      return Jbig2Segment(0, 48,
                          Word(static_cast<unsigned long long>(width), 4) +
                              Word(static_cast<unsigned long long>(height), 4) +
                              std::string(8, '\0') + std::string(3, '\0')) +
             Jbig2Segment(1, 49, "");
    case ImageCoding::kJpx: {
      // A JPEG 2000 codestream: SOC, then SIZ with the image and one tile of its size, one
      // 8-bit component.
      std::string siz = Word(0, 2) + Word(static_cast<unsigned long long>(width), 4) +
                        Word(static_cast<unsigned long long>(height), 4) + Word(0, 4) + Word(0, 4) +
                        Word(static_cast<unsigned long long>(width), 4) +
                        Word(static_cast<unsigned long long>(height), 4) + Word(0, 4) + Word(0, 4) +
                        Word(1, 2) + std::string("\x07\x01\x01", 3);
      return std::string("\xFF\x4F\xFF\x51", 4) + Word(siz.size() + 2, 2) + siz +
             std::string("\xFF\xD9", 2);
    }
    case ImageCoding::kJpeg: {
      // A real 8 x 8 JPEG whose frame header is made to declare the size asked for.
      std::string jpeg = SmallJpeg(8, 8);
      for (std::size_t at = 2; at + 9 < jpeg.size(); ++at)
        if (jpeg[at] == '\xFF' && (jpeg[at + 1] == '\xC0' || jpeg[at + 1] == '\xC2')) {
          jpeg.replace(at + 5, 2, Word(static_cast<unsigned long long>(height), 2));
          jpeg.replace(at + 7, 2, Word(static_cast<unsigned long long>(width), 2));
          break;
        }
      return jpeg;
    }
  }
  return "";
}

std::string LyingImagePdf(ImageCoding coding, long long width, long long height) {
  const char* filter = coding == ImageCoding::kJbig2 ? "/JBIG2Decode"
                       : coding == ImageCoding::kJpx ? "/JPXDecode"
                                                     : "/DCTDecode";
  std::string extra =
      coding == ImageCoding::kJbig2 ? " /BitsPerComponent 1" : " /BitsPerComponent 8";
  if (coding != ImageCoding::kJpx)
    extra += " /ColorSpace /DeviceGray";
  RawPdf pdf;
  pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Add(
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /XObject << /Im1 "
      "5 0 R >> >> /Contents 4 0 R >>");
  pdf.Add(Stream("q 100 0 0 100 100 100 cm /Im1 Do Q\n"));
  pdf.Add(Stream(LyingImageData(coding, width, height),
                 " /Type /XObject /Subtype /Image /Width 10 /Height 10 /Filter " +
                     std::string(filter) + extra));
  return pdf.Text();
}

std::string XmlForbiddenTextPdf() {
  // The Info title holds U+FFFF, its author a lone surrogate and the bookmark title U+FFFE,
  // all in UTF-16 strings.
  RawPdf pdf = OnePage("/Outlines 6 0 R");
  pdf.Add("<< /Type /Outlines /First 7 0 R /Last 7 0 R /Count 1 >>");
  pdf.Add("<< /Title <FEFF0041FFFE0042> /Parent 6 0 R /Dest [3 0 R /XYZ null null null] >>");
  pdf.Add("<< /Title <FEFF0054FFFF0074> /Author <FEFFD800> >>");
  pdf.Trailer("/Info 8 0 R ");
  return pdf.Text();
}

std::string LargeXmpPdf(long long bytes) {
  std::string head =
      "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n<x:xmpmeta "
      "xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
      "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/></x:xmpmeta>\n";
  std::string tail = "\n<?xpacket end=\"w\"?>";
  long long padding = bytes - static_cast<long long>(head.size() + tail.size());
  RawPdf pdf = OnePage("/Metadata 6 0 R");
  pdf.Add(Stream(Deflated(head, ' ', padding > 0 ? padding : 0, tail),
                 " /Type /Metadata /Subtype /XML /Filter /FlateDecode"));
  return pdf.Text();
}

std::string JpegWithoutTables(bool quantisation, bool huffman) {
  std::string jpeg = SmallJpeg(16, 16);
  std::string out = jpeg.substr(0, 2);
  for (std::size_t at = 2; at + 4 <= jpeg.size();) {
    unsigned char marker = static_cast<unsigned char>(jpeg[at + 1]);
    if (marker == 0xDA) {
      out += jpeg.substr(at);
      break;
    }
    std::size_t length =
        (static_cast<unsigned char>(jpeg[at + 2]) << 8) | static_cast<unsigned char>(jpeg[at + 3]);
    bool drop = (marker == 0xDB && !quantisation) || (marker == 0xC4 && !huffman);
    if (!drop)
      out += jpeg.substr(at, length + 2);
    at += length + 2;
  }
  return out;
}

std::string DamagedContentPdf() {
  std::string text;
  for (int i = 1; i <= 2000; ++i)
    text += "BT /F1 10 Tf 72 " + std::to_string(720 - (i % 60) * 10) + " Td (Line " +
            std::to_string(i) + ") Tj ET\n";
  // A zlib stream of stored blocks holding the first three quarters of the text, then a
  // block of the reserved type: every inflater stops there with an error.
  std::string data = "\x78\x01";
  std::string kept = text.substr(0, text.size() * 3 / 4);
  for (std::size_t at = 0; at < kept.size(); at += 0xFFFF) {
    std::size_t length = std::min<std::size_t>(0xFFFF, kept.size() - at);
    data.push_back('\0');
    for (std::size_t field : {length, length ^ 0xFFFF}) {
      data.push_back(static_cast<char>(field & 0xFF));
      data.push_back(static_cast<char>(field >> 8));
    }
    data += kept.substr(at, length);
  }
  data += "\x07" + text.substr(kept.size());
  return PagesWithContents({Stream(data, " /Filter /FlateDecode")});
}

}  // namespace pdf::samples
