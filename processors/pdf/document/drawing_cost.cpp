#include "processors/pdf/document/drawing_cost.h"

#include <optional>
#include <set>
#include <vector>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::document {

namespace {

// The bytes of shown strings that count as one operator.
constexpr double kBytesPerOperator = 64;
// What drawing a form costs besides its operators, counted as operators: poppler sets up the
// form's resources and state each time. Measured, a form drawn costs it about a millisecond
// (11,111 small forms took 11 s to read), as much as some 500 plain operators.
constexpr double kFormDrawOperators = 100;

void Add(DrawnCost& sum, const DrawnCost& part, double times) {
  sum.operators += times * part.operators;
  sum.contentBytes += times * part.contentBytes;
  sum.pixels += times * part.pixels;
}

// The appearance stream an annotation shows: its normal appearance, or the state of it
// that /AS names.
QPDFObjectHandle NormalAppearance(QPDFObjectHandle annotation) {
  if (!annotation.isDictionary())
    return QPDFObjectHandle::newNull();
  QPDFObjectHandle appearances = annotation.getKey("/AP");
  QPDFObjectHandle normal =
      appearances.isDictionary() ? appearances.getKey("/N") : QPDFObjectHandle::newNull();
  if (normal.isDictionary()) {
    QPDFObjectHandle state = annotation.getKey("/AS");
    normal = state.isName() ? normal.getKey(state.getName()) : QPDFObjectHandle::newNull();
  }
  return normal;
}

}  // namespace

void DrawingBudget::ChargePage(double operators, int number, const std::string& label) {
  if (operators > static_cast<double>(maxPageOperators_))
    throw PdfError(
        "file \"" + label + "\": page " + std::to_string(number) + " draws more than " +
        std::to_string(maxPageOperators_) +
        " operators, counting a form each time it is drawn (VTPS_PDF_MAX_PAGE_OPERATORS)");
  if (drawn_ + operators > static_cast<double>(maxRunOperators_))
    throw PdfError("file \"" + label + "\": the run's pages would draw more than " +
                   std::to_string(maxRunOperators_) + " operators (VTPS_PDF_MAX_RUN_OPERATORS)");
  drawn_ += operators;
}

void DrawingCost::Remember(QPDFObjGen stream, text::ContentScan scan, long long bytes) {
  scans_[stream] = {std::move(scan), bytes};
}

const DrawingCost::Scanned& DrawingCost::Scan(QPDFObjectHandle stream) {
  auto known = scans_.find(stream.getObjGen());
  if (known != scans_.end())
    return known->second;
  // What qpdf cannot decode, poppler cannot draw either: it costs nothing.
  Scanned scanned;
  if (DecodableAt(stream, qpdf_dl_specialized)) {
    std::string data = DecodeWithin(stream, qpdf_dl_specialized, decoding_, label_);
    scanned = {text::ScanContent(data), static_cast<long long>(data.size())};
  }
  return scans_[stream.getObjGen()] = std::move(scanned);
}

DrawnCost DrawingCost::Page(QPDFPageObjectHelper& page, bool annotations) {
  QPDFObjectHandle pageObject = page.getObjectHandle();
  struct Frame {
    std::optional<FormKey> key;  // none for the page itself
    QPDFObjectHandle resources;
    QPDFObjGen owner;
    std::vector<std::pair<QPDFObjectHandle, double>> children;  // what it draws, how often
    std::size_t next = 0;
    DrawnCost sum;
    double times = 1;  // how often the frame below draws this one
  };
  auto makeFrame = [&](const std::vector<QPDFObjectHandle>& contents, QPDFObjectHandle resources,
                       QPDFObjGen owner) {
    Frame frame;
    frame.resources = resources;
    frame.owner = owner;
    QPDFObjectHandle xobjects =
        resources.isDictionary() ? resources.getKey("/XObject") : QPDFObjectHandle::newNull();
    for (QPDFObjectHandle content : contents) {
      if (!content.isStream())
        continue;
      const Scanned& scanned = Scan(content);
      // A string shown costs a glyph per byte, which is cheaper than an operator: a long
      // string counts as one operator per kBytesPerOperator bytes, so that a form drawing a
      // megabyte of text a thousand times is counted, and a page of a long text is not refused.
      frame.sum.operators += static_cast<double>(scanned.scan.operators) +
                             static_cast<double>(scanned.scan.stringBytes) / kBytesPerOperator;
      frame.sum.contentBytes += static_cast<double>(scanned.bytes);
      if (!xobjects.isDictionary())
        continue;
      for (const auto& [name, count] : scanned.scan.drawn) {
        QPDFObjectHandle target = xobjects.getKey(name);
        if (target.isStream())
          frame.children.emplace_back(target, static_cast<double>(count));
      }
    }
    return frame;
  };

  QPDFObjectHandle contents = pageObject.getKey("/Contents");
  std::vector<QPDFObjectHandle> streams =
      contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
  std::vector<Frame> stack;
  stack.push_back(
      makeFrame(streams, page.getAttribute("/Resources", false), pageObject.getObjGen()));
  if (annotations) {
    QPDFObjectHandle list = pageObject.getKey("/Annots");
    if (list.isArray())
      for (QPDFObjectHandle& annotation : list.getArrayAsVector()) {
        QPDFObjectHandle appearance = NormalAppearance(annotation);
        if (appearance.isStream())
          stack.back().children.emplace_back(appearance, 1.0);
      }
  }
  std::set<FormKey> onPath;
  for (;;) {
    Frame& top = stack.back();
    if (top.next < top.children.size()) {
      auto [child, times] = top.children[top.next++];
      QPDFObjectHandle dictionary = child.getDict();
      if (dictionary.getKey("/Subtype").isNameAndEquals("/Image")) {
        auto known = imagePixels_.find(child.getObjGen());
        double pixels = known != imagePixels_.end()
                            ? known->second
                            : (dictionary.getKey("/Width").isNumber()
                                   ? dictionary.getKey("/Width").getNumericValue()
                                   : 0) *
                                  (dictionary.getKey("/Height").isNumber()
                                       ? dictionary.getKey("/Height").getNumericValue()
                                       : 0);
        top.sum.pixels += times * pixels;
        continue;
      }
      QPDFObjectHandle own = dictionary.getKey("/Resources");
      bool hasOwn = own.isDictionary();
      FormKey key{child.getObjGen(), hasOwn ? child.getObjGen() : top.owner};
      auto memo = forms_.find(key);
      if (memo != forms_.end()) {
        Add(top.sum, memo->second, times);
        continue;
      }
      if (onPath.count(key) > 0)
        continue;  // a form drawing itself: poppler does not draw it again
      Frame frame = makeFrame({child}, hasOwn ? own : top.resources, key.second);
      frame.key = key;
      frame.sum.operators += kFormDrawOperators;
      frame.times = times;
      onPath.insert(key);
      stack.push_back(std::move(frame));
      continue;
    }
    Frame done = std::move(top);
    stack.pop_back();
    if (done.key) {
      forms_[*done.key] = done.sum;
      onPath.erase(*done.key);
    }
    if (stack.empty())
      return done.sum;
    Add(stack.back().sum, done.sum, done.times);
  }
}

}  // namespace pdf::document
