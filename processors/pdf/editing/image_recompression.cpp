#include "processors/pdf/editing/image_recompression.h"

#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_DCT.hh>
#include <qpdf/Pl_Flate.hh>

#include <cmath>
#include <optional>
#include <set>
#include <vector>

#include "processors/pdf/document/page_precheck.h"
#include "processors/pdf/document/reachable_objects.h"
#include "processors/pdf/editing/drawn_image_sizes.h"
#include "processors/pdf/image/area_resampling.h"
#include "processors/pdf/image/jpeg_header.h"
#include "processors/pdf/image/tone_reduction.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::editing {

namespace {

// Keeps what is written into it, refusing more than `maxBytes`.
class BoundedBuffer : public Pipeline {
 public:
  explicit BoundedBuffer(std::size_t maxBytes)
      : Pipeline("bounded buffer", nullptr), maxBytes_(maxBytes) {}
  void write(unsigned char const* data, size_t length) override {
    if (length > maxBytes_ - bytes_.size()) {
      exceeded_ = true;
      throw std::length_error("image data longer than its dictionary says");
    }
    bytes_.insert(bytes_.end(), data, data + length);
  }
  void finish() override {}
  const std::vector<unsigned char>& Bytes() const { return bytes_; }
  // Hands the bytes over, leaving the buffer empty: an image's samples are held once.
  std::vector<unsigned char> Take() { return std::move(bytes_); }
  bool Exceeded() const { return exceeded_; }

 private:
  std::size_t maxBytes_;
  std::vector<unsigned char> bytes_;
  bool exceeded_ = false;
};

class Quality : public Pl_DCT::CompressConfig {
 public:
  explicit Quality(int quality) : quality_(quality) {}
  void apply(jpeg_compress_struct* settings) override {
    jpeg_set_quality(settings, quality_, TRUE);
    settings->optimize_coding = TRUE;
  }

 private:
  int quality_;
};

// The single filter of `stream` ("/FlateDecode", "/DCTDecode"), "" without one, or "?" for
// several or an unusual form.
std::string OnlyFilter(QPDFObjectHandle dictionary) {
  QPDFObjectHandle filter = dictionary.getKey("/Filter");
  if (filter.isArray() && filter.getArrayNItems() == 1)
    filter = filter.getArrayItem(0);
  if (filter.isNull())
    return "";
  if (!filter.isName())
    return "?";
  std::string name = filter.getName();
  if (name == "/Fl")
    return "/FlateDecode";
  if (name == "/DCT")
    return "/DCTDecode";
  return name;
}

// The colour components of an image's colour space that JPEG can carry as it is: 1 or 3
// for DeviceGray, DeviceRGB and ICC profiles of 1 or 3 components; 0 for any other.
int Components(QPDFObjectHandle colourSpace) {
  if (colourSpace.isNameAndEquals("/DeviceGray") || colourSpace.isNameAndEquals("/G"))
    return 1;
  if (colourSpace.isNameAndEquals("/DeviceRGB") || colourSpace.isNameAndEquals("/RGB"))
    return 3;
  if (colourSpace.isArray() && colourSpace.getArrayNItems() == 2 &&
      colourSpace.getArrayItem(0).isNameAndEquals("/ICCBased")) {
    QPDFObjectHandle profile = colourSpace.getArrayItem(1);
    if (profile.isStream() && profile.getDict().getKey("/N").isInteger()) {
      long long n = profile.getDict().getKey("/N").getIntValue();
      if (n == 1 || n == 3)
        return static_cast<int>(n);
    }
  }
  return 0;
}

// The pixels an image drawn `points` long needs at `maxDpi`; `pixels` when it has no more
// than kDownsampleMargin times that, or when it is not drawn at a usable size.
int NeededPixels(int pixels, double points, int maxDpi) {
  if (maxDpi <= 0 || !std::isfinite(points) || points <= 0)
    return pixels;
  double needed = std::ceil(points / 72.0 * maxDpi);
  if (pixels <= needed * kDownsampleMargin)
    return pixels;
  return std::max(1, static_cast<int>(needed));
}

std::shared_ptr<Buffer> Deflated(const unsigned char* data, std::size_t size) {
  Pl_Buffer buffer("deflated image");
  Pl_Flate deflate("deflate", &buffer, Pl_Flate::a_deflate);
  deflate.write(data, size);
  deflate.finish();
  return buffer.getBufferSharedPointer();
}

std::shared_ptr<Buffer> JpegOf(const image::Raster& raster, int quality) {
  Pl_Buffer encoded("recompressed image");
  Quality settings(quality);
  Pl_DCT encoder("jpeg", &encoded, static_cast<JDIMENSION>(raster.width),
                 static_cast<JDIMENSION>(raster.height), raster.components,
                 raster.components == 1 ? JCS_GRAYSCALE : JCS_RGB, &settings);
  encoder.write(raster.samples.data(), raster.samples.size());
  encoder.finish();
  return encoded.getBufferSharedPointer();
}

}  // namespace

