#include "processors/pdf/drawing/ocr_engine.h"

#include <tesseract/capi.h>

#include <algorithm>
#include <filesystem>

#include "platform/os/os.h"
#include "platform/os/shared_library.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::drawing {

namespace {

constexpr const char* kLibrary = "libtesseract.so.5";

// The functions of tesseract's C interface the engine calls.
struct Tesseract {
  decltype(&TessBaseAPICreate) create = nullptr;
  decltype(&TessBaseAPIDelete) destroy = nullptr;
  decltype(&TessBaseAPIInit2) init = nullptr;
  decltype(&TessBaseAPIGetDatapath) dataPath = nullptr;
  decltype(&TessBaseAPISetImage) setImage = nullptr;
  decltype(&TessBaseAPISetSourceResolution) setResolution = nullptr;
  decltype(&TessBaseAPIRecognize) recognize = nullptr;
  decltype(&TessBaseAPIGetIterator) iterator = nullptr;
  decltype(&TessResultIteratorGetPageIterator) pageIterator = nullptr;
  decltype(&TessResultIteratorGetUTF8Text) text = nullptr;
  decltype(&TessPageIteratorBoundingBox) box = nullptr;
  decltype(&TessResultIteratorNext) next = nullptr;
  decltype(&TessResultIteratorDelete) deleteIterator = nullptr;
  decltype(&TessDeleteText) deleteText = nullptr;
  decltype(&TessBaseAPIMeanTextConf) meanConfidence = nullptr;
  decltype(&TessBaseAPIClear) clear = nullptr;
  decltype(&TessBaseAPIEnd) end = nullptr;
};

template <typename Function>
void Bind(const os::SharedLibrary& library, const char* name, Function& function,
          std::string& missing) {
  function = reinterpret_cast<Function>(library.Symbol(name));
  if (function == nullptr)
    missing = name;
}

// The library, loaded on first use and kept for the life of the process.
const Tesseract& Library() {
  static Tesseract tesseract;
  static std::string failure;
  static bool loaded = false;
  if (!loaded) {
    loaded = true;
    // Debian's libtesseract runs OpenMP threads that spin while they wait: on a busy machine
    // (the server runs several processors at once) a page took three times as long, and
    // twice the processor time, as on one thread. OpenMP reads its thread limit when it is
    // loaded, which is now, so it is set first unless the caller chose one.
    if (!os::GetEnv("OMP_THREAD_LIMIT"))
      os::SetEnv("OMP_THREAD_LIMIT", "1");
    std::string error;
    os::SharedLibrary library = os::SharedLibrary::Load(kLibrary, error);
    if (!library.Loaded()) {
      failure = error;
    } else {
      std::string missing;
      Bind(library, "TessBaseAPICreate", tesseract.create, missing);
      Bind(library, "TessBaseAPIDelete", tesseract.destroy, missing);
      Bind(library, "TessBaseAPIInit2", tesseract.init, missing);
      Bind(library, "TessBaseAPIGetDatapath", tesseract.dataPath, missing);
      Bind(library, "TessBaseAPISetImage", tesseract.setImage, missing);
      Bind(library, "TessBaseAPISetSourceResolution", tesseract.setResolution, missing);
      Bind(library, "TessBaseAPIRecognize", tesseract.recognize, missing);
      Bind(library, "TessBaseAPIGetIterator", tesseract.iterator, missing);
      Bind(library, "TessResultIteratorGetPageIterator", tesseract.pageIterator, missing);
      Bind(library, "TessResultIteratorGetUTF8Text", tesseract.text, missing);
      Bind(library, "TessPageIteratorBoundingBox", tesseract.box, missing);
      Bind(library, "TessResultIteratorNext", tesseract.next, missing);
      Bind(library, "TessResultIteratorDelete", tesseract.deleteIterator, missing);
      Bind(library, "TessDeleteText", tesseract.deleteText, missing);
      Bind(library, "TessBaseAPIMeanTextConf", tesseract.meanConfidence, missing);
      Bind(library, "TessBaseAPIClear", tesseract.clear, missing);
      Bind(library, "TessBaseAPIEnd", tesseract.end, missing);
      if (!missing.empty())
        failure = std::string(kLibrary) + " lacks " + missing;
    }
  }
  if (!failure.empty())
    throw PdfError("text recognition is not available (" + failure +
                   "; install Debian's libtesseract5)");
  return tesseract;
}

// Where tesseract looks for its trained data: TESSDATA_PREFIX, else its built-in folder.
// Tesseract only tells once asked to load something, so a language that cannot exist is
// asked for.
std::string DataFolder(const Tesseract& tesseract) {
  TessBaseAPI* probe = tesseract.create();
  tesseract.init(probe, nullptr, "-", tesseract::OEM_LSTM_ONLY);
  const char* path = tesseract.dataPath(probe);
  std::string folder = path == nullptr ? "" : path;
  tesseract.destroy(probe);
  return folder;
}

bool WellFormed(const std::string& name) {
  return !name.empty() && name.size() <= 32 && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

// The languages installed in tesseract's data folder, sorted.
std::vector<std::string> InstalledLanguages(const Tesseract& tesseract) {
  std::vector<std::string> languages;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(DataFolder(tesseract), error)) {
    std::filesystem::path path = entry.path();
    if (path.extension() == ".traineddata" && WellFormed(path.stem().string()) &&
        path.stem() != "osd")
      languages.push_back(path.stem().string());
  }
  std::sort(languages.begin(), languages.end());
  return languages;
}

TessBaseAPI* Handle(void* api) {
  return static_cast<TessBaseAPI*>(api);
}

}  // namespace

