#include "processors/pdf/editing/drawn_image_sizes.h"

#include <gtest/gtest.h>

#include "processors/pdf/samples/raw_pdf.h"

namespace pdf::editing {

namespace {

using samples::Ref;
using samples::Stream;

// Object 3 is the image /Im1 (10 x 10 grey) that every page's resources hold.
const QPDFObjGen kImage(3, 0);
const char* const kImageBody =
    "<< /Type /XObject /Subtype /Image /Width 10 /Height 10 /ColorSpace /DeviceGray "
    "/BitsPerComponent 8 /Length 0 >>\nstream\n\nendstream";

// A PDF of one page drawing `content`, whose resources hold /Im1 and `resources`, and whose
// page dictionary holds `pageEntries`; `objects` are numbered from 4 in order.
DrawnImages Measure(const std::string& content, const std::string& resources = "",
                    const std::vector<std::string>& objects = {},
                    const std::string& pageEntries = "", const DrawnImageLimits& limits = {}) {
  samples::RawPdf raw;
  raw.Add("<< /Type /Catalog /Pages 2 0 R >>");
  int tree = raw.Reserve();
  raw.Add(kImageBody);
  for (const std::string& object : objects)
    raw.Add(object);
  int stream = raw.Add(Stream(content));
  int page = raw.Add(
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << "
      "/XObject << /Im1 3 0 R >> " +
      resources + " >> /Contents " + Ref(stream) + " " + pageEntries + " >>");
  raw.Set(tree, "<< /Type /Pages /Kids [" + Ref(page) + "] /Count 1 >>");
  std::string text = raw.Text();
  QPDF pdf;
  pdf.setSuppressWarnings(true);
  pdf.processMemoryFile("test.pdf", text.data(), text.size());
  return MeasureDrawnImages(pdf, limits);
}

// A form XObject drawing `content` with `entries` (its /Matrix, /Resources) added.
std::string Form(const std::string& content, const std::string& entries) {
  return Stream(content, "/Type /XObject /Subtype /Form /BBox [0 0 1000 1000] " + entries);
}

const std::string kFormResources = "/Resources << /XObject << /Im1 3 0 R >> >>";

TEST(MeasureDrawnImages, FollowsTheMatrixToEachDo) {
  struct Case {
    const char* name;
    DrawnImages measured;
    double width, height;
  };
  const Case cases[] = {
      {"scaled", Measure("q 100 0 0 50 10 10 cm /Im1 Do Q"), 100, 50},
      {"turned", Measure("q 0 72 -144 0 300 0 cm /Im1 Do Q"), 72, 144},
      // A later cm applies before the earlier ones: scaled, then turned (the other order
      // would swap the sides).
      {"matrices in order", Measure("0 1 -1 0 0 0 cm 100 0 0 50 0 0 cm /Im1 Do"), 100, 50},
      // Q takes back what q saved: the image is drawn at 10, not 20.
      {"Q restores", Measure("q 2 0 0 2 0 0 cm Q 10 0 0 10 0 0 cm /Im1 Do"), 10, 10},
      {"nested q", Measure("q 2 0 0 2 0 0 cm q 10 0 0 10 0 0 cm /Im1 Do Q /Im1 Do Q /Im1 Do"), 20,
       20},
      {"unbalanced Q ignored", Measure("Q Q 30 0 0 30 0 0 cm /Im1 Do"), 30, 30},
      // Drawn wide once and tall once: each side keeps its largest use.
      {"largest use per side",
       Measure("q 50 0 0 300 0 0 cm /Im1 Do Q q 200 0 0 100 0 0 cm /Im1 Do Q"), 200, 300},
      {"form matrix",
       Measure("q 1 0 0 1 50 50 cm /Fm1 Do Q", "/XObject << /Im1 3 0 R /Fm1 4 0 R >>",
               {Form("q 30 0 0 30 0 0 cm /Im1 Do Q", "/Matrix [2 0 0 2 0 0] " + kFormResources)}),
       60, 60},
      // The form's matrix applies before the page's: turned, then scaled.
      {"form matrix in order",
       Measure("100 0 0 50 0 0 cm /Fm1 Do", "/XObject << /Im1 3 0 R /Fm1 4 0 R >>",
               {Form("/Im1 Do", "/Matrix [0 1 -1 0 0 0] " + kFormResources)}),
       50, 100},
      {"form in a form",
       Measure("3 0 0 3 0 0 cm /Fm1 Do", "/XObject << /Im1 3 0 R /Fm1 4 0 R >>",
               {Form("/Fm2 Do", "/Resources << /XObject << /Fm2 5 0 R >> >>"),
                Form("q 10 0 0 20 0 0 cm /Im1 Do Q", "/Matrix [2 0 0 1 0 0] " + kFormResources)}),
       60, 60},
      // A form without resources of its own takes the page's; q/Q inside it do not leak.
      {"form without resources",
       Measure("/Fm1 Do /Im1 Do", "/XObject << /Im1 3 0 R /Fm1 4 0 R >>",
               {Form("q 40 0 0 40 0 0 cm /Im1 Do Q", "")}),
       40, 40},
      {"user unit", Measure("q 100 0 0 50 0 0 cm /Im1 Do Q", "", {}, "/UserUnit 2"), 200, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.measured.sizes.count(kImage), 1u);
    EXPECT_DOUBLE_EQ(c.measured.sizes.at(kImage).width, c.width);
    EXPECT_DOUBLE_EQ(c.measured.sizes.at(kImage).height, c.height);
    EXPECT_EQ(c.measured.unplaced.count(kImage), 0u);
  }
}

TEST(MeasureDrawnImages, UnplacesWhatItCannotFollow) {
  std::string drawn = "q 100 0 0 100 0 0 cm /Im1 Do Q ";
  struct Case {
    const char* name;
    DrawnImages measured;
  };
  const Case cases[] = {
      {"a pattern draws it",
       Measure(drawn, "/Pattern << /P1 4 0 R >>",
               {Stream("/Im1 Do",
                       "/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] "
                       "/XStep 10 /YStep 10 /Resources << /XObject << /Im1 3 0 R >> >>")})},
      {"an annotation draws it",
       Measure(drawn, "",
               {"<< /Type /Annot /Subtype /Stamp /Rect [0 0 10 10] /AP << /N 5 0 R >> >>",
                Form("/Im1 Do", kFormResources)},
               "/Annots [4 0 R]")},
      {"a malformed cm", Measure("q 100 0 cm /Im1 Do Q")},
      {"content that fails to parse", Measure(drawn + "(unterminated")},
      {"a form within itself",
       Measure("/Fm1 Do", "/XObject << /Im1 3 0 R /Fm1 4 0 R >>",
               {Form("/Im1 Do /Fm1 Do", "/Resources << /XObject << /Im1 3 0 R /Fm1 4 0 R >> >>")})},
      {"forms nested past the bound",
       Measure("/Fm1 Do", "/XObject << /Im1 3 0 R /Fm1 4 0 R >>",
               {Form("/Fm2 Do", "/Resources << /XObject << /Fm2 5 0 R >> >>"),
                Form("/Im1 Do", kFormResources)},
               "", DrawnImageLimits{1, 1 << 20})},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.measured.unplaced.count(kImage), 1u) << c.name;

  // Past the content budget no size is known at all; a form counts each time it is drawn.
  DrawnImages exhausted = Measure(drawn, "", {}, "", DrawnImageLimits{16, 10});
  EXPECT_TRUE(exhausted.sizes.empty());
  std::string form = Form("q 10 0 0 10 0 0 cm /Im1 Do Q" + std::string(100, ' '), kFormResources);
  std::string page = drawn;
  for (int i = 0; i < 10; ++i)
    page += "/Fm1 Do ";
  DrawnImages once =
      Measure(page, "/XObject << /Im1 3 0 R /Fm1 4 0 R >>", {form}, "", DrawnImageLimits{16, 1500});
  EXPECT_EQ(once.sizes.count(kImage), 1u);
  DrawnImages repeated =
      Measure(page, "/XObject << /Im1 3 0 R /Fm1 4 0 R >>", {form}, "", DrawnImageLimits{16, 800});
  EXPECT_TRUE(repeated.sizes.empty());
  // An image in the resources that nothing draws has no size and is not unplaced.
  DrawnImages unused = Measure("0 0 m 10 10 l S");
  EXPECT_TRUE(unused.sizes.empty());
  EXPECT_TRUE(unused.unplaced.empty());
}

}  // namespace

}  // namespace pdf::editing
