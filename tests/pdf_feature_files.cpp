#include "tests/pdf_feature_files.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFEFStreamObjectHelper.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>
#include <qpdf/QPDFNameTreeObjectHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <filesystem>
#include <functional>

#include "processors/pdf/samples/sample_pdf.h"

namespace vtps_test {

namespace {

namespace fs = std::filesystem;

// Writes a sample document of `pages` pages to `path`, changed by `change` first.
void WriteChanged(const std::string& path, int pages,
                  const std::function<void(QPDF&, std::vector<QPDFPageObjectHelper>&)>& change) {
  std::string plain = path + ".plain";
  pdf::samples::SampleDocument document;
  document.pages = pdf::samples::TextPages(pages);
  pdf::samples::WriteSamplePdf(document, plain);
  QPDF pdf;
  pdf.processFile(plain.c_str());
  std::vector<QPDFPageObjectHelper> pageList = QPDFPageDocumentHelper(pdf).getAllPages();
  change(pdf, pageList);
  QPDFWriter writer(pdf, path.c_str());
  writer.write();
  fs::remove(plain);
}

QPDFObjectHandle Parse(QPDF& pdf, const std::string& text) {
  return pdf.makeIndirectObject(QPDFObjectHandle::parse(&pdf, text));
}

void SetMetadata(QPDF& pdf, const std::string& packet) {
  QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf, packet);
  stream.getDict().replaceKey("/Type", QPDFObjectHandle::newName("/Metadata"));
  stream.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/XML"));
  pdf.getRoot().replaceKey("/Metadata", stream);
}

void Attach(QPDF& pdf, const std::string& key, const std::string& fileName,
            const std::string& content, const std::string& description) {
  QPDFEmbeddedFileDocumentHelper files(pdf);
  auto stream = QPDFEFStreamObjectHelper::createEFStream(pdf, content);
  auto fileSpec = QPDFFileSpecObjectHelper::createFileSpec(pdf, fileName, stream);
  if (!description.empty())
    fileSpec.setDescription(description);
  files.replaceEmbeddedFile(key, fileSpec);
}

QPDFObjectHandle OutlineItem(QPDF& pdf, const std::string& title, QPDFObjectHandle parent) {
  QPDFObjectHandle item = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
  item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(title));
  item.replaceKey("/Parent", parent);
  return item;
}

QPDFObjectHandle Destination(QPDFPageObjectHelper& page) {
  QPDFObjectHandle destination = QPDFObjectHandle::newArray();
  destination.appendItem(page.getObjectHandle());
  destination.appendItem(QPDFObjectHandle::newName("/Fit"));
  return destination;
}

}  // namespace

