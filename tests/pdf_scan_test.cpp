// The operations for scanned documents run as the server runs them: images into PDFs
// (pdf-from-images), recompression (pdf-compress) and repair (pdf-repair), on images and PDFs
// the test makes, the results checked with Debian's qpdf, pdfinfo, pdfimages and pdftotext
// and with PNGs decoded by libpng.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "platform/kqtypes/kqtypes.h"
#include "processors/pdf/samples/raw_pdf.h"
#include "processors/pdf/samples/sample_pdf.h"
#include "tests/pdf_images.h"
#include "tests/pdf_job.h"
#include "tests/pdf_root_test.h"
#include "tests/pdf_test_files.h"
#include "tests/support/test_support.h"

namespace vtps_test {

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

using PdfScan = PdfScanTest;

// An 8-bit image for a PDF the test writes itself.
struct PdfImage {
  int width = 0;
  int height = 0;
  const char* colourSpace = "/DeviceGray";
  std::vector<unsigned char> samples;
};

// Writes a Letter page drawing `content` with `images` as /Im1, /Im2, ... (Flate).
void WriteImagePage(const std::string& path, const std::vector<PdfImage>& images,
                    const std::string& content) {
  using pdf::samples::Ref;
  pdf::samples::RawPdf raw;
  raw.Add("<< /Type /Catalog /Pages 2 0 R >>");
  int tree = raw.Reserve();
  std::string names;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const PdfImage& image = images[i];
    std::string data(image.samples.begin(), image.samples.end());
    int object = raw.Add(pdf::samples::Stream(
        pdf::samples::Deflated(data),
        "/Type /XObject /Subtype /Image /Width " + std::to_string(image.width) + " /Height " +
            std::to_string(image.height) + " /ColorSpace " + image.colourSpace +
            " /BitsPerComponent 8 /Filter /FlateDecode"));
    names += "/Im" + std::to_string(i + 1) + " " + Ref(object) + " ";
  }
  int stream = raw.Add(pdf::samples::Stream(content));
  int page = raw.Add(
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << "
      "/XObject << " +
      names + ">> >> /Contents " + Ref(stream) + " >>");
  raw.Set(tree, "<< /Type /Pages /Kids [" + Ref(page) + "] /Count 1 >>");
  vtps_test::WriteFile(path, raw.Text());
}

// A Letter page of 44 lines of 11-point Helvetica, as a typed letter is.
void WriteTextPage(const std::string& path) {
  std::string content = "BT /F1 11 Tf 14 TL 72 730 Td\n";
  for (int line = 1; line <= 44; ++line)
    content += "(Line " + std::to_string(line) +
               ": the quick brown fox jumps over the lazy dog, 0123456789.) Tj T*\n";
  content += "ET\n";
  vtps_test::WriteFile(path, pdf::samples::PagesWithContents({pdf::samples::Stream(content)}));
}

// One channel of `picture` as grey samples.
std::vector<unsigned char> Channel(const Picture& picture, int channel) {
  std::vector<unsigned char> grey;
  grey.reserve(picture.pixels.size() / 3);
  for (std::size_t i = static_cast<std::size_t>(channel); i < picture.pixels.size(); i += 3)
    grey.push_back(picture.pixels[i]);
  return grey;
}

// The mean absolute difference of two pictures' samples; 255 when their sizes differ.
double MeanDifference(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height || a.pixels.empty())
    return 255;
  double sum = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i)
    sum += std::abs(a.pixels[i] - b.pixels[i]);
  return sum / static_cast<double>(a.pixels.size());
}

// The rows of `pdfimages -list` for images (not masks), split into fields.
std::vector<std::vector<std::string>> ImageRows(const std::string& listing) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::vector<std::string> row{std::istream_iterator<std::string>(fields), {}};
    if (row.size() > 12 && row[2] == "image")
      rows.push_back(row);
  }
  return rows;
}

