#include "processors/pdf/document/page_precheck.h"

#include <qpdf/Buffer.hh>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>

#include "processors/pdf/document/decode_limit.h"
#include "processors/pdf/document/drawing_cost.h"
#include "processors/pdf/document/reachable_objects.h"
#include "processors/pdf/image/coded_image_size.h"
#include "processors/pdf/text/content_scan.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::document {

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

// The codec of `stream`'s last filter when it is one whose data declares its own size, and
// the filters before it.
std::optional<image::ImageCodec> SizedCodec(QPDFObjectHandle stream, QPDFObjectHandle& before,
                                            QPDFObjectHandle& beforeParameters) {
  QPDFObjectHandle filter = stream.getDict().getKey("/Filter");
  QPDFObjectHandle parameters = stream.getDict().getKey("/DecodeParms");
  QPDFObjectHandle last = filter;
  before = QPDFObjectHandle::newNull();
  beforeParameters = QPDFObjectHandle::newNull();
  if (filter.isArray()) {
    int count = filter.getArrayNItems();
    if (count == 0)
      return std::nullopt;
    last = filter.getArrayItem(count - 1);
    if (count > 1) {
      std::vector<QPDFObjectHandle> filters = filter.getArrayAsVector();
      filters.pop_back();
      before = QPDFObjectHandle::newArray(filters);
      if (parameters.isArray() && parameters.getArrayNItems() == count) {
        std::vector<QPDFObjectHandle> each = parameters.getArrayAsVector();
        each.pop_back();
        beforeParameters = QPDFObjectHandle::newArray(each);
      }
    }
  }
  if (last.isNameAndEquals("/JBIG2Decode"))
    return image::ImageCodec::kJbig2;
  if (last.isNameAndEquals("/JPXDecode"))
    return image::ImageCodec::kJpx;
  if (last.isNameAndEquals("/DCTDecode") || last.isNameAndEquals("/DCT"))
    return image::ImageCodec::kJpeg;
  return std::nullopt;
}

// A pipeline end that keeps the first bytes written into it and counts the rest, within the
// stream limit (past it, it throws as CountingDiscard does). With `stopWhenKept` it throws
// std::length_error as soon as it holds what it keeps: for raw bytes, which no decoder
// would complain about being cut off.
class KeepingStart : public CountingDiscard {
 public:
  KeepingStart(long long maxBytes, std::size_t keep, bool stopWhenKept)
      : CountingDiscard(maxBytes), keep_(keep), stopWhenKept_(stopWhenKept) {}
  void write(unsigned char const* data, size_t length) override {
    CountingDiscard::write(data, length);
    if (start_.size() < keep_)
      start_.append(reinterpret_cast<const char*>(data), std::min(length, keep_ - start_.size()));
    if (stopWhenKept_ && start_.size() == keep_)
      throw std::length_error("enough of the image's data was read");
  }
  const std::string& Start() const { return start_; }

 private:
  std::size_t keep_;
  bool stopWhenKept_;
  std::string start_;
};

// How much of an image's data is read for the size its header declares: a JPEG's frame
// header follows its tables, a JBIG2 stream's page information comes first.
constexpr std::size_t kCodedHeaderBytes = 1 << 20;

