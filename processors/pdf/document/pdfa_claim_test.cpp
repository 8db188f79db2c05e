#include "processors/pdf/document/pdfa_claim.h"

#include <gtest/gtest.h>

namespace pdf::document {
namespace {

TEST(PdfaClaim, IsReadFromElementsOrAttributesUnderAnyPrefix) {
  struct Case {
    const char* name;
    std::string packet;
    std::string claim;  // "" when none
  } cases[] = {
      {"elements, as LibreOffice writes them",
       R"(<rdf:Description xmlns:pdfaid="http://www.aiim.org/pdfa/ns/id/">)"
       R"(<pdfaid:part>1</pdfaid:part><pdfaid:conformance>A</pdfaid:conformance>)",
       "PDF/A-1a"},
      {"attributes, as Acrobat writes them",
       R"(<rdf:Description xmlns:pdfaid="http://www.aiim.org/pdfa/ns/id/" pdfaid:part="2" )"
       R"(pdfaid:conformance="B"/>)",
       "PDF/A-2b"},
      {"another prefix, single quotes and spaces",
       R"(<rdf:Description xmlns:id = 'http://www.aiim.org/pdfa/ns/id/' id:part = '3' )"
       R"(id:conformance='U'/>)",
       "PDF/A-3u"},
      {"the part padded with white space",
       R"(<pdfaid:part> 2 </pdfaid:part><pdfaid:conformance>B</pdfaid:conformance>)", "PDF/A-2b"},
      {"a part without conformance", R"(<pdfaid:part>4</pdfaid:part>)", "PDF/A-4"},
      {"no claim", R"(<rdf:Description><dc:title>A</dc:title></rdf:Description>)", ""},
      {"a part that is no number", R"(<pdfaid:part>one</pdfaid:part>)", ""},
      {"a name that only ends like the part", R"(<rdf:Description xpdfaid:part="1"/>)", ""},
      {"an element holding markup", R"(<pdfaid:part><x/>1</pdfaid:part>)", ""},
  };
  for (const Case& test : cases) {
    std::optional<PdfaClaim> claim = FindPdfaClaim(test.packet);
    EXPECT_EQ(claim ? claim->Name() : "", test.claim) << test.name;
  }
}

TEST(PdfaClaim, DatesAreStampedWhereThePacketHasThem) {
  const std::string now = "2026-12-11T09:30:00Z";
  std::string packet =
      R"(<rdf:Description xmlns:xmp="http://ns.adobe.com/xap/1.0/" xmp:MetadataDate="2001-01-01">)"
      R"(<xmp:CreateDate>2000-01-01T00:00:00Z</xmp:CreateDate>)"
      R"(<xmp:ModifyDate>2000-02-02T00:00:00Z</xmp:ModifyDate></rdf:Description>)";
  EXPECT_EQ(WithXmpDates(packet, now, true),
            R"(<rdf:Description xmlns:xmp="http://ns.adobe.com/xap/1.0/" )"
            R"(xmp:MetadataDate="2026-12-11T09:30:00Z">)"
            R"(<xmp:CreateDate>2000-01-01T00:00:00Z</xmp:CreateDate>)"
            R"(<xmp:ModifyDate>2026-12-11T09:30:00Z</xmp:ModifyDate></rdf:Description>)");
  // A modification date the caller set stays; the metadata date still moves.
  std::string kept = WithXmpDates(packet, now, false);
  EXPECT_NE(kept.find("<xmp:ModifyDate>2000-02-02T00:00:00Z</xmp:ModifyDate>"), std::string::npos);
  EXPECT_NE(kept.find(R"(xmp:MetadataDate="2026-12-11T09:30:00Z")"), std::string::npos);
  // Another prefix for the namespace; nothing added where the packet has no dates.
  std::string other = R"(<d xmlns:b="http://ns.adobe.com/xap/1.0/"><b:ModifyDate>x</b:ModifyDate>)";
  EXPECT_EQ(
      WithXmpDates(other, now, true),
      R"(<d xmlns:b="http://ns.adobe.com/xap/1.0/"><b:ModifyDate>2026-12-11T09:30:00Z</b:ModifyDate>)");
  EXPECT_EQ(WithXmpDates("<d><dc:title>A</dc:title></d>", now, true),
            "<d><dc:title>A</dc:title></d>");
}

TEST(PdfaClaim, NowIsIsoInUtc) {
  std::string now = UtcNow();
  ASSERT_EQ(now.size(), 20u) << now;
  EXPECT_EQ(now.substr(0, 2), "20");
  EXPECT_EQ(now[4], '-');
  EXPECT_EQ(now[10], 'T');
  EXPECT_EQ(now[19], 'Z');
}

}  // namespace
}  // namespace pdf::document