TEST_F(PdfScan, FromImagesMakesOnePagePerImageDrawnAsStored) {
  // Each image is 40 x 20 pixels of one colour, except where noted.
  const int w = 40;
  const int h = 20;
  const std::size_t n = static_cast<std::size_t>(w * h);
  std::vector<unsigned char> rgb(3 * n);
  for (std::size_t i = 0; i < n; ++i) {
    rgb[3 * i] = 200;
    rgb[3 * i + 1] = 30;
    rgb[3 * i + 2] = 40;
  }
  WritePng(InRoot("rgb.png"), w, h, PNG_FORMAT_RGB, rgb.data());
  std::vector<std::uint16_t> grey16(n, 0xFFFF);
  WritePng(InRoot("grey16.png"), w, h, PNG_FORMAT_LINEAR_Y, grey16.data());
  // The left half opaque blue, the right half fully transparent.
  std::vector<unsigned char> rgba(4 * n);
  for (std::size_t i = 0; i < n; ++i) {
    bool left = static_cast<int>(i % w) < w / 2;
    unsigned char pixel[4] = {0, 0, 255, static_cast<unsigned char>(left ? 255 : 0)};
    std::copy(pixel, pixel + 4, rgba.begin() + static_cast<std::ptrdiff_t>(4 * i));
  }
  WritePng(InRoot("alpha.png"), w, h, PNG_FORMAT_RGBA, rgba.data());
  const unsigned char palette[6] = {0, 160, 0, 255, 255, 255};
  std::vector<unsigned char> indexes(n, 0);
  WritePng(InRoot("palette.png"), w, h, PNG_FORMAT_RGB_COLORMAP, indexes.data(), palette, 2);
  vtps_test::WriteFile(InRoot("rgb.jpg"), Jpeg(w, h, 3, rgb));
  vtps_test::WriteFile(InRoot("progressive.jpg"), Jpeg(w, h, 3, rgb, true));
  ASSERT_NE(vtps_test::ReadFile(InRoot("progressive.jpg")).find("\xFF\xC2"), std::string::npos);
  std::vector<unsigned char> grey(n, 90);
  vtps_test::WriteFile(InRoot("grey.jpg"), Jpeg(w, h, 1, grey));
  // Cyan as Adobe's programs store CMYK: inverted (0 is full ink). Drawn as cyan ink (poppler
  // gives it as 0, 172, 239); not inverted it would be black.
  std::vector<unsigned char> cmyk(4 * n);
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char pixel[4] = {0, 255, 255, 255};
    std::copy(pixel, pixel + 4, cmyk.begin() + static_cast<std::ptrdiff_t>(4 * i));
  }
  vtps_test::WriteFile(InRoot("cmyk.jpg"), Jpeg(w, h, 4, cmyk));

  struct Case {
    const char* file;
    const char* colour;  // pdfimages -list: colour and encoding
    const char* encoding;
    bool softMask;
    std::array<int, 3> left;  // drawn colour at a quarter of the width, half the height
    std::array<int, 3> right;
  };
  const Case cases[] = {
      {"rgb.png", "rgb", "image", false, {200, 30, 40}, {200, 30, 40}},
      {"grey16.png", "gray", "image", false, {255, 255, 255}, {255, 255, 255}},
      {"alpha.png", "rgb", "image", true, {0, 0, 255}, {255, 255, 255}},
      {"palette.png", "rgb", "image", false, {0, 160, 0}, {0, 160, 0}},
      {"rgb.jpg", "rgb", "jpeg", false, {200, 30, 40}, {200, 30, 40}},
      {"progressive.jpg", "rgb", "jpeg", false, {200, 30, 40}, {200, 30, 40}},
      {"grey.jpg", "gray", "jpeg", false, {90, 90, 90}, {90, 90, 90}},
      {"cmyk.jpg", "cmyk", "jpeg", false, {0, 172, 239}, {0, 172, 239}},
  };
  KQ_TArray images;
  for (const Case& c : cases)
    images.Append(c.file);
  Run run = RunProcessor("pdf-from-images", Dict({{"images", images}, {"output", "images.pdf"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_EQ(Text(run.answer, "pageCount"), "8");
  std::string pdf = InRoot("images.pdf");
  EXPECT_TRUE(tools_.Checks(pdf));
  EXPECT_EQ(tools_.PageCount(pdf), 8);
  // Without a recorded resolution an image is drawn at 72 dpi: a pixel is a point.
  EXPECT_THAT(Tool(PDFINFO_PROGRAM, {"-f", "1", "-l", "8", pdf}),
              HasSubstr("Page    8 size:  40 x 20 pts"));

  std::istringstream listing(Tool(PDFIMAGES_PROGRAM, {"-list", pdf}));
  std::map<int, std::vector<std::vector<std::string>>> byPage;
  for (std::string line; std::getline(listing, line);) {
    std::istringstream fields(line);
    std::vector<std::string> row{std::istream_iterator<std::string>(fields), {}};
    if (row.size() > 9 && std::isdigit(static_cast<unsigned char>(row[0][0])))
      byPage[std::stoi(row[0])].push_back(row);
  }
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.file);
    const auto& rows = byPage[static_cast<int>(i + 1)];
    ASSERT_EQ(rows.size(), c.softMask ? 2u : 1u);
    EXPECT_EQ(rows[0][2], "image");
    EXPECT_EQ(rows[0][3] + "x" + rows[0][4], "40x20");
    EXPECT_EQ(rows[0][5], c.colour);
    EXPECT_EQ(rows[0][7], "8");
    EXPECT_EQ(rows[0][8], c.encoding);
    if (c.softMask) {
      EXPECT_EQ(rows[1][2], "smask");
    }

    Picture page = Rendered("images.pdf", static_cast<int>(i + 1), 72);
    ASSERT_EQ(page.width, 40);
    for (auto [x, expected] : {std::make_pair(10, c.left), std::make_pair(30, c.right)}) {
      const unsigned char* pixel = &page.pixels[3 * static_cast<std::size_t>(10 * 40 + x)];
      for (int channel = 0; channel < 3; ++channel)
        EXPECT_NEAR(pixel[channel], expected[static_cast<std::size_t>(channel)], 12)
            << "x " << x << " channel " << channel;
    }
  }

  // On paper the image is fitted and centred, the page turned to the image's orientation.
  Run paper = RunProcessor(
      "pdf-from-images",
      Dict({{"images", Array({"rgb.png"})}, {"pageSize", "A4"}, {"output", "a4.pdf"}}));
  ASSERT_EQ(paper.exitCode, 0) << Show(paper.answer);
  EXPECT_THAT(Tool(PDFINFO_PROGRAM, {InRoot("a4.pdf")}), HasSubstr("842 x 595 pts"));
}

TEST_F(PdfScan, FromImagesRefusesWhatItCannotBoundAndWritesNothing) {
  Picture photo = Photo(200, 100);
  std::vector<unsigned char>& rgb = photo.pixels;
  WritePng(InRoot("photo.png"), 200, 100, PNG_FORMAT_RGB, rgb.data());
  std::string png = vtps_test::ReadFile(InRoot("photo.png"));
  vtps_test::WriteFile(InRoot("cut.png"), png.substr(0, png.size() / 2));
  // The header declares 20000 x 20000 pixels (with a correct checksum); the data is tiny.
  std::string bomb = png;
  PutWord(bomb, 16, 20000, 4);
  PutWord(bomb, 20, 20000, 4);
  PutWord(bomb, 29, Crc32(bomb.substr(12, 17)), 4);
  vtps_test::WriteFile(InRoot("bomb.png"), bomb);
  std::string jpeg = Jpeg(200, 100, 3, rgb);
  vtps_test::WriteFile(InRoot("cut.jpg"), jpeg.substr(0, jpeg.size() - 40));
  std::string bigJpeg = jpeg;
  std::size_t frame = bigJpeg.find("\xFF\xC0");
  ASSERT_NE(frame, std::string::npos);
  PutWord(bigJpeg, frame + 5, 20000, 2);
  PutWord(bigJpeg, frame + 7, 20000, 2);
  vtps_test::WriteFile(InRoot("big.jpg"), bigJpeg);
  vtps_test::WriteFile(InRoot("note.png"), "just text");
  // A suggested-palette chunk declaring a gigabyte in a file of 42 bytes.
  std::string hugeChunk = png.substr(0, 33) + std::string("\x40\x00\x00\x0csPLT", 8) + "E";
  vtps_test::WriteFile(InRoot("huge-chunk.png"), hugeChunk);

  struct Case {
    KQ_TDict parameters;
    const char* message;
    std::vector<std::pair<std::string, std::string>> environment = {};
  };
  auto images = [](KQ_TArray list) { return Dict({{"images", list}, {"output", "out.pdf"}}); };
  const Case cases[] = {
      {images(Array({"photo.png", "cut.png"})), "file \"cut.png\" is not a readable PNG image"},
      {images(Array({"bomb.png"})),
       "file \"bomb.png\" is 20000 x 20000 pixels; at most 100 megapixels"},
      {images(Array({"cut.jpg"})), "file \"cut.jpg\" is not a usable JPEG image (it is cut short"},
      {images(Array({"big.jpg"})),
       "file \"big.jpg\" is 20000 x 20000 pixels; at most 100 megapixels"},
      {images(Array({"note.png"})), "file \"note.png\" is neither a JPEG nor a PNG image"},
      {images(Array({"huge-chunk.png"})),
       "file \"huge-chunk.png\" is not a readable PNG image (a chunk declares 1073741836 bytes, "
       "more than the file holds)"},
      {images(Array({"three.pdf"})), "file \"three.pdf\" is neither a JPEG nor a PNG image"},
      {images(Array({"photo.png", "photo.png"})),
       "file \"photo.png\": the run's images would decode to more than 100000 bytes "
       "(VTPS_PDF_MAX_IMAGE_BYTES)",
       {{"VTPS_PDF_MAX_IMAGE_BYTES", "100000"}}},
      {images(Array({"photo.png", "photo.png"})),
       "VTPS_PDF_MAX_PAGES",
       {{"VTPS_PDF_MAX_PAGES", "1"}}},
      {images(Array({"photo.png"})),
       "(VTPS_PDF_MAX_STREAM_BYTES)",
       {{"VTPS_PDF_MAX_STREAM_BYTES", "1024"}}},
      {images(Array({"../photo.png"})),
       "parameter \"images[1]\": \"../photo.png\" leads outside VTPS_PDF_ROOT"},
      {images(Array({"photo.png", Dict({{"file", "photo.png"}})})),
       "parameter \"images[2]\" must be a path"},
      {Dict({{"output", "out.pdf"}}), "parameter \"images\" is missing"},
      {Dict({{"images", Array({"photo.png"})}, {"pageSize", "B5"}, {"output", "out.pdf"}}),
       "parameter \"pageSize\" is \"B5\""},
  };
  auto before = vtps_test::FolderSnapshot(Root());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Run run = RunProcessor("pdf-from-images", c.parameters, c.environment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(Text(run.answer, "error"), HasSubstr(c.message));
    EXPECT_EQ(vtps_test::FolderSnapshot(Root()), before);
  }
}

TEST_F(PdfScan, CompressShrinksScannedPhotosAndNeverGrowsByDefault) {
  // A Letter page scanned at 300 dpi, stored losslessly.
  Picture photo = Photo(2550, 3300);
  WritePng(InRoot("photo.png"), photo.width, photo.height, PNG_FORMAT_RGB, photo.pixels.data());
  Run scan = RunProcessor("pdf-from-images", Dict({{"images", Array({"photo.png", "photo.png"})},
                                                   {"pageSize", "Letter"},
                                                   {"output", "scan.pdf"}}));
  ASSERT_EQ(scan.exitCode, 0) << Show(scan.answer);

  Run run =
      RunProcessor("pdf-compress",
                   Dict({{"file", "scan.pdf"}, {"output", "small.pdf"}, {"imageQuality", "60"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  double before = static_cast<double>(fs::file_size(InRoot("scan.pdf")));
  double after = static_cast<double>(fs::file_size(InRoot("small.pdf")));
  EXPECT_EQ(Text(run.answer, "bytesBefore"), std::to_string(static_cast<long long>(before)));
  EXPECT_EQ(Text(run.answer, "bytesAfter"), std::to_string(static_cast<long long>(after)));
  EXPECT_EQ(Text(run.answer, "copied"), "false");
  EXPECT_LE(after, 0.6 * before);
  std::printf("scan.pdf %.0f bytes, small.pdf %.0f bytes (%.1f %%)\n", before, after,
              100 * after / before);
  EXPECT_TRUE(tools_.Checks(InRoot("small.pdf")));
  EXPECT_TRUE(tools_.Linearized(InRoot("small.pdf")));
  // The two pages showed the same image: both now show one JPEG object.
  std::string listing = Tool(PDFIMAGES_PROGRAM, {"-list", InRoot("small.pdf")});
  EXPECT_EQ(Text(run.answer, "imagesRecompressed"), "2");
  // The image and the pages' content streams.
  EXPECT_EQ(Text(run.answer, "streamsShared"), "2");
  std::istringstream rows(listing);
  std::set<std::string> objects;
  int jpegs = 0;
  for (std::string line; std::getline(rows, line);) {
    std::istringstream fields(line);
    std::vector<std::string> row{std::istream_iterator<std::string>(fields), {}};
    if (row.size() > 10 && row[2] == "image") {
      jpegs += row[8] == "jpeg";
      objects.insert(row[10]);
    }
  }
  EXPECT_EQ(jpegs, 2) << listing;
  EXPECT_EQ(objects.size(), 1u) << listing;
  // The picture is still the picture.
  Picture drawn = Rendered("small.pdf", 1, 30);
  Picture original = Rendered("scan.pdf", 1, 30);
  ASSERT_EQ(drawn.pixels.size(), original.pixels.size());
  double difference = 0;
  for (std::size_t i = 0; i < drawn.pixels.size(); ++i)
    difference += std::abs(drawn.pixels[i] - original.pixels[i]);
  EXPECT_LT(difference / static_cast<double>(drawn.pixels.size()), 4);

  // A file compression cannot shrink is copied unchanged, unless a larger one is allowed.
  Run same = RunProcessor("pdf-compress", Dict({{"file", "three.pdf"}, {"output", "same.pdf"}}));
  ASSERT_EQ(same.exitCode, 0) << Show(same.answer);
  EXPECT_EQ(Text(same.answer, "copied"), "true");
  EXPECT_EQ(vtps_test::ReadFile(InRoot("same.pdf")), vtps_test::ReadFile(InRoot("three.pdf")));
  Run larger = RunProcessor(
      "pdf-compress",
      Dict({{"file", "three.pdf"}, {"output", "larger.pdf"}, {"allowLarger", "true"}}));
  ASSERT_EQ(larger.exitCode, 0) << Show(larger.answer);
  EXPECT_EQ(Text(larger.answer, "copied"), "false");
  EXPECT_TRUE(tools_.Linearized(InRoot("larger.pdf")));

  // Decoding the images is bounded like any other image work.
  Run limited = RunProcessor("pdf-compress", Dict({{"file", "scan.pdf"}, {"output", "x.pdf"}}),
                             {{"VTPS_PDF_MAX_IMAGE_BYTES", "1000000"}});
  EXPECT_EQ(limited.exitCode, 1);
  EXPECT_THAT(Text(limited.answer, "error"), HasSubstr("(VTPS_PDF_MAX_IMAGE_BYTES)"));
  EXPECT_FALSE(fs::exists(InRoot("x.pdf")));
  // An image with a soft mask, and the mask itself, keep their lossless data.
  Picture small = Photo(100, 100);
  std::vector<unsigned char> rgba;
  for (std::size_t i = 0; i < small.pixels.size(); i += 3)
    rgba.insert(rgba.end(),
                {small.pixels[i], small.pixels[i + 1], small.pixels[i + 2], small.pixels[i + 1]});
  WritePng(InRoot("masked.png"), 100, 100, PNG_FORMAT_RGBA, rgba.data());
  Run masked = RunProcessor("pdf-from-images",
                            Dict({{"images", Array({"masked.png"})}, {"output", "masked.pdf"}}));
  ASSERT_EQ(masked.exitCode, 0) << Show(masked.answer);
  Run kept = RunProcessor("pdf-compress", Dict({{"file", "masked.pdf"},
                                                {"output", "masked-small.pdf"},
                                                {"minImageSize", "0"},
                                                {"allowLarger", "true"}}));
  ASSERT_EQ(kept.exitCode, 0) << Show(kept.answer);
  EXPECT_EQ(Text(kept.answer, "imagesRecompressed"), "0");
  EXPECT_THAT(Tool(PDFIMAGES_PROGRAM, {"-list", InRoot("masked-small.pdf")}),
              ::testing::Not(HasSubstr("jpeg")));

  Run quality = RunProcessor(
      "pdf-compress", Dict({{"file", "three.pdf"}, {"output", "x.pdf"}, {"imageQuality", "0"}}));
  EXPECT_THAT(Text(quality.answer, "error"), HasSubstr("parameter \"imageQuality\" is \"0\""));
}

TEST_F(PdfScan, CompressStoresTextScansInFewBitsAndKeepsTheirLook) {
  WriteTextPage(InRoot("typed.pdf"));
  // A 300 dpi grey scan (DeviceGray, Flate) and a 150 dpi RGB render wrapped by
  // pdf-from-images.
  Picture scan = Rendered("typed.pdf", 1, 300);
  ASSERT_EQ(scan.width, 2550);
  WriteImagePage(InRoot("grey-scan.pdf"), {{2550, 3300, "/DeviceGray", Channel(scan, 0)}},
                 "q 612 0 0 792 0 0 cm /Im1 Do Q");
  Run render = RunProcessor(
      "pdf-render", Dict({{"file", "typed.pdf"}, {"dpi", "150"}, {"output", "typed-%d.png"}}));
  ASSERT_EQ(render.exitCode, 0) << Show(render.answer);
  Run wrap = RunProcessor("pdf-from-images", Dict({{"images", Array({"typed-1.png"})},
                                                   {"pageSize", "Letter"},
                                                   {"output", "rgb-render.pdf"}}));
  ASSERT_EQ(wrap.exitCode, 0) << Show(wrap.answer);

  // The scan is nearly black and white at 300 dpi: 1 bit. At 150 dpi one bit would make the
  // type jagged: 16 greys keep its anti-aliasing.
  struct Case {
    const char* file;
    int dpi;
    const char* madeGrey;
    const char* bits;
    double difference;  // the largest mean difference allowed, of 255
  };
  const Case cases[] = {{"grey-scan.pdf", 300, "0", "1", 2.5},
                        {"rgb-render.pdf", 150, "1", "4", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string output = std::string("small-") + c.file;
    Run run = RunProcessor("pdf-compress", Dict({{"file", c.file}, {"output", output}}));
    ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
    EXPECT_EQ(Text(run.answer, "imagesMadeBilevel"), c.bits == std::string("1") ? "1" : "0");
    EXPECT_EQ(Text(run.answer, "imagesMadeFourBit"), c.bits == std::string("4") ? "1" : "0");
    EXPECT_EQ(Text(run.answer, "imagesMadeGrey"), c.madeGrey);
    EXPECT_EQ(Text(run.answer, "imagesDownsampled"), "0");
    double before = static_cast<double>(fs::file_size(InRoot(c.file)));
    double after = static_cast<double>(fs::file_size(InRoot(output)));
    std::printf("%s %.0f bytes, %s %.0f bytes (%.1f %%)\n", c.file, before, output.c_str(), after,
                100 * after / before);
    EXPECT_LE(after, 0.1 * before);
    EXPECT_TRUE(tools_.Checks(InRoot(output)));
    std::vector<std::vector<std::string>> rows =
        ImageRows(Tool(PDFIMAGES_PROGRAM, {"-list", InRoot(output)}));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][5] + " " + rows[0][7], std::string("gray ") + c.bits);
    // Drawn at the image's resolution, the page looks as it did: only the grey edges of the
    // strokes became black or white, or the nearest of 16 greys.
    double difference = MeanDifference(Rendered(output, 1, c.dpi), Rendered(c.file, 1, c.dpi));
    std::printf("mean difference %.2f\n", difference);
    EXPECT_LT(difference, c.difference);
  }

  // Without downsampling the scan's resolution still counts: 1 bit.
  Run kept = RunProcessor(
      "pdf-compress", Dict({{"file", "grey-scan.pdf"}, {"output", "kept.pdf"}, {"maxDpi", "0"}}));
  ASSERT_EQ(kept.exitCode, 0) << Show(kept.answer);
  EXPECT_EQ(Text(kept.answer, "imagesMadeBilevel"), "1");
  // Asked not to, the scan keeps its grey levels.
  Run grey =
      RunProcessor("pdf-compress",
                   Dict({{"file", "grey-scan.pdf"}, {"output", "grey.pdf"}, {"bilevel", "never"}}));
  ASSERT_EQ(grey.exitCode, 0) << Show(grey.answer);
  EXPECT_EQ(Text(grey.answer, "imagesMadeBilevel"), "0");
  EXPECT_EQ(Text(grey.answer, "imagesMadeFourBit"), "0");
  EXPECT_EQ(ImageRows(Tool(PDFIMAGES_PROGRAM, {"-list", InRoot("grey.pdf")}))[0][7], "8");
  Run wrong = RunProcessor(
      "pdf-compress", Dict({{"file", "grey-scan.pdf"}, {"output", "x.pdf"}, {"bilevel", "yes"}}));
  EXPECT_EQ(wrong.exitCode, 1);
  EXPECT_THAT(Text(wrong.answer, "error"), HasSubstr("parameter \"bilevel\" is \"yes\""));
  EXPECT_FALSE(fs::exists(InRoot("x.pdf")));
}

TEST_F(PdfScan, CompressDownsamplesToTheLargestDrawnSize) {
  // A grey photograph of 600 x 600 pixels, neither neutral RGB nor black and white.
  Picture photo = Photo(600, 600);
  PdfImage grey{600, 600, "/DeviceGray", Channel(photo, 0)};
  struct Case {
    const char* name;
    std::string content;
    std::map<std::string, std::string> options;
    const char* pixels;  // pdfimages -list: width x height of each image
    const char* downsampled;
  };
  const Case cases[] = {
      // One inch square: 600 dpi, made 300.
      {"600 dpi", "q 72 0 0 72 100 100 cm /Im1 Do Q", {}, "300x300", "1"},
      {"maxDpi 200", "q 72 0 0 72 100 100 cm /Im1 Do Q", {{"maxDpi", "200"}}, "200x200", "1"},
      {"never", "q 72 0 0 72 100 100 cm /Im1 Do Q", {{"maxDpi", "0"}}, "600x600", "0"},
      // Drawn at one inch and at one and a half: the larger use needs 450 pixels.
      {"two sizes",
       "q 72 0 0 72 0 0 cm /Im1 Do Q q 108 0 0 108 200 200 cm /Im1 Do Q",
       {},
       "450x450",
       "1"},
      // Two inches: 300 dpi already.
      {"300 dpi", "q 144 0 0 144 100 100 cm /Im1 Do Q", {}, "600x600", "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteImagePage(InRoot("drawn.pdf"), {grey}, c.content);
    KQ_TDict parameters = Dict({{"file", "drawn.pdf"}, {"output", "small.pdf"}});
    for (const auto& [key, value] : c.options)
      parameters[key] = value;
    Run run = RunProcessor("pdf-compress", parameters);
    ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
    EXPECT_EQ(Text(run.answer, "imagesDownsampled"), c.downsampled);
    EXPECT_EQ(Text(run.answer, "imagesMadeBilevel"), "0");
    EXPECT_EQ(Text(run.answer, "imagesMadeFourBit"), "0");
    std::vector<std::vector<std::string>> rows =
        ImageRows(Tool(PDFIMAGES_PROGRAM, {"-list", InRoot("small.pdf")}));
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows)
      EXPECT_EQ(row[3] + "x" + row[4], c.pixels);
    EXPECT_EQ(rows[0][5] + " " + rows[0][7], "gray 8");
  }
  // The picture downsampled to 300 dpi still looks as it did.
  WriteImagePage(InRoot("drawn.pdf"), {grey}, "q 72 0 0 72 100 100 cm /Im1 Do Q");
  Run run = RunProcessor("pdf-compress", Dict({{"file", "drawn.pdf"}, {"output", "small.pdf"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_LT(MeanDifference(Rendered("small.pdf", 1, 150), Rendered("drawn.pdf", 1, 150)), 2);
}

TEST_F(PdfScan, CompressKeepsColourAndTones) {
  // A colour photo, an RGB image of grey levels with a little scanner noise, and a grey
  // gradient, side by side.
  Picture photo = Photo(400, 400);
  std::vector<unsigned char> neutral;
  for (std::size_t i = 0; i < photo.pixels.size(); i += 3) {
    unsigned char level = photo.pixels[i];
    neutral.insert(neutral.end(), {level, static_cast<unsigned char>(std::min(255, level + 3)),
                                   static_cast<unsigned char>(std::max(0, level - 2))});
  }
  std::vector<unsigned char> gradient;
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 400; ++x)
      gradient.push_back(static_cast<unsigned char>(x * 255 / 399));
  WriteImagePage(InRoot("tones.pdf"),
                 {{400, 400, "/DeviceRGB", photo.pixels},
                  {400, 400, "/DeviceRGB", neutral},
                  {400, 400, "/DeviceGray", gradient}},
                 "q 144 0 0 144 0 0 cm /Im1 Do Q q 144 0 0 144 200 0 cm /Im2 Do Q "
                 "q 144 0 0 144 400 0 cm /Im3 Do Q");
  Run run = RunProcessor("pdf-compress", Dict({{"file", "tones.pdf"}, {"output", "small.pdf"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_EQ(Text(run.answer, "imagesMadeGrey"), "1");
  EXPECT_EQ(Text(run.answer, "imagesMadeBilevel"), "0");
  EXPECT_EQ(Text(run.answer, "imagesMadeFourBit"), "0");
  std::vector<std::vector<std::string>> rows =
      ImageRows(Tool(PDFIMAGES_PROGRAM, {"-list", InRoot("small.pdf")}));
  ASSERT_EQ(rows.size(), 3u);
  std::vector<std::string> kinds;
  for (const auto& row : rows)
    kinds.push_back(row[5] + " " + row[7]);
  EXPECT_THAT(kinds, ::testing::ElementsAre("rgb 8", "gray 8", "gray 8"));
  EXPECT_LT(MeanDifference(Rendered("small.pdf", 1, 72), Rendered("tones.pdf", 1, 72)), 3);
}

TEST_F(PdfScan, RepairRecoversABrokenCrossReferenceTable) {
  // Bytes inserted after the header move every object away from where the table says.
  std::string whole = vtps_test::ReadFile(InRoot("three.pdf"));
  std::size_t header = whole.find('\n') + 1;
  vtps_test::WriteFile(InRoot("shifted.pdf"), whole.substr(0, header) + "%" + std::string(64, 'x') +
                                                  "\n" + whole.substr(header));
  Run refused = RunProcessor("pdf-info", Dict({{"file", "shifted.pdf"}}));
  EXPECT_EQ(refused.exitCode, 1);
  // The refusal names the way forward.
  EXPECT_THAT(
      Text(refused.answer, "error"),
      ::testing::AllOf(HasSubstr("is damaged"), ::testing::EndsWith("; PdfRepair may recover it")));

  Run run = RunProcessor("pdf-repair", Dict({{"file", "shifted.pdf"}, {"output", "fixed.pdf"}}));
  ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
  EXPECT_EQ(Text(run.answer, "repaired"), "true");
  KQ_TArray problems = AnswerArray(run.answer, "problem");
  ASSERT_GT(problems.Count(), 0u) << Show(run.answer);
  EXPECT_THAT(Show(run.answer), HasSubstr("reconstruct"));
  EXPECT_TRUE(tools_.Checks(InRoot("fixed.pdf")));
  Run info = RunProcessor("pdf-info", Dict({{"file", "fixed.pdf"}}));
  ASSERT_EQ(info.exitCode, 0) << Show(info.answer);
  EXPECT_EQ(Text(info.answer, "pageCount"), "3");
  EXPECT_EQ(tools_.PageText(InRoot("fixed.pdf"), 3), "Page 3");

  // A sound file is copied as it is, with no problem listed.
  Run sound = RunProcessor("pdf-repair", Dict({{"file", "three.pdf"}, {"output", "copy.pdf"}}));
  ASSERT_EQ(sound.exitCode, 0) << Show(sound.answer);
  EXPECT_EQ(Text(sound.answer, "repaired"), "false");
  EXPECT_EQ(AnswerArray(sound.answer, "problem").Count(), 0u);
  EXPECT_EQ(vtps_test::ReadFile(InRoot("copy.pdf")), vtps_test::ReadFile(InRoot("three.pdf")));

  // The other limits still hold, and what is no PDF at all stays refused.
  vtps_test::WriteFile(InRoot("note.pdf"), "just text");
  Run note = RunProcessor("pdf-repair", Dict({{"file", "note.pdf"}, {"output", "n.pdf"}}));
  EXPECT_EQ(note.exitCode, 1);
  EXPECT_THAT(Text(note.answer, "error"), HasSubstr("file \"note.pdf\""));
  Run pages = RunProcessor("pdf-repair", Dict({{"file", "shifted.pdf"}, {"output", "n.pdf"}}),
                           {{"VTPS_PDF_MAX_PAGES", "2"}});
  EXPECT_EQ(pages.exitCode, 1);
  EXPECT_THAT(Text(pages.answer, "error"), HasSubstr("VTPS_PDF_MAX_PAGES"));
  EXPECT_FALSE(fs::exists(InRoot("n.pdf")));
}

}  // namespace

}  // namespace vtps_test
