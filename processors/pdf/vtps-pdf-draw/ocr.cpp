// PdfOcr: scanned pages made searchable. Each chosen page is drawn, its words recognised with
// tesseract, and an invisible text layer laid over the page (text render mode 3), which is
// otherwise left as it was. A page that already has text is skipped unless forced.
#include <qpdf/QPDFObjectHandle.hh>

#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/drawing/ocr_engine.h"
#include "processors/pdf/drawing/page_drawing.h"
#include "processors/pdf/drawing/poppler_document.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/ocr_text_layer.h"
#include "processors/pdf/text/page_ranges.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

namespace {

constexpr long long kMaxDpi = 600;

// What tesseract needs besides the drawing: its copies of the image, a few bytes a pixel,
// and its models. Measured: a Letter page at 300 dpi (8.4 megapixels) was recognised within
// 200 MB of address space and ran out at 180 MB, where this estimate asks for 289 MB.
constexpr double kOcrBytesPerPixel = 4;
constexpr double kOcrOverheadMb = 40;

struct PageResult {
  int number;
  bool done = false;
  int confidence = 0;
  std::size_t words = 0;
};

// Whether the page holds characters a text extractor finds.
bool HasText(poppler::page& page) {
  poppler::byte_array utf8 = page.text(poppler::rectf(), poppler::page::raw_order_layout).to_utf8();
  return std::any_of(utf8.begin(), utf8.end(), [](char c) {
    return c != ' ' && c != '\n' && c != '\r' && c != '\t' && c != '\f';
  });
}

text::PageGeometry GeometryOf(poppler::page& page) {
  poppler::rectf box = page.page_rect(poppler::crop_box);
  text::PageGeometry geometry{box.left(), box.top(), box.right(), box.bottom(), 0};
  switch (page.orientation()) {
    case poppler::page::landscape:
      geometry.rotate = 90;
      break;
    case poppler::page::upside_down:
      geometry.rotate = 180;
      break;
    case poppler::page::seascape:
      geometry.rotate = 270;
      break;
    default:
      break;
  }
  return geometry;
}

// Lays `layer` over `page`: the page's own content is wrapped in q/Q so that its graphics
// state cannot move the layer, and the font joins the page's resources.
void AddTextLayer(QPDF& pdf, QPDFPageObjectHelper& page, QPDFObjectHandle font,
                  const std::function<std::string(const std::string&)>& layerFor) {
  QPDFObjectHandle resources = page.getAttribute("/Resources", true);
  if (!resources.isDictionary()) {
    resources = QPDFObjectHandle::newDictionary();
    page.getObjectHandle().replaceKey("/Resources", resources);
  }
  QPDFObjectHandle fonts = resources.getKey("/Font");
  if (!fonts.isDictionary()) {
    fonts = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/Font", fonts);
  } else if (fonts.isIndirect()) {
    // A font dictionary shared with other pages stays as they know it.
    fonts = fonts.shallowCopy();
    resources.replaceKey("/Font", fonts);
  }
  int suffix = 0;
  std::string name = resources.getUniqueResourceName("/OcrText", suffix);
  fonts.replaceKey(name, font);
  page.addPageContents(QPDFObjectHandle::newStream(&pdf, "q\n"), true);
  page.addPageContents(QPDFObjectHandle::newStream(&pdf, "\nQ\n" + layerFor(name)), false);
}

}  // namespace

KQ_TDict PdfOcr(const run::JobParameters& parameters, document::OperationContext& context) {
  std::string outputName = parameters.String("output");
  long long dpi = parameters.Integer("dpi", 300, 50, kMaxDpi);
  std::string language = parameters.OptionalString("language").value_or("eng");
  bool force = parameters.Bool("force", false);
  document::Rewrite rewrite = document::OpenRewrite(parameters, context, outputName);
  document::PdfFile& input = rewrite.input;
  std::vector<int> pages = document::DistinctPages(parameters, input, context);
  std::unique_ptr<poppler::document> document = drawing::OpenPagesWithPoppler(
      input, pages, drawing::PopplerUse::kDrawing, context, parameters.OptionalString("password"));

  // Every page is checked before the first is drawn.
  std::vector<drawing::PageDrawing> drawings;
  for (int number : pages)
    drawings.push_back(
        drawing::PreparePageDrawing(*document, number, dpi, input.label, parameters.Name("dpi"),
                                    context.limits.maxMemoryMb, kOcrBytesPerPixel, kOcrOverheadMb));
  // Loading tesseract and its models comes last, once nothing cheaper can refuse the job.
  drawing::OcrEngine engine(language, parameters.Name("language"));

  QPDF& pdf = *input.pdf;
  QPDFObjectHandle font = pdf.makeIndirectObject(QPDFObjectHandle::parse(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
  poppler::page_renderer renderer;
  drawing::SetUpRenderer(renderer);
  std::vector<PageResult> results;
  for (drawing::PageDrawing& drawing : drawings) {
    PageResult result{drawing.number};
    if (force || !HasText(*drawing.page)) {
      std::string what = "file \"" + input.label + "\": page " + std::to_string(drawing.number);
      poppler::image image = drawing::DrawPage(drawing, dpi, renderer, input.label);
      drawing::OcrPage ocr = engine.Recognise(
          reinterpret_cast<const unsigned char*>(image.const_data()), image.width(), image.height(),
          image.bytes_per_row(), static_cast<int>(dpi), what);
      text::PageGeometry geometry = GeometryOf(*drawing.page);
      if (!ocr.words.empty()) {
        try {
          AddTextLayer(pdf, input.pages[static_cast<std::size_t>(drawing.number - 1)], font,
                       [&](const std::string& name) {
                         return text::TextLayerContent(ocr.words, static_cast<double>(dpi),
                                                       geometry, name);
                       });
        } catch (const std::exception& e) {
          throw PdfError(what + " cannot be given a text layer (" + e.what() + ")");
        }
      }
      result.done = true;
      result.confidence = ocr.meanConfidence;
      result.words = ocr.words.size();
    }
    results.push_back(result);
  }
  // The text layer is invisible, but its font dictionary lacks what PDF/A asks of every
  // font (its widths).
  document::WriteSetup setup;
  setup.breaksPdfa = [](const document::PdfaClaim&) -> std::string {
    return "a text layer in Helvetica, a font it does not describe in full";
  };
  std::vector<std::string> warnings =
      document::WritePdf(pdf, *rewrite.output, context.limits, input.label, setup);
  rewrite.output->Commit();

  KQ_TArray entries;
  int done = 0;
  for (const PageResult& result : results) {
    KQ_TDict entry;
    entry["number"] = std::to_string(result.number);
    entry["done"] = result.done ? "true" : "false";
    if (result.done) {
      entry["confidence"] = std::to_string(result.confidence);
      entry["words"] = std::to_string(result.words);
      ++done;
    }
    entries.Append(entry);
  }
  KQ_TDict answer;
  answer["output"] = outputName;
  answer["pagesDone"] = std::to_string(done);
  answer["page"] = entries;
  document::AddWarnings(answer, warnings);
  return answer;
}

}  // namespace pdf::ops
