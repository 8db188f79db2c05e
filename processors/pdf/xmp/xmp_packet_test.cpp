#include "processors/pdf/xmp/xmp_packet.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::xmp {

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Properties = std::vector<std::pair<std::string, std::string>>;

// A packet as writers leave them: properties as elements and as attributes, the xpacket
// wrapper, "dc" bound to its usual URI.
const std::string kPacket =
    "<?xpacket begin=\"\xef\xbb\xbf\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
    " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
    "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
    "   <dc:title><rdf:Alt><rdf:li xml:lang=\"fr\">Rapport</rdf:li>"
    "<rdf:li xml:lang=\"x-default\">Report</rdf:li></rdf:Alt></dc:title>\n"
    "   <dc:creator><rdf:Seq><rdf:li>Ann</rdf:li><rdf:li>Bo</rdf:li></rdf:Seq></dc:creator>\n"
    "  </rdf:Description>\n"
    "  <rdf:Description rdf:about=\"\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\"\n"
    "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" pdf:Producer=\"qpdf\"\n"
    "    xmp:CreateDate=\"2020-01-02T03:04:05Z\"/>\n"
    " </rdf:RDF>\n"
    "</x:xmpmeta>\n"
    "<?xpacket end=\"w\"?>";

TEST(XmpPacket, ReadsElementsAttributesAndContainers) {
  EXPECT_EQ(ReadXmpProperties(kPacket), (Properties{{"title", "Report"},
                                                    {"creator", "Ann; Bo"},
                                                    {"producer", "qpdf"},
                                                    {"createDate", "2020-01-02T03:04:05Z"}}));
}

TEST(XmpPacket, UpdatesEveryFormOfAPropertyAndKeepsTheRest) {
  std::string updated = UpdateXmp(kPacket, {{"Title", "New <title> & more"},
                                            {"Producer", std::nullopt},
                                            {"Keywords", "alpha, beta; gamma"},
                                            {"CreationDate", ""}});
  EXPECT_EQ(ReadXmpProperties(updated), (Properties{{"title", "New <title> & more"},
                                                    {"creator", "Ann; Bo"},
                                                    {"subject", "alpha; beta; gamma"},
                                                    {"keywords", "alpha, beta; gamma"}}));
  // The other language's title went with the property, the wrapper stayed.
  EXPECT_THAT(updated, Not(HasSubstr("Rapport")));
  EXPECT_THAT(updated, HasSubstr("<?xpacket begin="));
  EXPECT_THAT(updated, HasSubstr("<?xpacket end=\"w\"?>"));
  EXPECT_THAT(updated, Not(HasSubstr("<?xml ")));
}

TEST(XmpPacket, DeclaresNamespacesThePacketLacks) {
  // "pdf" is bound to another URI here, so the new property needs a prefix of its own.
  std::string packet =
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" xmlns:pdf=\"urn:other\">"
      "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/></x:xmpmeta>";
  std::string updated = UpdateXmp(packet, {{"Producer", "VTPS"}, {"ModDate", "2026-12-09"}});
  EXPECT_EQ(ReadXmpProperties(updated),
            (Properties{{"producer", "VTPS"}, {"modifyDate", "2026-12-09"}}));
  EXPECT_THAT(updated, HasSubstr("xmlns:pdf1=\"http://ns.adobe.com/pdf/1.3/\""));
}

TEST(XmpPacket, RefusesPacketsWhoseNamespacesAreNotWellFormed) {
  // "xmp" is never declared (a misspelt xmlns): xmp:ModifyDate is no property, and a new
  // declaration of "xmp" would turn it into one that disagrees with the date just set. A
  // prefix holding a colon makes names other readers split differently.
  for (const char* description :
       {"xllns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmp:ModifyDate=\"2021-05-06\"",
        "xmlns:pdfxmlns:dc=\"http://purl.org/dc/elements/1.1/\""}) {
    std::string packet =
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
        "rdf:about=\"\" " +
        std::string(description) + "/></rdf:RDF>";
    for (auto use : {+[](const std::string& p) { ReadXmpProperties(p); },
                     +[](const std::string& p) {
                       UpdateXmp(p, {{"ModDate", "2026-12-10"}});
                     }}) {
      try {
        use(packet);
        ADD_FAILURE() << "accepted " << description;
      } catch (const PdfError& e) {
        EXPECT_THAT(e.what(), HasSubstr("not well-formed XML")) << description;
      }
    }
  }
}

TEST(XmpPacket, RefusesHostilePackets) {
  std::string deep;
  for (int i = 0; i < 5000; ++i)
    deep += "<a>";
  struct Case {
    std::string packet;
    const char* reason;
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;\">]>"
       "<x>&b;</x>",
       "document type declaration"},
      {"<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">&undefined;</x:xmpmeta>", "not well-formed"},
      {"<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">" + deep,
       "not well-formed"},
      {std::string(kMaxXmpBytes + 1, ' '), "more than 4194304 bytes"},
      {std::string("<\0x\0>\0", 6), "not UTF-8"},
      {"<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>", "no rdf:RDF"},
      {"not xml at all", "not well-formed"},
  };
  for (const Case& c : cases) {
    for (int update = 0; update < 2; ++update) {
      try {
        if (update)
          UpdateXmp(c.packet, {{"Title", "x"}});
        else
          ReadXmpProperties(c.packet);
        ADD_FAILURE() << "accepted: " << c.packet.substr(0, 60);
      } catch (const PdfError& e) {
        EXPECT_THAT(e.what(), HasSubstr(c.reason));
      }
    }
  }
}

}  // namespace

}  // namespace pdf::xmp
