#include "processors/pdf/ocr_engine.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <filesystem>

#include "processors/pdf/pdf_error.h"

namespace {

// Where tesseract looks for its trained data: TESSDATA_PREFIX, else its built-in folder.
// Tesseract only tells once asked to load something, so a language that cannot exist is
// asked for.
std::string DataFolder() {
  tesseract::TessBaseAPI probe;
  probe.Init(nullptr, "-");
  const char* path = probe.GetDatapath();
  return path == nullptr ? "" : path;
}

bool WellFormed(const std::string& name) {
  return !name.empty() && name.size() <= 32 && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

}  // namespace

std::vector<std::string> InstalledOcrLanguages() {
  std::vector<std::string> languages;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(DataFolder(), error)) {
    std::filesystem::path path = entry.path();
    if (path.extension() == ".traineddata" && WellFormed(path.stem().string()) &&
        path.stem() != "osd")
      languages.push_back(path.stem().string());
  }
  std::sort(languages.begin(), languages.end());
  return languages;
}

OcrEngine::OcrEngine(const std::string& language, const std::string& parameter)
    : api_(std::make_unique<tesseract::TessBaseAPI>()) {
  std::vector<std::string> installed = InstalledOcrLanguages();
  std::string list;
  for (const std::string& name : installed)
    list += (list.empty() ? "" : ", ") + name;
  std::size_t start = 0;
  int parts = 0;
  while (true) {
    std::size_t end = language.find('+', start);
    std::string part = language.substr(start, end == std::string::npos ? end : end - start);
    if (!WellFormed(part) || ++parts > 8)
      throw PdfError("parameter \"" + parameter + "\" is \"" + language +
                     "\"; it must name installed languages joined by \"+\" (installed: " + list +
                     ")");
    if (!std::binary_search(installed.begin(), installed.end(), part))
      throw PdfError("parameter \"" + parameter + "\": the language \"" + part +
                     "\" is not installed (installed: " + (list.empty() ? "none" : list) + ")");
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  if (api_->Init(nullptr, language.c_str(), tesseract::OEM_LSTM_ONLY) != 0)
    throw PdfError("parameter \"" + parameter + "\": the language \"" + language +
                   "\" cannot be loaded");
}

OcrEngine::~OcrEngine() {
  api_->End();
}

OcrPage OcrEngine::Recognise(const unsigned char* pixels, int width, int height, int bytesPerRow,
                             int dpi, const std::string& what) {
  api_->SetImage(pixels, width, height, 3, bytesPerRow);
  api_->SetSourceResolution(dpi);
  if (api_->Recognize(nullptr) != 0)
    throw PdfError(what + ": the text cannot be recognised");
  OcrPage page;
  std::unique_ptr<tesseract::ResultIterator> words(api_->GetIterator());
  if (words) {
    do {
      std::unique_ptr<char[]> text(words->GetUTF8Text(tesseract::RIL_WORD));
      int left = 0, top = 0, right = 0, bottom = 0;
      if (!text || !words->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom))
        continue;
      std::string word = text.get();
      if (word.find_first_not_of(" \t\r\n") == std::string::npos)
        continue;
      page.words.push_back({word, static_cast<double>(left), static_cast<double>(top),
                            static_cast<double>(right), static_cast<double>(bottom)});
    } while (words->Next(tesseract::RIL_WORD));
  }
  page.meanConfidence = page.words.empty() ? 0 : api_->MeanTextConf();
  api_->Clear();
  return page;
}
