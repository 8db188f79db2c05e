#include "processors/pdf/text/pdf_date.h"

#include <gtest/gtest.h>

namespace pdf::text {

namespace {

TEST(PdfDate, IsoBecomesAPdfDateAndBack) {
  struct Case {
    const char* iso;
    const char* pdf;
    const char* back;  // the ISO form the PDF date reads back as
  };
  const Case cases[] = {
      {"2026-12-09T14:30:05+01:00", "D:20261209143005+01'00'", "2026-12-09T14:30:05+01:00"},
      {"2026-12-09T14:30:05Z", "D:20261209143005Z", "2026-12-09T14:30:05Z"},
      {"2026-12-09T14:30:05.250-05:30", "D:20261209143005-05'30'", "2026-12-09T14:30:05-05:30"},
      {"2026-12-09T14:30", "D:202612091430", "2026-12-09T14:30"},
      {"2026-12-09", "D:20261209", "2026-12-09"},
      {"2026-12", "D:202612", "2026-12"},
      {"2024", "D:2024", "2024"},
      {"2024-02-29t00:00:00z", "D:20240229000000Z", "2024-02-29T00:00:00Z"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsoToPdfDate(c.iso).value_or("(none)"), c.pdf) << c.iso;
    EXPECT_EQ(PdfDateToIso(c.pdf).value_or("(none)"), c.back) << c.pdf;
    EXPECT_EQ(NormalizedIsoDate(c.iso).value_or("(none)"), c.back) << c.iso;
  }
}

TEST(PdfDate, RefusesWhatIsNoDate) {
  for (const char* iso :
       {"", "26-12-09", "2026-13-01", "2025-02-29", "2026-12-09T14", "2026-12-09T24:00",
        "2026-12-09T14:60", "2026-12-09 14:30", "2026-12-09T14:30+1:00", "2026-12-09T14:30:00.",
        "2026-12-09T14:30:00+01:00x", "tomorrow", "2026-12-09Z"})
    EXPECT_FALSE(IsoToPdfDate(iso)) << iso;
  for (const char* pdf : {"", "D:", "D:20261", "D:20261309", "D:20261209146000", "D:2026x",
                          "D:20261209143000+", "D:20261209143000+01'99'"})
    EXPECT_FALSE(PdfDateToIso(pdf)) << pdf;
}

TEST(PdfDate, ReadsPdfDatesAsWritersLeaveThem) {
  // Without "D:", with the zone's apostrophes left out, with an hour but no minutes.
  EXPECT_EQ(PdfDateToIso("20261209143005+0100").value_or(""), "2026-12-09T14:30:05+01:00");
  EXPECT_EQ(PdfDateToIso("D:20261209143005Z00'00'").value_or(""), "2026-12-09T14:30:05Z");
  EXPECT_EQ(PdfDateToIso("D:2026120914").value_or(""), "2026-12-09");
  EXPECT_EQ(PdfDateToIso("D:20261209143005-08'").value_or(""), "2026-12-09T14:30:05-08:00");
}

}  // namespace

}  // namespace pdf::text
