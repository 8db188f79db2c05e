#include "processors/pdf/page_precheck.h"

#include <qpdf/Buffer.hh>

#include <cmath>
#include <memory>

#include "processors/pdf/decode_limit.h"
#include "processors/pdf/pdf_error.h"
#include "processors/pdf/reachable_objects.h"

namespace {

// Keys that lead away from what a page shows: to the page tree, to other pages (link
// targets, actions, annotation owners) or to data no reader draws.
const std::set<std::string> kNotDrawn = {
    "/Parent", "/P",     "/Dest", "/A",        "/AA",        "/PA",           "/IRT",
    "/Popup",  "/Thumb", "/B",    "/Metadata", "/PieceInfo", "/StructParent", "/StructParents"};

double DeclaredNumber(QPDFObjectHandle dictionaryValue) {
  return dictionaryValue.isNumber() ? dictionaryValue.getNumericValue() : 0;
}

std::string Pixels(double width, double height) {
  return std::to_string(static_cast<long long>(std::min(width, 1e15))) + " x " +
         std::to_string(static_cast<long long>(std::min(height, 1e15))) + " pixels";
}

void CheckPixels(double width, double height, int page, const std::string& what,
                 const std::string& label) {
  if (width * height > kMaxPixelsPerPage || !std::isfinite(width * height))
    throw PdfError("file \"" + label + "\": page " + std::to_string(page) + " draws " + what +
                   " of " + Pixels(width, height) + "; at most " +
                   std::to_string(static_cast<long long>(kMaxPixelsPerPage / 1e6)) +
                   " megapixels per page");
}

// Collects the inline images of a content stream: between BI and ID come key / value pairs.
class InlineImageFinder : public QPDFObjectHandle::ParserCallbacks {
 public:
  InlineImageFinder(int page, const std::string& label) : page_(page), label_(label) {}

  void handleObject(QPDFObjectHandle object) override {
    if (object.isOperator()) {
      std::string op = object.getOperatorValue();
      if (op == "BI") {
        inImage_ = true;
        width_ = height_ = 0;
        key_.clear();
      } else if (op == "ID" && inImage_) {
        inImage_ = false;
        CheckPixels(width_, height_, page_, "an inline image", label_);
      }
      return;
    }
    if (!inImage_)
      return;
    if (key_.empty() && object.isName()) {
      key_ = object.getName();
      return;
    }
    if (key_ == "/W" || key_ == "/Width")
      width_ = DeclaredNumber(object);
    else if (key_ == "/H" || key_ == "/Height")
      height_ = DeclaredNumber(object);
    key_.clear();
  }
  void handleEOF() override {}

 private:
  int page_;
  const std::string& label_;
  bool inImage_ = false;
  std::string key_;
  double width_ = 0;
  double height_ = 0;
};

}  // namespace

bool MayHoldInlineImage(std::string_view content) {
  // PDF's white-space and delimiter characters, and the vertical tab, which qpdf's parser
  // takes for white space too: what may stand on either side of a token.
  auto separates = [](char c) {
    return std::string_view(" \t\n\v\f\r\0()<>[]{}/%", 17).find(c) != std::string_view::npos;
  };
  for (std::size_t at = content.find("BI"); at != std::string_view::npos;
       at = content.find("BI", at + 1)) {
    bool startsToken = at == 0 || separates(content[at - 1]);
    bool endsToken = at + 2 == content.size() || separates(content[at + 2]);
    if (startsToken && endsToken)
      return true;
  }
  return false;
}

void CheckPagesBeforePoppler(const std::vector<QPDFPageObjectHelper>& pdfPages,
                             const std::vector<int>& pages, const PageCheck& check,
                             const std::string& label) {
  std::set<QPDFObjGen> seen;
  for (int number : pages) {
    QPDFPageObjectHelper page = pdfPages.at(static_cast<std::size_t>(number - 1));
    QPDFObjectHandle pageObject = page.getObjectHandle();
    // Inherited resources are the page's too; the walk does not go up the tree to find them.
    std::vector<QPDFObjectHandle> starts = {pageObject};
    QPDFObjectHandle resources = page.getAttribute("/Resources", false);
    if (!resources.isNull())
      starts.push_back(resources);
    for (QPDFObjectHandle& start : starts) {
      ForEachReachableStream(
          start, kNotDrawn, seen,
          [&](QPDFObjectHandle stream, const std::string& key, const std::string& parentKey) {
            QPDFObjectHandle dictionary = stream.getDict();
            bool image = dictionary.getKey("/Subtype").isNameAndEquals("/Image");
            if (image) {
              if (!check.images)
                return;
              CheckPixels(DeclaredNumber(dictionary.getKey("/Width")),
                          DeclaredNumber(dictionary.getKey("/Height")), number,
                          "image " + stream.getObjGen().unparse(' '), label);
            }
            bool content = key == "/Contents" || parentKey == "/Contents" ||
                           parentKey == "/CharProcs" ||
                           dictionary.getKey("/Subtype").isNameAndEquals("/Form") ||
                           dictionary.getKey("/PatternType").isInteger();
            if (!DecodableAt(stream, qpdf_dl_specialized))
              return;
            if (!check.inlineImages || !content) {
              CheckDecodedSize(stream, qpdf_dl_specialized, check.maxStreamBytes, label);
              return;
            }
            // Content is decoded once (what decodes of damaged content, the damage being
            // recorded for the watch), and parsed (slow, an object per token) only when it
            // may hold an inline image.
            std::string data =
                DecodeWithin(stream, qpdf_dl_specialized, check.maxStreamBytes, label);
            if (!MayHoldInlineImage(data))
              return;
            InlineImageFinder finder(number, label);
            try {
              // Parsed in a document of its own, so that the parser's complaints about
              // content poppler tolerates are not taken for damage of the file. The buffer
              // borrows the decoded bytes rather than copying them.
              QPDF scratch;
              scratch.setSuppressWarnings(true);
              scratch.emptyPDF();
              auto bytes = std::make_shared<Buffer>(reinterpret_cast<unsigned char*>(data.data()),
                                                    data.size());
              QPDFObjectHandle::parseContentStream(QPDFObjectHandle::newStream(&scratch, bytes),
                                                   &finder);
            } catch (const PdfError&) {
              throw;
            } catch (const std::exception&) {
              // Content qpdf cannot parse is poppler's to cope with.
            }
          });
    }
  }
}
