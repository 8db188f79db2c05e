// PdfCompress: PdfOptimize's rewrite (object streams, unused resources and unreferenced
// objects gone, every stream compressed) made smaller still: images downsampled to the
// resolution they are drawn at (up to maxDpi), nearly neutral colour images made grey and
// scans of text 1 or 4 bits a pixel, photographs recompressed as JPEG at a chosen quality,
// identical streams shared, Flate at its highest level. The result
// is never larger than the input unless the caller allows it: the input is then copied
// unchanged.
#include <qpdf/Pl_Flate.hh>

#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/document/page_precheck.h"
#include "processors/pdf/editing/image_recompression.h"
#include "processors/pdf/editing/shared_streams.h"
#include "processors/pdf/editing/unused_resources.h"
#include "processors/pdf/run/file_bytes.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/page_ranges.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

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

KQ_TDict PdfCompress(const run::JobParameters& parameters, document::OperationContext& context) {
  std::string outputName = parameters.String("output");
  editing::RecompressionSettings recompression;
  recompression.quality = static_cast<int>(parameters.Integer("imageQuality", 75, 1, 100));
  recompression.minPixels = parameters.Integer("minImageSize", 4096, 0, 1'000'000'000'000);
  recompression.maxStreamBytes = context.limits.maxStreamBytes;
  recompression.maxDpi = static_cast<int>(parameters.Integer("maxDpi", 300, 0, 10000));
  std::string bilevel = parameters.OptionalString("bilevel").value_or("auto");
  if (bilevel != "auto" && bilevel != "never")
    throw PdfError("parameter \"" + parameters.Name("bilevel") + "\" is \"" + bilevel +
                   "\"; it must be \"auto\" or \"never\"");
  recompression.bilevel = bilevel == "auto";
  bool linearize = parameters.Bool("linearize", true);
  bool allowLarger = parameters.Bool("allowLarger", false);
  document::Rewrite rewrite = document::OpenRewrite(parameters, context, outputName);
  document::PdfFile& input = rewrite.input;
  std::uint64_t before = os::Describe(input.file).size;

  // Finding the unused resources parses every page's content streams and forms in memory.
  document::CheckPagesBeforePoppler(
      input.pages, text::AllPages(input.PageCount()),
      {context.limits.maxStreamBytes, false, false, &context.limits.decoding}, input.label);
  editing::RecompressionResult images;
  int shared = 0;
  // The images' Flate data is made at the same level as the writer's.
  FlateLevel best(9);
  WithLibraryFailures("file \"" + input.label + "\" cannot be compressed", [&] {
    editing::RemoveUnusedResources(*input.pdf);
    images =
        editing::RecompressImages(*input.pdf, recompression, context.limits.images, input.label);
    shared = editing::ShareIdenticalStreams(*input.pdf);
  });
  context.limits.damage.Check();

  document::WriteSetup setup = document::CompactSetup(linearize);
  document::WritePdf(*input.pdf, *rewrite.output, context.limits, input.label, setup);
  std::uint64_t after = os::Describe(rewrite.output->File()).size;
  bool copied = after >= before && !allowLarger;
  if (copied) {
    // A fresh content file for the same name; the larger rewrite is discarded with
    // `rewrite.output`.
    std::unique_ptr<run::OutputFile> copy =
        document::PrepareOutput(context, outputName, parameters.Name("output"));
    run::CopyFileTo(input.file, "file \"" + input.label + "\"", *copy, context.limits.output);
    copy->Commit();
    after = before;
  } else {
    rewrite.output->Commit();
  }

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["bytesBefore"] = std::to_string(before);
  answer["bytesAfter"] = std::to_string(after);
  answer["copied"] = copied ? "true" : "false";
  answer["imagesRecompressed"] = std::to_string(images.recompressed);
  answer["imagesDownsampled"] = std::to_string(images.downsampled);
  answer["imagesMadeGrey"] = std::to_string(images.madeGrey);
  answer["imagesMadeBilevel"] = std::to_string(images.madeBilevel);
  answer["imagesMadeFourBit"] = std::to_string(images.madeFourBit);
  answer["streamsShared"] = std::to_string(shared);
  return answer;
}

}  // namespace pdf::ops
