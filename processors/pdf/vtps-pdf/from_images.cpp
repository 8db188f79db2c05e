// PdfFromImages: one page per JPEG or PNG image, in the order given. JPEG data goes into the
// PDF unchanged (DCTDecode); PNG images are decoded with libpng and stored compressed, with
// their transparency as a soft mask. Every image is checked and decoded once before anything
// is written; while the document is written each image's data is read again from the file
// the run holds open, so that only one image's samples are in memory at a time.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cerrno>
#include <cstdio>
#include <map>

#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/document/page_precheck.h"
#include "processors/pdf/image/image_placement.h"
#include "processors/pdf/image/jpeg_header.h"
#include "processors/pdf/image/png_reader.h"
#include "processors/pdf/run/file_bytes.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/run/open_files.h"
#include "processors/pdf/text/pdf_error.h"
#include "processors/pdf/text/pdf_number.h"

namespace pdf::ops {

namespace {

enum class ImageKind { kJpeg, kPng };

struct SourceImage {
  std::string what;  // `file "a.png"`
  os::FileHandle file;
  ImageKind kind;
  int width = 0;
  int height = 0;
  int components = 0;
  double xDpi = 0;
  double yDpi = 0;
  bool adobe = false;     // JPEG: CMYK stored inverted
  bool softMask = false;  // PNG: has transparency that is used
};

// Hands the writer each image's data when it writes the image's stream: a JPEG's bytes as
// the file holds them, a PNG's colour or alpha samples decoded again. The last decoded PNG
// is kept, since its colour and its mask are asked for one after the other.
class ImageData : public QPDFObjectHandle::StreamDataProvider {
 public:
  ImageData(std::vector<SourceImage>& images, long long maxStreamBytes)
      : images_(images), maxStreamBytes_(maxStreamBytes) {}

  void Register(QPDFObjGen stream, std::size_t image, bool mask) {
    streams_[stream] = {image, mask};
  }

  void provideStreamData(QPDFObjGen const& og, Pipeline* pipeline) override {
    auto [index, mask] = streams_.at(og);
    SourceImage& image = images_[index];
    // The file may have been changed since it was checked; what it holds now must still be
    // the image the page was made for.
    auto changed = [&] { return PdfError(image.what + " changed while the PDF was written"); };
    if (image.kind == ImageKind::kJpeg) {
      std::string data =
          run::ReadWholeFile(image.file, image.what, maxStreamBytes_, "VTPS_PDF_MAX_STREAM_BYTES");
      image::JpegHeader header = image::ReadJpegHeader(data, image.what);
      if (header.width != image.width || header.height != image.height ||
          header.components != image.components)
        throw changed();
      pipeline->write(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    } else {
      if (decodedIndex_ != index) {
        decoded_ = Decode(image);
        decodedIndex_ = index;
        const image::PngHeader& header = decoded_.header;
        if (header.width != image.width || header.height != image.height ||
            header.colours != image.components || (image.softMask && !header.alpha))
          throw changed();
      }
      const std::vector<unsigned char>& samples = mask ? decoded_.alpha : decoded_.colour;
      pipeline->write(samples.data(), samples.size());
    }
    pipeline->finish();
  }

  static image::PngSamples Decode(
      const SourceImage& image,
      const std::function<void(const image::PngHeader&)>& checkSize = {}) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(os::OpenStream(image.file, "rb"),
                                                           &std::fclose);
    if (!stream || std::fseek(stream.get(), 0, SEEK_SET) != 0)
      throw PdfError(image.what + " cannot be read");
    return image::DecodePng(
        stream.get(), image.what, document::kMaxPixelsPerPage,
        checkSize ? checkSize : [](const image::PngHeader&) {});
  }

