#include "processors/pdf/samples/stream_resources_pdf.h"

#include "processors/pdf/samples/raw_pdf.h"

namespace pdf::samples {

std::string StreamResourcesPdf() {
  // Objects 1 to 5 are OnePage's (3 the page, 4 Helvetica, 5 the content), redone here.
  RawPdf pdf = OnePage("/AcroForm << /Fields [8 0 R] >>");
  pdf.Set(3,
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 "
          "4 0 R >> /XObject << /X1 6 0 R >> >> /Contents 5 0 R /Annots [8 0 R] >>");
  pdf.Set(5, Stream("BT /F1 24 Tf 72 700 Td (Page 1) Tj ET /X1 Do"));
  pdf.Add(Stream("BT /F1 24 Tf 72 600 Td (In the form) Tj ET",
                 " /Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources 7 0 R"));
  pdf.Add(Stream("BT ET", " /Type /XObject /Subtype /Form /BBox [0 0 1 1]"));
  pdf.Add(
      "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (Hello) /Rect [72 500 272 520] "
      "/P 3 0 R /AP << /N 9 0 R >> >>");
  pdf.Add(Stream("0.9 g 0 0 200 20 re f",
                 " /Type /XObject /Subtype /Form /BBox [0 0 200 20] /Resources 7 0 R"));
  return pdf.Text();
}

}  // namespace pdf::samples
