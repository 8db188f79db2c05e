#include "processors/pdf/editing/drawn_image_sizes.h"

#include <qpdf/QPDFPageDocumentHelper.hh>

#include <algorithm>
#include <cmath>
#include <vector>

#include "processors/pdf/document/reachable_objects.h"

namespace pdf::editing {

namespace {

// A PDF transformation [a b c d e f]: a point (x, y) goes to (ax + cy + e, bx + dy + f).
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

  // This matrix applied after `first`: a point goes through `first`, then this (PDF's
  // `first` x this). A cm operand and a form's /Matrix apply before the current matrix.
  Matrix After(const Matrix& first) const {
    return {first.a * a + first.b * c,     first.a * b + first.b * d,
            first.c * a + first.d * c,     first.c * b + first.d * d,
            first.e * a + first.f * c + e, first.e * b + first.f * d + f};
  }
};

// Reads six numbers into a matrix; false when `operands` are not six numbers.
bool ToMatrix(std::vector<QPDFObjectHandle> operands, Matrix& matrix) {
  if (operands.size() != 6)
    return false;
  double values[6];
  for (std::size_t i = 0; i < 6; ++i) {
    if (!operands[i].isNumber())
      return false;
    values[i] = operands[i].getNumericValue();
    if (!std::isfinite(values[i]))
      return false;
  }
  matrix = {values[0], values[1], values[2], values[3], values[4], values[5]};
  return true;
}

class Measurer {
 public:
  Measurer(QPDF& pdf, const DrawnImageLimits& limits) : pdf_(pdf), limits_(limits) {}

  DrawnImages Run() {
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(pdf_).getAllPages()) {
      QPDFObjectHandle dictionary = page.getObjectHandle();
      Matrix start;
      if (QPDFObjectHandle unit = dictionary.getKey("/UserUnit"); unit.isNumber()) {
        double scale = unit.getNumericValue();
        if (std::isfinite(scale) && scale > 0)
          start = {scale, 0, 0, scale, 0, 0};
      }
      QPDFObjectHandle resources = page.getAttribute("/Resources", false);
      Unplace(dictionary.getKey("/Annots"));
      Follow(resources, start, 0,
             [&](QPDFObjectHandle::ParserCallbacks* callbacks) { page.parseContents(callbacks); });
      if (exhausted_)
        break;
    }
    Unplace(pdf_.getRoot().getKey("/AcroForm"));
    // A page not followed to its end may draw any image larger.
    if (exhausted_)
      result_.sizes.clear();
    return std::move(result_);
  }

 private:
  // Parses one content stream (a page's or a form's) drawn with `resources` at `ctm`.
  template <typename Parse>
  void Follow(QPDFObjectHandle resources, const Matrix& ctm, int depth, Parse parse) {
    if (exhausted_)
      return;
    // Whatever the stream's resources hold besides XObjects (patterns, Type3 fonts, soft
    // masks in graphics states) draws images at sizes this walk does not follow.
    if (resources.isDictionary())
      for (const std::string& key : resources.getKeys())
        if (key != "/XObject")
          Unplace(resources.getKey(key));
    Callbacks callbacks(*this, resources, ctm, depth);
    std::size_t warnings = pdf_.numWarnings();
    bool parsed = true;
    try {
      parse(&callbacks);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception&) {
      parsed = false;
    }
    if (!parsed || pdf_.numWarnings() != warnings || callbacks.failed)
      Unplace(resources);
  }

  class Callbacks : public QPDFObjectHandle::ParserCallbacks {
   public:
    Callbacks(Measurer& owner, QPDFObjectHandle resources, const Matrix& ctm, int depth)
        : owner_(owner), resources_(resources), ctm_(ctm), depth_(depth) {}

    bool failed = false;

    void contentSize(size_t bytes) override {
      owner_.contentBytes_ += static_cast<long long>(bytes);
      if (owner_.contentBytes_ > owner_.limits_.maxContentBytes)
        owner_.exhausted_ = true;
    }