void MakeFeaturePdfs(const std::string& folder) {
  auto path = [&](const char* name) { return (fs::path(folder) / name).string(); };

  WriteChanged(path("form.pdf"), 1, [](QPDF& pdf, std::vector<QPDFPageObjectHelper>& pages) {
    QPDFObjectHandle font = Parse(
        pdf, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    QPDFObjectHandle field =
        Parse(pdf,
              "<< /FT /Tx /T (name) /V (Hello form) /DA (/Helv 14 Tf 0 g) /Type /Annot "
              "/Subtype /Widget /Rect [72 500 372 530] /F 4 >>");
    field.replaceKey("/P", pages[0].getObjectHandle());
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
    fonts.replaceKey("/Helv", font);
    resources.replaceKey("/Font", fonts);
    QPDFObjectHandle form = QPDFObjectHandle::newDictionary();
    form.replaceKey("/Fields", QPDFObjectHandle::newArray({field}));
    form.replaceKey("/NeedAppearances", QPDFObjectHandle::newBool(true));
    form.replaceKey("/DR", resources);
    form.replaceKey("/DA", QPDFObjectHandle::newString("/Helv 12 Tf 0 g"));
    pdf.getRoot().replaceKey("/AcroForm", form);

    QPDFObjectHandle appearance = QPDFObjectHandle::newStream(
        &pdf, "0 0 1 rg 0 0 100 40 re f BT /F1 18 Tf 0 g 10 12 Td (NOTE) Tj ET\n");
    appearance.replaceDict(
        QPDFObjectHandle::parse("<< /Type /XObject /Subtype /Form /BBox [0 0 100 40] >>"));
    QPDFObjectHandle appearanceFonts = QPDFObjectHandle::newDictionary();
    appearanceFonts.replaceKey("/F1", font);
    QPDFObjectHandle appearanceResources = QPDFObjectHandle::newDictionary();
    appearanceResources.replaceKey("/Font", appearanceFonts);
    appearance.getDict().replaceKey("/Resources", appearanceResources);
    QPDFObjectHandle square =
        Parse(pdf, "<< /Type /Annot /Subtype /Square /Rect [72 300 172 340] /F 4 >>");
    QPDFObjectHandle appearances = QPDFObjectHandle::newDictionary();
    appearances.replaceKey("/N", appearance);
    square.replaceKey("/AP", appearances);
    QPDFObjectHandle link = Parse(
        pdf, "<< /Type /Annot /Subtype /Link /Rect [72 100 172 120] /A << /S /URI /URI (x) >> >>");
    pages[0].getObjectHandle().replaceKey("/Annots",
                                          QPDFObjectHandle::newArray({field, square, link}));
  });

  const std::string rdfOpen =
      "<?xpacket begin=\"\xef\xbb\xbf\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
      "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n";
  const std::string rdfClose = "</rdf:RDF></x:xmpmeta>\n<?xpacket end=\"w\"?>";
  WriteChanged(path("xmp.pdf"), 1, [&](QPDF& pdf, std::vector<QPDFPageObjectHelper>&) {
    QPDFObjectHandle info = Parse(pdf, "<< /Title (Old title) /Author (Ann) >>");
    pdf.getTrailer().replaceKey("/Info", info);
    SetMetadata(pdf, rdfOpen +
                         "<rdf:Description rdf:about=\"\" "
                         "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                         "xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\" pdf:Producer=\"Maker\">\n"
                         "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Old title</rdf:li>"
                         "</rdf:Alt></dc:title>\n"
                         "<dc:creator><rdf:Seq><rdf:li>Ann</rdf:li></rdf:Seq></dc:creator>\n"
                         "</rdf:Description>\n" +
                         rdfClose);
  });
  WriteChanged(path("xmp-entities.pdf"), 1, [&](QPDF& pdf, std::vector<QPDFPageObjectHelper>&) {
    std::string entities = "<!ENTITY a0 \"aaaaaaaaaa\">";
    std::string previous = "a0";
    for (int i = 1; i < 10; ++i) {
      std::string name = "a" + std::to_string(i);
      std::string body;
      for (int j = 0; j < 10; ++j)
        body += "&" + previous + ";";
      entities += "<!ENTITY " + name + " \"" + body + "\">";
      previous = name;
    }
    SetMetadata(pdf, "<?xml version=\"1.0\"?><!DOCTYPE x:xmpmeta [" + entities + "]>" + rdfOpen +
                         "<rdf:Description rdf:about=\"\" "
                         "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>&a9;</dc:title>"
                         "</rdf:Description>" +
                         rdfClose);
  });
  WriteChanged(path("xmp-deep.pdf"), 1, [&](QPDF& pdf, std::vector<QPDFPageObjectHelper>&) {
    std::string deep;
    for (int i = 0; i < 10000; ++i)
      deep += "<d>";
    for (int i = 0; i < 10000; ++i)
      deep += "</d>";
    SetMetadata(
        pdf, rdfOpen + "<rdf:Description rdf:about=\"\">" + deep + "</rdf:Description>" + rdfClose);
  });

  WriteChanged(path("attached.pdf"), 1, [](QPDF& pdf, std::vector<QPDFPageObjectHelper>&) {
    Attach(pdf, "notes", "notes.txt", "hello notes", "The notes");
    Attach(pdf, "evil", "../../evil.txt", "evil", "");
    Attach(pdf, "again", "notes.txt", "second notes", "");
  });

  WriteChanged(path("outline.pdf"), 3, [](QPDF& pdf, std::vector<QPDFPageObjectHelper>& pages) {
    QPDFObjectHandle outlines = Parse(pdf, "<< /Type /Outlines /Count 2 >>");
    QPDFObjectHandle chapter1 = OutlineItem(pdf, "Chapter 1", outlines);
    chapter1.replaceKey("/Dest", Destination(pages[0]));
    QPDFObjectHandle section = OutlineItem(pdf, "Section 1.1", chapter1);
    QPDFObjectHandle action = QPDFObjectHandle::newDictionary();
    action.replaceKey("/S", QPDFObjectHandle::newName("/GoTo"));
    action.replaceKey("/D", Destination(pages[1]));
    section.replaceKey("/A", action);
    chapter1.replaceKey("/First", section);
    chapter1.replaceKey("/Last", section);
    chapter1.replaceKey("/Count", QPDFObjectHandle::newInteger(1));
    QPDFObjectHandle chapter2 = OutlineItem(pdf, "Chapter 2", outlines);
    chapter2.replaceKey("/Dest", QPDFObjectHandle::newString("ch2"));
    chapter1.replaceKey("/Next", chapter2);
    chapter2.replaceKey("/Prev", chapter1);
    outlines.replaceKey("/First", chapter1);
    outlines.replaceKey("/Last", chapter2);
    pdf.getRoot().replaceKey("/Outlines", outlines);
    QPDFObjectHandle names = QPDFObjectHandle::newDictionary();
    QPDFNameTreeObjectHelper tree = QPDFNameTreeObjectHelper::newEmpty(pdf);
    tree.insert("ch2", Destination(pages[2]));
    names.replaceKey("/Dests", tree.getObjectHandle());
    pdf.getRoot().replaceKey("/Names", names);
  });

  WriteChanged(path("outline-loop.pdf"), 3,
               [](QPDF& pdf, std::vector<QPDFPageObjectHelper>& pages) {
                 QPDFObjectHandle outlines = Parse(pdf, "<< /Type /Outlines >>");
                 QPDFObjectHandle first = OutlineItem(pdf, "First", outlines);
                 first.replaceKey("/Dest", Destination(pages[0]));
                 QPDFObjectHandle second = OutlineItem(pdf, "Second", outlines);
                 second.replaceKey("/Dest", Destination(pages[1]));
                 first.replaceKey("/Next", second);
                 second.replaceKey("/Next", first);
                 outlines.replaceKey("/First", first);
                 outlines.replaceKey("/Last", second);
                 pdf.getRoot().replaceKey("/Outlines", outlines);
               });

  WriteChanged(path("outline-deep.pdf"), 1, [](QPDF& pdf, std::vector<QPDFPageObjectHelper>&) {
    QPDFObjectHandle outlines = Parse(pdf, "<< /Type /Outlines >>");
    QPDFObjectHandle parent = outlines;
    for (int level = 1; level <= 100; ++level) {
      QPDFObjectHandle item = OutlineItem(pdf, "Level " + std::to_string(level), parent);
      parent.replaceKey("/First", item);
      parent.replaceKey("/Last", item);
      parent = item;
    }
    pdf.getRoot().replaceKey("/Outlines", outlines);
  });
}

}  // namespace vtps_test
