#include "processors/pdf/document/qpdf_warning.h"

#include <gtest/gtest.h>

namespace pdf::document {

namespace {

TEST(ClassifyWarnings, TellsRepairsFromLossAndMemory) {
  struct Case {
    std::vector<std::string> messages;
    std::vector<WarningKind> kinds;
  };
  using K = WarningKind;
  const Case cases[] = {
      {{"a.pdf, object 2 0 at offset 74: kid 2 (from 0) appears more than once in the pages "
        "tree; creating a new page object as a copy"},
       {K::kRecovered}},
      {{"a.pdf (object 3 0): kid 0 (from 0) is direct; converting to indirect"}, {K::kRecovered}},
      {{"a.pdf (object 4 0): /Type key should be /Page but is not; overriding"}, {K::kRecovered}},
      {{"a.pdf (offset 10): dictionary has duplicated key /A; last occurrence overrides earlier "
        "ones"},
       {K::kRecovered}},
      {{"a.pdf (offset 274): input stream is complete but output may still be valid"},
       {K::kRecovered}},
      {{"a.pdf (object 6 0, offset 555): expected endstream"}, {K::kDataLost}},
      {{"a.pdf (offset 9): loop detected resolving object 5 0"}, {K::kDataLost}},
      {{"a.pdf: object 7/0: error reading object: something"}, {K::kDataLost}},
      // A decoding error is a loss unless qpdf says the stream is copied unfiltered.
      {{"a.pdf (object 8 0): error decoding stream data for object 8 0: bad data"}, {K::kDataLost}},
      {{"a.pdf (object 8 0): error decoding stream data for object 8 0: bad data",
        "a.pdf (object 8 0): stream will be re-processed without filtering to avoid data loss"},
       {K::kRecovered, K::kRecovered}},
      {{"a.pdf (object 8 0): error decoding stream data for object 8 0: std::bad_alloc",
        "a.pdf (object 8 0): stream will be re-processed without filtering to avoid data loss"},
       {K::kOutOfMemory, K::kRecovered}},
      // zlib reports an allocation it could not make as its own "memory error".
      {{"a.pdf (offset 275): error decoding stream data for object 4 0: stream inflate: "
        "inflate: data: zlib memory error"},
       {K::kOutOfMemory}},
      // The same dictionary fault in a content stream, which qpdf writes as it is, and in
      // an object of the file, which it would write with a stand-in key.
      {{"page object 664 0 stream 665 0 (content, offset 867): expected dictionary key but "
        "found non-name object; inserting key /QPDFFake1"},
       {K::kRecovered}},
      {{"a.pdf (object 9 0, offset 120): expected dictionary key but found non-name object; "
        "inserting key /QPDFFake1"},
       {K::kDataLost}},
      {{"a.pdf object stream 612, object 664 0 at offset 3916: Bad token found while scanning "
        "content stream; not attempting to remove unreferenced objects from this object"},
       {K::kRecovered}},
      // Form field trees qpdf reads through.
      {{"a.pdf, object 6 0 at offset 475: this widget annotation is not reachable from "
        "/AcroForm in the document catalog",
        "a.pdf, object 1 0 at offset 78: encountered a direct object as a field or annotation "
        "while traversing /AcroForm; ignoring field or annotation",
        "a.pdf, object 8 0 at offset 781: loop detected while traversing /AcroForm"},
       {K::kRecovered, K::kRecovered, K::kRecovered}},
      {{}, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ClassifyWarnings(c.messages), c.kinds)
        << (c.messages.empty() ? "" : c.messages.front());
}

// Content that does not parse is damage in a document read, where the run's own measuring
// of what pages draw parses it, and none in one assembled from copied pages.
TEST(ClassifyWarnings, ContentParseErrorsLoseNothingOnlyInAssembledDocuments) {
  std::vector<std::string> parse = {
      "object 20 0 stream 20 0 (content, offset 18): parse error while reading object"};
  EXPECT_EQ(ClassifyWarnings(parse, WarnedDocument::kRead),
            std::vector<WarningKind>{WarningKind::kDataLost});
  EXPECT_EQ(ClassifyWarnings(parse, WarnedDocument::kAssembled),
            std::vector<WarningKind>{WarningKind::kRecovered});
  std::vector<std::string> lost = {"a.pdf (object 6 0, offset 555): expected endstream"};
  EXPECT_EQ(ClassifyWarnings(lost, WarnedDocument::kAssembled),
            std::vector<WarningKind>{WarningKind::kDataLost});
}

}  // namespace

}  // namespace pdf::document
