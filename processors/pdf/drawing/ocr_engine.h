// Text recognition with libtesseract: the words of a drawn page, each with its box and the
// engine's confidence. The library is loaded when the first engine is made (only PdfOcr
// needs it), through its C interface. The language names trained data installed with
// tesseract (Debian's tesseract-ocr-LANG packages); a name is checked against what is
// installed before tesseract sees it, since it becomes part of a file path. The engine owns
// tesseract's state; one engine per run, used from one thread.
#pragma once

#include <string>
#include <vector>

#include "processors/pdf/text/ocr_text_layer.h"

namespace pdf::drawing {

struct OcrPage {
  std::vector<text::OcrWord> words;
  int meanConfidence = 0;  // 0 to 100, tesseract's mean over the page's words
};

class OcrEngine {
 public:
  // Loads libtesseract (once per process) and `language` ("eng", "eng+deu"). Throws PdfError
  // when the library cannot be loaded, and naming `parameter` when the name is malformed or
  // a language is not installed (listing the installed ones), or when tesseract cannot load
  // it.
  OcrEngine(const std::string& language, const std::string& parameter);
  ~OcrEngine();
  OcrEngine(const OcrEngine&) = delete;
  OcrEngine& operator=(const OcrEngine&) = delete;

  // Recognises the words of an RGB image of `width` x `height` pixels (`bytesPerRow` bytes a
  // row, 3 a pixel) drawn at `dpi`. Throws PdfError naming `what` when recognition fails.
  OcrPage Recognise(const unsigned char* pixels, int width, int height, int bytesPerRow, int dpi,
                    const std::string& what);

 private:
  struct Api;  // tesseract's TessBaseAPI, opaque
  Api* api_ = nullptr;
};

}  // namespace pdf::drawing