 private:
  std::vector<SourceImage>& images_;
  long long maxStreamBytes_;
  std::map<QPDFObjGen, std::pair<std::size_t, bool>> streams_;
  std::size_t decodedIndex_ = static_cast<std::size_t>(-1);
  image::PngSamples decoded_;
};

void CheckPixels(const SourceImage& image) {
  double pixels = static_cast<double>(image.width) * image.height;
  if (pixels > document::kMaxPixelsPerPage)
    throw PdfError(image.what + " is " + std::to_string(image.width) + " x " +
                   std::to_string(image.height) + " pixels; at most " +
                   std::to_string(static_cast<long long>(document::kMaxPixelsPerPage / 1e6)) +
                   " megapixels per page");
}

// Opens, identifies and checks the image `path`; a PNG is decoded once, charged to the run's
// image budget, so that damage shows before anything is written.
SourceImage OpenImage(document::OperationContext& context, const std::string& path,
                      const std::string& parameter) {
  SourceImage image;
  image.what = "file \"" + path + "\"";
  image.file = context.paths.OpenFile(path, parameter);
  context.inputs.emplace(os::Describe(image.file).id, path);
  // What the file is comes from its first bytes, not its name.
  std::string start;
  {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(os::OpenStream(image.file, "rb"),
                                                           &std::fclose);
    // What cannot be opened is no image of any kind: the run is short of descriptors.
    if (!stream)
      throw PdfError(image.what + " cannot be read (" + run::OpenFailureText(errno) + ")");
    char bytes[8] = {};
    std::size_t read = stream ? std::fread(bytes, 1, sizeof bytes, stream.get()) : 0;
    start.assign(bytes, read);
  }
  context.limits.workingOn = image.what;
  if (start.size() >= 3 && start.compare(0, 3, "\xFF\xD8\xFF") == 0) {
    image.kind = ImageKind::kJpeg;
    image::JpegHeader header = image::ReadJpegHeader(
        run::ReadWholeFile(image.file, image.what, context.limits.maxStreamBytes,
                           "VTPS_PDF_MAX_STREAM_BYTES"),
        image.what);
    image.width = header.width;
    image.height = header.height;
    image.components = header.components;
    image.xDpi = header.xDpi;
    image.yDpi = header.yDpi;
    image.adobe = header.adobe;
    CheckPixels(image);
  } else if (start.size() == 8 && start.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0) {
    image.kind = ImageKind::kPng;
    // The image becomes one stream; that bounds the file as it bounds any stream (a JPEG's
    // is bounded as it is read).
    if (os::Describe(image.file).size > static_cast<std::uint64_t>(context.limits.maxStreamBytes))
      throw PdfError(image.what + " holds more than " +
                     std::to_string(context.limits.maxStreamBytes) +
                     " bytes (VTPS_PDF_MAX_STREAM_BYTES)");
    image::PngSamples samples = ImageData::Decode(image, [&](const image::PngHeader& header) {
      long long channels = header.colours + (header.alpha ? 1 : 0);
      context.limits.images.Charge(static_cast<long long>(header.width) * header.height * channels,
                                   image.what);
    });
    image.width = samples.header.width;
    image.height = samples.header.height;
    image.components = samples.header.colours;
    image.xDpi = samples.header.xDpi;
    image.yDpi = samples.header.yDpi;
    image.softMask = samples.header.alpha && !samples.opaque;
  } else {
    throw PdfError(image.what + " is neither a JPEG nor a PNG image");
  }
  return image;
}

QPDFObjectHandle ColourSpace(int components) {
  return QPDFObjectHandle::newName(components == 1   ? "/DeviceGray"
                                   : components == 3 ? "/DeviceRGB"
                                                     : "/DeviceCMYK");
}

QPDFObjectHandle ImageStream(QPDF& pdf, const SourceImage& image, int components) {
  QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf);
  QPDFObjectHandle dictionary = stream.getDict();
  dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
  dictionary.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
  dictionary.replaceKey("/Width", QPDFObjectHandle::newInteger(image.width));
  dictionary.replaceKey("/Height", QPDFObjectHandle::newInteger(image.height));
  dictionary.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
  dictionary.replaceKey("/ColorSpace", ColourSpace(components));
  return stream;
}

}  // namespace