RecompressionResult RecompressImages(QPDF& pdf, const RecompressionSettings& settings,
                                     run::ImageBudget& budget, const std::string& label) {
  std::vector<QPDFObjectHandle> images;
  std::set<QPDFObjGen> seen;
  document::ForEachReachableStream(
      pdf.getTrailer(), {}, seen,
      [&](QPDFObjectHandle stream, const std::string&, const std::string&) {
        if (stream.getDict().getKey("/Subtype").isNameAndEquals("/Image"))
          images.push_back(stream);
      });
  // An image that is another's mask or soft mask holds opacity, which JPEG's artefacts
  // would turn into visible seams.
  std::set<QPDFObjGen> masks;
  for (QPDFObjectHandle& image : images)
    for (const char* key : {"/SMask", "/Mask"})
      if (QPDFObjectHandle mask = image.getDict().getKey(key); mask.isStream())
        masks.insert(mask.getObjGen());
  // Where the images are drawn decides downsampling and 1 bit; only images whose every use
  // is known may lose pixels. Measured when the first image is decoded: a document without
  // images to recompress is not parsed for it.
  std::optional<DrawnImages> drawn;
  RecompressionResult result;
  for (QPDFObjectHandle& image : images) {
    if (masks.count(image.getObjGen()) > 0)
      continue;
    QPDFObjectHandle dictionary = image.getDict();
    std::string filter = OnlyFilter(dictionary);
    QPDFObjectHandle width = dictionary.getKey("/Width");
    QPDFObjectHandle height = dictionary.getKey("/Height");
    int components = Components(dictionary.getKey("/ColorSpace"));
    bool plain = (filter == "/FlateDecode" || filter == "/DCTDecode") && width.isInteger() &&
                 height.isInteger() && components > 0 &&
                 dictionary.getKey("/BitsPerComponent").isInteger() &&
                 dictionary.getKey("/BitsPerComponent").getIntValue() == 8 &&
                 !dictionary.getKey("/ImageMask").isBool() && !dictionary.hasKey("/Mask") &&
                 !dictionary.hasKey("/SMask") && !dictionary.hasKey("/Decode") &&
                 !(filter == "/DCTDecode" && dictionary.hasKey("/DecodeParms"));
    if (!plain)
      continue;
    long long w = width.getIntValue();
    long long h = height.getIntValue();
    if (w <= 0 || h <= 0 || static_cast<double>(w) * static_cast<double>(h) < settings.minPixels)
      continue;
    std::string what = "file \"" + label + "\": image " + image.getObjGen().unparse(' ');
    if (static_cast<double>(w) * static_cast<double>(h) > document::kMaxPixelsPerPage)
      throw PdfError(what + " is " + std::to_string(w) + " x " + std::to_string(h) +
                     " pixels; at most " +
                     std::to_string(static_cast<long long>(document::kMaxPixelsPerPage / 1e6)) +
                     " megapixels per image");
    long long expected = w * h * components;
    if (expected > settings.maxStreamBytes)
      throw PdfError(what + " decodes to more than " + std::to_string(settings.maxStreamBytes) +
                     " bytes (VTPS_PDF_MAX_STREAM_BYTES)");
    std::shared_ptr<Buffer> raw = image.getRawStreamData();
    if (filter == "/DCTDecode") {
      // The JPEG's own header decides what the decoder allocates; it must agree with the
      // dictionary, so a small image cannot make libjpeg decode a huge one.
      try {
        image::JpegHeader header = image::ReadJpegHeader(
            std::string(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize()), what);
        if (header.width != w || header.height != h || header.components != components)
          continue;
      } catch (const PdfError&) {
        continue;
      }
    }
    budget.Charge(expected, what);
    ++result.examined;
    BoundedBuffer samples(static_cast<std::size_t>(expected));
    bool decoded = false;
    try {
      decoded = image.pipeStreamData(&samples, 0, qpdf_dl_all, /*suppress_warnings=*/true);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception&) {
      decoded = false;
    }
    if (!decoded || samples.Exceeded() ||
        samples.Bytes().size() != static_cast<std::size_t>(expected))
      continue;

    if (!drawn)
      drawn = MeasureDrawnImages(pdf);
    image::Raster raster{static_cast<int>(w), static_cast<int>(h), components, samples.Take()};
    QPDFObjectHandle colourSpace = dictionary.getKey("/ColorSpace");
    // Only the device spaces: under an ICC profile equal channels need not be neutral, nor
    // 0 and 255 black and white.
    bool grey =
        components == 3 &&
        (colourSpace.isNameAndEquals("/DeviceRGB") || colourSpace.isNameAndEquals("/RGB")) &&
        image::IsNearlyGrey(raster);
    if (grey)
      raster = image::ToGrey(raster);
    bool deviceGrey =
        grey || colourSpace.isNameAndEquals("/DeviceGray") || colourSpace.isNameAndEquals("/G");
    // Judged at the image's own resolution, before downsampling blurs its edges.
    image::GreyTones tones = settings.bilevel && deviceGrey ? image::ClassifyGreyTones(raster)
                                                            : image::GreyTones::kContinuous;
    bool downsampled = false;
    double dpi = 0;  // the lowest it is drawn at; 0: not known
    if (auto size = drawn->sizes.find(image.getObjGen());
        size != drawn->sizes.end() && drawn->unplaced.count(image.getObjGen()) == 0) {
      int newWidth = NeededPixels(raster.width, size->second.width, settings.maxDpi);
      int newHeight = NeededPixels(raster.height, size->second.height, settings.maxDpi);
      if (newWidth < raster.width || newHeight < raster.height) {
        raster = image::Downsample(raster, newWidth, newHeight);
        downsampled = true;
      }
      if (size->second.width > 0 && size->second.height > 0)
        dpi = std::min(raster.width * 72.0 / size->second.width,
                       raster.height * 72.0 / size->second.height);
    }
    bool bilevel = tones == image::GreyTones::kBilevel && dpi >= kBilevelMinDpi;
    bool fourBit = tones != image::GreyTones::kContinuous && !bilevel;

    std::shared_ptr<Buffer> best;
    bool bestIsJpeg = false;
    if (bilevel || fourBit) {
      std::vector<unsigned char> packed =
          bilevel ? image::PackBilevel(raster) : image::PackSixteenGreys(raster);
      best = Deflated(packed.data(), packed.size());
    } else {
      best = Deflated(raster.samples.data(), raster.samples.size());
      std::shared_ptr<Buffer> jpeg = JpegOf(raster, settings.quality);
      if (jpeg->getSize() < best->getSize()) {
        best = jpeg;
        bestIsJpeg = true;
      }
    }
    if (best->getSize() >= raw->getSize())
      continue;
    image.replaceStreamData(best,
                            QPDFObjectHandle::newName(bestIsJpeg ? "/DCTDecode" : "/FlateDecode"),
                            QPDFObjectHandle::newNull());
    dictionary.replaceKey("/Width", QPDFObjectHandle::newInteger(raster.width));
    dictionary.replaceKey("/Height", QPDFObjectHandle::newInteger(raster.height));
    if (deviceGrey)
      dictionary.replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceGray"));
    dictionary.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(bilevel   ? 1
                                                                            : fourBit ? 4
                                                                                      : 8));
    ++result.recompressed;
    result.downsampled += downsampled;
    result.madeGrey += grey;
    result.madeBilevel += bilevel;
    result.madeFourBit += fourBit;
  }
  return result;
}

}  // namespace pdf::editing