// The pixels the data of the image `image` declares in its own header, or 0 when it has
// none (or its filter declares none); `read` tells whether the data was read for it. The filters
// before the codec's (Flate, usually) are decoded as a reader would, within `decoding`, all
// through, so that no decoder is stopped half-way.
double CodedPixels(QPDFObjectHandle image, DecodeBudget& decoding, const std::string& label,
                   std::string& size, bool& read) {
  QPDFObjectHandle before;
  QPDFObjectHandle beforeParameters;
  std::optional<image::ImageCodec> codec = SizedCodec(image, before, beforeParameters);
  read = codec.has_value();
  if (!codec)
    return 0;
  KeepingStart start(decoding.NextStreamLimit(), kCodedHeaderBytes, before.isNull());
  try {
    if (before.isNull()) {
      image.pipeStreamData(&start, nullptr, 0, qpdf_dl_none, /*suppress_warnings=*/true);
    } else {
      // Only the filters before the codec's: a stream of the raw bytes with those filters.
      QPDF scratch;
      scratch.emptyPDF();
      scratch.setSuppressWarnings(true);
      QPDFObjectHandle prefix = QPDFObjectHandle::newStream(&scratch, image.getRawStreamData());
      prefix.getDict().replaceKey("/Filter", before);
      if (!beforeParameters.isNull())
        prefix.getDict().replaceKey("/DecodeParms", beforeParameters);
      prefix.pipeStreamData(&start, nullptr, 0, qpdf_dl_specialized, true);
    }
  } catch (const std::exception&) {
    // Data that cannot be read is the reader's to report; what was read is looked at.
  }
  if (start.Exceeded())
    decoding.ThrowPassed(image, label);
  decoding.Charge(start.Count(), label);
  std::optional<image::CodedSize> coded = image::DeclaredCodedSize(*codec, start.Start());
  if (!coded)
    return 0;
  size = Pixels(static_cast<double>(coded->width), static_cast<double>(coded->height));
  return static_cast<double>(coded->width) * static_cast<double>(coded->height);
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
  // Without the run's budget each stream is bounded on its own.
  DecodeBudget alone(check.maxStreamBytes, std::numeric_limits<long long>::max());
  DecodeBudget& decoding = check.decoding != nullptr ? *check.decoding : alone;
  DrawingCost cost(decoding, label);
  std::set<QPDFObjGen> seen;
  for (int number : pages) {
    QPDFPageObjectHelper page = pdfPages.at(static_cast<std::size_t>(number - 1));
    QPDFObjectHandle pageObject = page.getObjectHandle();
    long long checkedContent = 0;  // content bytes this page's check decoded, and charged
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
            bool dataRead = false;
            if (image) {
              if (!check.images)
                return;
              double width = DeclaredNumber(dictionary.getKey("/Width"));
              double height = DeclaredNumber(dictionary.getKey("/Height"));
              std::string what = "image " + stream.getObjGen().unparse(' ');
              CheckPixels(width, height, number, what, label);
              // The decoder allocates what the data declares, whatever the dictionary says.
              std::string codedSize;
              double coded = CodedPixels(stream, decoding, label, codedSize, dataRead);
              if (coded > kMaxPixelsPerPage || !std::isfinite(coded))
                throw PdfError("file \"" + label + "\": page " + std::to_string(number) +
                               " draws " + what + " of " + codedSize + "; at most " +
                               std::to_string(static_cast<long long>(kMaxPixelsPerPage / 1e6)) +
                               " megapixels per page");
              cost.RememberImage(stream.getObjGen(), std::max(coded, width * height));
            }
            bool content = key == "/Contents" || parentKey == "/Contents" ||
                           parentKey == "/CharProcs" ||
                           dictionary.getKey("/Subtype").isNameAndEquals("/Form") ||
                           dictionary.getKey("/PatternType").isInteger();
            if (!DecodableAt(stream, qpdf_dl_specialized))
              return;
            if ((!check.inlineImages && check.drawing == nullptr) || !content) {
              if (dataRead)
                return;  // its data was read, and counted, for its header
              CheckDecodedSize(stream, qpdf_dl_specialized, decoding, label);
              return;
            }
            // Content is decoded once (what decodes of damaged content, the damage being
            // recorded for the watch), scanned for what it draws, and parsed (slow, an object
            // per token) only when it may hold an inline image.
            std::string data = DecodeWithin(stream, qpdf_dl_specialized, decoding, label);
            checkedContent += static_cast<long long>(data.size());
            if (check.drawing != nullptr)
              cost.Remember(stream.getObjGen(), text::ScanContent(data),
                            static_cast<long long>(data.size()));
            if (!check.inlineImages || !MayHoldInlineImage(data))
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
    if (check.drawing == nullptr)
      continue;
    DrawnCost drawn = cost.Page(page, check.images);
    check.drawing->ChargePage(drawn.operators, number, label);
    if (check.images && drawn.pixels > kMaxDrawnPixelsPerPage)
      throw PdfError("file \"" + label + "\": page " + std::to_string(number) + " draws " +
                     std::to_string(static_cast<long long>(std::min(drawn.pixels, 1e18) / 1e6)) +
                     " megapixels of images, counting an image each time it is drawn; at most " +
                     std::to_string(static_cast<long long>(kMaxDrawnPixelsPerPage / 1e6)));
    // Poppler decodes the page's content, and a form's each time it draws it. What the check
    // decoded stands for poppler's first reading of it: only the rest is charged again.
    double again = std::min(drawn.contentBytes, 9e18) - static_cast<double>(checkedContent);
    if (again > 0)
      decoding.Charge(static_cast<long long>(again), label);
  }
}

}  // namespace pdf::document
