// PdfCompress: PdfOptimize's rewrite (object streams, unused resources and unreferenced
// objects gone, every stream compressed) made smaller still: photographs recompressed as
// JPEG at a chosen quality, identical streams shared, Flate at its highest level. The result
// is never larger than the input unless the caller allows it: the input is then copied
// unchanged.
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "processors/pdf/file_bytes.h"
#include "processors/pdf/image_recompression.h"
#include "processors/pdf/operations.h"
#include "processors/pdf/page_precheck.h"
#include "processors/pdf/page_ranges.h"
#include "processors/pdf/pdf_error.h"
#include "processors/pdf/shared_streams.h"

namespace {

// qpdf's Flate level is a process-wide setting; it is put back once the document is written.
class FlateLevel {
 public:
  explicit FlateLevel(int level) { Pl_Flate::setCompressionLevel(level); }
  ~FlateLevel() { Pl_Flate::setCompressionLevel(-1); }
  FlateLevel(const FlateLevel&) = delete;
  FlateLevel& operator=(const FlateLevel&) = delete;
};

}  // namespace

KQ_TDict PdfCompress(const JobParameters& parameters, OperationContext& context) {
  std::string outputName = parameters.String("output");
  RecompressionSettings recompression;
  recompression.quality = static_cast<int>(parameters.Integer("imageQuality", 75, 1, 100));
  recompression.minPixels = parameters.Integer("minImageSize", 4096, 0, 1'000'000'000'000);
  recompression.maxStreamBytes = context.limits.maxStreamBytes;
  bool linearize = parameters.Bool("linearize", true);
  bool allowLarger = parameters.Bool("allowLarger", false);
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenFileParameter(parameters, context);
  context.budget.Write(input.PageCount(), outputName);
  std::uint64_t before = os::Describe(input.file).size;

  // Finding the unused resources parses every page's content streams and forms in memory.
  CheckPagesBeforePoppler(input.pages, AllPages(input.PageCount()),
                          {context.limits.maxStreamBytes, false, false}, input.label);
  RecompressionResult images;
  int shared = 0;
  try {
    QPDFPageDocumentHelper(*input.pdf).removeUnreferencedResources();
    images = RecompressImages(*input.pdf, recompression, context.limits.images, input.label);
    shared = ShareIdenticalStreams(*input.pdf);
  } catch (const PdfError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError("file \"" + input.label + "\" cannot be compressed (" + e.what() + ")");
  }
  context.limits.damage.Check();

  WriteSetup setup;
  setup.decoding.level = qpdf_dl_generalized;
  setup.decoding.compressStreams = true;
  setup.decoding.recompressFlate = true;
  setup.linearize = linearize;
  setup.configure = [](QPDFWriter& writer) { writer.setObjectStreamMode(qpdf_o_generate); };
  {
    FlateLevel best(9);
    WritePdf(*input.pdf, *output, context.limits, input.label, setup);
  }
  std::uint64_t after = os::Describe(output->File()).size;
  bool copied = after >= before && !allowLarger;
  if (copied) {
    // A fresh content file for the same name; the larger rewrite is discarded with `output`.
    std::unique_ptr<OutputFile> copy =
        PrepareOutput(context, outputName, parameters.Name("output"));
    CopyFileTo(input.file, "file \"" + input.label + "\"", *copy, context.limits.output);
    copy->Commit();
    after = before;
  } else {
    output->Commit();
  }

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["bytesBefore"] = std::to_string(before);
  answer["bytesAfter"] = std::to_string(after);
  answer["copied"] = copied ? "true" : "false";
  answer["imagesRecompressed"] = std::to_string(images.recompressed);
  answer["streamsShared"] = std::to_string(shared);
  return answer;
}