OcrEngine::OcrEngine(const std::string& language, const std::string& parameter) {
  const Tesseract& tesseract = Library();
  std::vector<std::string> installed = InstalledLanguages(tesseract);
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
  TessBaseAPI* api = tesseract.create();
  api_ = reinterpret_cast<Api*>(api);
  if (tesseract.init(api, nullptr, language.c_str(), tesseract::OEM_LSTM_ONLY) != 0)
    throw PdfError("parameter \"" + parameter + "\": the language \"" + language +
                   "\" cannot be loaded");
}

OcrEngine::~OcrEngine() {
  if (api_ == nullptr)
    return;
  const Tesseract& tesseract = Library();
  tesseract.end(Handle(api_));
  tesseract.destroy(Handle(api_));
}

OcrPage OcrEngine::Recognise(const unsigned char* pixels, int width, int height, int bytesPerRow,
                             int dpi, const std::string& what) {
  const Tesseract& tesseract = Library();
  TessBaseAPI* api = Handle(api_);
  tesseract.setImage(api, pixels, width, height, 3, bytesPerRow);
  tesseract.setResolution(api, dpi);
  if (tesseract.recognize(api, nullptr) != 0)
    throw PdfError(what + ": the text cannot be recognised");
  OcrPage page;
  TessResultIterator* words = tesseract.iterator(api);
  if (words != nullptr) {
    do {
      char* text = tesseract.text(words, tesseract::RIL_WORD);
      int left = 0, top = 0, right = 0, bottom = 0;
      bool boxed = tesseract.box(tesseract.pageIterator(words), tesseract::RIL_WORD, &left, &top,
                                 &right, &bottom);
      std::string word = text == nullptr ? "" : text;
      if (text != nullptr)
        tesseract.deleteText(text);
      if (!boxed || word.find_first_not_of(" \t\r\n") == std::string::npos)
        continue;
      page.words.push_back({word, static_cast<double>(left), static_cast<double>(top),
                            static_cast<double>(right), static_cast<double>(bottom)});
    } while (tesseract.next(words, tesseract::RIL_WORD));
    tesseract.deleteIterator(words);
  }
  page.meanConfidence = page.words.empty() ? 0 : tesseract.meanConfidence(api);
  tesseract.clear(api);
  return page;
}

}  // namespace pdf::drawing
