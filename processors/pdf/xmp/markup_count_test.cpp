#include "processors/pdf/xmp/markup_count.h"

#include <gtest/gtest.h>

namespace pdf::xmp {

namespace {

// What is counted, and what markup that only looks like attributes is skipped.
TEST(CountMarkup, CountsAttributesPerElementAndDeclarationsInTheWholeText) {
  struct Case {
    const char* xml;
    long long mostAttributes;
    long long namespaces;
  };
  const Case cases[] = {
      {"<a x=\"1\" y='2'/><b z=\"3\"></b>", 2, 0},
      {"<a xmlns=\"u\" xmlns:p=\"v\"><p:b xmlns:q=\"w\" q:c=\"1\"/></a>", 2, 3},
      {"<a t=\"> x=1 y=2\" u=\"/\"/>", 2, 0},
      {"<!-- <a x=\"1\" y=\"2\"/> --><b/>", 0, 0},
      {"<a><![CDATA[<b x=\"1\" y=\"2\" xmlns:p=\"u\">]]></a>", 0, 0},
      {"<?xpacket begin=\"\" id=\"W5M0\"?><a x=\"1\"/>", 1, 0},
      {"<a x=\"1\" y=\"2", 2, 0},  // cut short: counted as far as it goes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xml);
    MarkupCount count = CountMarkup(c.xml);
    EXPECT_EQ(count.mostAttributes, c.mostAttributes);
    EXPECT_EQ(count.namespaces, c.namespaces);
  }
}

}  // namespace

}  // namespace pdf::xmp
