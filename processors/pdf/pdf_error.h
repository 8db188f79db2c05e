// PdfError: the failure of a PDF operation as the client should read it. Its message becomes
// the answer's "error" element, so it names the parameter or the file concerned and never
// holds the VTPS_PDF_ROOT folder itself.
#pragma once

#include <stdexcept>

class PdfError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