    void handleObject(QPDFObjectHandle object) override {
      if (owner_.exhausted_)
        terminateParsing();
      if (!object.isOperator()) {
        operands_.push_back(object);
        return;
      }
      std::string op = object.getOperatorValue();
      if (op == "q") {
        saved_.push_back(ctm_);
      } else if (op == "Q") {
        // An unbalanced Q is ignored, as readers do.
        if (!saved_.empty()) {
          ctm_ = saved_.back();
          saved_.pop_back();
        }
      } else if (op == "cm") {
        Matrix m;
        if (ToMatrix(operands_, m))
          ctm_ = ctm_.After(m);
        else
          failed = true;
      } else if (op == "Do" && operands_.size() == 1 && operands_[0].isName()) {
        Draw(operands_[0].getName());
      }
      operands_.clear();
      if (owner_.exhausted_)
        terminateParsing();
    }

    void handleEOF() override {}

   private:
    void Draw(const std::string& name) {
      QPDFObjectHandle xobjects =
          resources_.isDictionary() ? resources_.getKey("/XObject") : QPDFObjectHandle::newNull();
      QPDFObjectHandle xobject =
          xobjects.isDictionary() ? xobjects.getKey(name) : QPDFObjectHandle::newNull();
      if (!xobject.isStream())
        return;
      QPDFObjectHandle dictionary = xobject.getDict();
      QPDFObjectHandle subtype = dictionary.getKey("/Subtype");
      if (subtype.isNameAndEquals("/Image")) {
        DrawnSize& size = owner_.result_.sizes[xobject.getObjGen()];
        size.width = std::max(size.width, std::hypot(ctm_.a, ctm_.b));
        size.height = std::max(size.height, std::hypot(ctm_.c, ctm_.d));
        return;
      }
      if (!subtype.isNameAndEquals("/Form"))
        return;
      // A form within itself, or nested past the bound, cannot be followed to its end.
      QPDFObjGen form = xobject.getObjGen();
      if (depth_ + 1 > owner_.limits_.maxFormDepth || owner_.open_.count(form) > 0) {
        owner_.Unplace(xobject);
        return;
      }
      Matrix matrix;
      if (QPDFObjectHandle array = dictionary.getKey("/Matrix"); array.isArray()) {
        if (!ToMatrix(array.getArrayAsVector(), matrix)) {
          owner_.Unplace(xobject);
          return;
        }
      }
      // A form without resources of its own uses those of what draws it.
      QPDFObjectHandle resources = dictionary.getKey("/Resources");
      if (!resources.isDictionary())
        resources = resources_;
      owner_.open_.insert(form);
      owner_.Follow(resources, ctm_.After(matrix), depth_ + 1,
                    [&](QPDFObjectHandle::ParserCallbacks* callbacks) {
                      xobject.parseAsContents(callbacks);
                    });
      owner_.open_.erase(form);
    }

    Measurer& owner_;
    QPDFObjectHandle resources_;
    Matrix ctm_;
    int depth_;
    std::vector<Matrix> saved_;
    std::vector<QPDFObjectHandle> operands_;
  };

  // Every image reachable from `object` is unplaced.
  void Unplace(QPDFObjectHandle object) {
    if (object.isNull())
      return;
    // A page's annotations and a form field lead back to pages by these keys.
    document::ForEachReachableStream(
        object, {"/Parent", "/P"}, unplacedSeen_,
        [&](QPDFObjectHandle stream, const std::string&, const std::string&) {
          if (stream.getDict().getKey("/Subtype").isNameAndEquals("/Image"))
            result_.unplaced.insert(stream.getObjGen());
        });
  }

  QPDF& pdf_;
  const DrawnImageLimits& limits_;
  DrawnImages result_;
  std::set<QPDFObjGen> unplacedSeen_;  // objects already walked by Unplace
  std::set<QPDFObjGen> open_;          // the forms being followed, to refuse a form within itself
  long long contentBytes_ = 0;
  bool exhausted_ = false;
};

}  // namespace

DrawnImages MeasureDrawnImages(QPDF& pdf, const DrawnImageLimits& limits) {
  return Measurer(pdf, limits).Run();
}

}  // namespace pdf::editing