KQ_TDict PdfFromImages(const run::JobParameters& parameters, document::OperationContext& context) {
  const KQ_TArray& paths = parameters.Array("images");
  std::string outputName = parameters.String("output");
  std::string pageSize = parameters.OptionalString("pageSize").value_or("fit");
  std::optional<std::pair<double, double>> paper;
  if (pageSize != "fit") {
    paper = image::PaperSize(pageSize);
    if (!paper)
      throw PdfError("parameter \"" + parameters.Name("pageSize") + "\" is \"" + pageSize +
                     "\"; it must be \"fit\", \"A4\", \"Letter\", \"A3\", \"A5\" or \"Legal\"");
  }
  std::unique_ptr<run::OutputFile> output =
      document::PrepareOutput(context, outputName, parameters.Name("output"));
  context.budget.Write(static_cast<long long>(paths.Count()), outputName);

  std::vector<SourceImage> images;
  images.reserve(paths.Count());
  for (std::size_t i = 0; i < paths.Count(); ++i) {
    std::string element = parameters.Name("images") + "[" + std::to_string(i + 1) + "]";
    const KQ_TString* path = paths[i].DynamicCast<KQ_TString>();
    if (path == nullptr)
      throw PdfError("parameter \"" + element + "\" must be a path");
    images.push_back(OpenImage(context, path->Text(), element));
  }

  auto pdf = std::make_shared<QPDF>();
  pdf->emptyPDF();
  pdf->setSuppressWarnings(true);
  context.limits.damage.Watch(pdf, "output \"" + outputName + "\"");
  auto data = std::make_shared<ImageData>(images, context.limits.maxStreamBytes);
  QPDFPageDocumentHelper pages(*pdf);
  for (std::size_t i = 0; i < images.size(); ++i) {
    const SourceImage& image = images[i];
    QPDFObjectHandle stream = ImageStream(*pdf, image, image.components);
    if (image.kind == ImageKind::kJpeg) {
      stream.replaceStreamData(data, QPDFObjectHandle::newName("/DCTDecode"),
                               QPDFObjectHandle::newNull());
      // CMYK JPEGs made by Adobe's programs, the ones that carry its marker, hold inverted
      // samples; readers draw them right through an inverting decode array.
      if (image.components == 4 && image.adobe)
        stream.getDict().replaceKey("/Decode", QPDFObjectHandle::parse("[1 0 1 0 1 0 1 0]"));
    } else {
      stream.replaceStreamData(data, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
      if (image.softMask) {
        QPDFObjectHandle mask = ImageStream(*pdf, image, 1);
        mask.replaceStreamData(data, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
        data->Register(mask.getObjGen(), i, true);
        stream.getDict().replaceKey("/SMask", mask);
      }
    }
    data->Register(stream.getObjGen(), i, false);

    image::ImagePlacement place =
        image::PlaceImage(image.width, image.height, image.xDpi, image.yDpi, paper);
    QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
    xobjects.replaceKey("/Im0", stream);
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", xobjects);
    std::string content = "q " + text::PdfNumber(place.width) + " 0 0 " +
                          text::PdfNumber(place.height) + " " + text::PdfNumber(place.x) + " " +
                          text::PdfNumber(place.y) + " cm /Im0 Do Q\n";
    QPDFObjectHandle page = pdf->makeIndirectObject(QPDFObjectHandle::newDictionary());
    page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
    page.replaceKey("/MediaBox", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(
                                     0, 0, place.pageWidth, place.pageHeight)));
    page.replaceKey("/Resources", resources);
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(pdf.get(), content));
    pages.addPage(QPDFPageObjectHelper(page), false);
  }
  document::WritePdf(*pdf, *output, context.limits, outputName);
  output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["pageCount"] = std::to_string(images.size());
  return answer;
}

}  // namespace pdf::ops
