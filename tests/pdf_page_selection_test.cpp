// What merge, extract and split keep of a document besides its pages: form fields with their
// values, layers with their visibility, page labels and the PDF version, on files the test
// makes with qpdf, read back with qpdf and pdftotext.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageLabelDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/kqtypes/kqtypes.h"
#include "tests/pdf_feature_files.h"
#include "tests/pdf_job.h"
#include "tests/pdf_root_test.h"
#include "tests/support/test_support.h"

namespace vtps_test {

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class PdfPageSelection : public PdfRootTest {
 protected:
  void SetUp() override {
    PdfRootTest::SetUp();
    MakeFeaturePdfs(Root());
  }

  // Writes `name` in the root: `pages` pages, each showing "Page N" in Helvetica, changed
  // by `change` before it is written with at least `version`.
  void Write(const std::string& name, int pages, const std::function<void(QPDF&)>& change,
             const std::string& version = "1.3", int extension = 0) {
    QPDF pdf;
    pdf.emptyPDF();
    QPDFPageDocumentHelper helper(pdf);
    for (int number = 1; number <= pages; ++number) {
      QPDFObjectHandle page = pdf.makeIndirectObject(QPDFObjectHandle::parse(
          "<< /Type /Page /MediaBox [0 0 612 792] /Resources << /Font << /F1 << /Type /Font "
          "/Subtype /Type1 /BaseFont /Helvetica >> >> >> >>"));
      page.replaceKey("/Contents",
                      QPDFObjectHandle::newStream(&pdf, "BT /F1 24 Tf 72 720 Td (Page " +
                                                            std::to_string(number) + ") Tj ET\n"));
      helper.addPage(QPDFPageObjectHelper(page), false);
    }
    change(pdf);
    std::string path = InRoot(name);
    QPDFWriter writer(pdf, path.c_str());
    writer.setMinimumPDFVersion(version, extension);
    writer.write();
  }

  // Runs `program` and expects it to succeed with an output qpdf finds sound.
  void Succeeds(const std::string& program, const KQ_TDict& parameters, const std::string& output) {
    Run run = RunProcessor(program, parameters);
    ASSERT_EQ(run.exitCode, 0) << Show(run.answer);
    EXPECT_TRUE(tools_.Checks(InRoot(output))) << output << " fails qpdf --check";
  }

  // The form fields of `pdf` as "name=value", in the order of the form.
  std::vector<std::string> Fields(const std::string& pdf) {
    QPDF document;
    document.processFile(InRoot(pdf).c_str());
    std::vector<std::string> fields;
    for (QPDFFormFieldObjectHelper field : QPDFAcroFormDocumentHelper(document).getFormFields())
      fields.push_back(field.getFullyQualifiedName() + "=" + field.getValueAsString());
    return fields;
  }
};

TEST_F(PdfPageSelection, FormFieldsKeepTheirValuesAndEachCopyItsOwnName) {
  // form.pdf has one text field "name" holding "Hello form".
  Succeeds("pdf-merge", Dict({{"input", Array({"form.pdf", "form.pdf"})}, {"output", "m.pdf"}}),
           "m.pdf");
  std::vector<std::string> merged = Fields("m.pdf");
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_EQ(merged[0], "name=Hello form");
  EXPECT_THAT(merged[1], HasSubstr("=Hello form"));
  EXPECT_NE(merged[0], merged[1]) << "two fields of one name would share one value";

  Succeeds("pdf-extract", Dict({{"file", "form.pdf"}, {"pages", "1,1"}, {"output", "e.pdf"}}),
           "e.pdf");
  EXPECT_EQ(Fields("e.pdf").size(), 2u);
  Succeeds("pdf-split", Dict({{"file", "form.pdf"}, {"output", "s-%d.pdf"}}), "s-1.pdf");
  EXPECT_EQ(Fields("s-1.pdf"), std::vector<std::string>{"name=Hello form"});
}

TEST_F(PdfPageSelection, PagesWithoutFieldsOfAFormThatAsksForAppearancesAreCopied) {
  // fm.pdf: form.pdf's page (whose form asks for appearances) then three pages without fields.
  Succeeds("pdf-merge", Dict({{"input", Array({"form.pdf", "three.pdf"})}, {"output", "fm.pdf"}}),
           "fm.pdf");
  Succeeds("pdf-extract", Dict({{"file", "fm.pdf"}, {"pages", "2"}, {"output", "e.pdf"}}), "e.pdf");
  EXPECT_TRUE(Fields("e.pdf").empty());
  Succeeds("pdf-split", Dict({{"file", "fm.pdf"}, {"output", "s-%d.pdf"}}), "s-4.pdf");
  EXPECT_EQ(Fields("s-1.pdf"), std::vector<std::string>{"name=Hello form"});
}

TEST_F(PdfPageSelection, HiddenLayersStayHidden) {
  // Each page draws one word in a layer its file hides and one in a layer it shows; the
  // second file hides by its base state, naming only the layer it shows.
  auto layered = [](const char* defaults) {
    return [defaults](QPDF& pdf) {
      QPDFObjectHandle hidden =
          pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /OCG /Name (Hidden layer) >>"));
      QPDFObjectHandle shown =
          pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /OCG /Name (Shown layer) >>"));
      QPDFObjectHandle page = QPDFPageDocumentHelper(pdf).getAllPages()[0].getObjectHandle();
      QPDFObjectHandle properties = QPDFObjectHandle::newDictionary();
      properties.replaceKey("/Hid", hidden);
      properties.replaceKey("/Sho", shown);
      page.getKey("/Resources").replaceKey("/Properties", properties);
      page.replaceKey(
          "/Contents",
          QPDFObjectHandle::newStream(&pdf,
                                      "/OC /Hid BDC BT /F1 24 Tf 72 700 Td (Secret) Tj ET EMC "
                                      "/OC /Sho BDC BT /F1 24 Tf 72 600 Td (Visible) Tj ET EMC\n"));
      QPDFObjectHandle configuration = QPDFObjectHandle::parse(defaults);
      configuration.replaceKey(
          configuration.hasKey("/OFF") ? "/OFF" : "/ON",
          QPDFObjectHandle::newArray({configuration.hasKey("/OFF") ? hidden : shown}));
      QPDFObjectHandle content = QPDFObjectHandle::newDictionary();
      content.replaceKey("/OCGs", QPDFObjectHandle::newArray({hidden, shown}));
      content.replaceKey("/D", configuration);
      pdf.getRoot().replaceKey("/OCProperties", content);
    };
  };
  Write("off.pdf", 1, layered("<< /OFF [] /Order [] >>"));
  Write("base.pdf", 1, layered("<< /BaseState /OFF /ON [] >>"));
  // pdftotext honours a document's layers: the hidden word is not in the input's text.
  ASSERT_THAT(Tool(PDFTOTEXT_PROGRAM, {InRoot("off.pdf"), "-"}), Not(HasSubstr("Secret")));

  Succeeds("pdf-merge", Dict({{"input", Array({"off.pdf", "base.pdf"})}, {"output", "m.pdf"}}),
           "m.pdf");
  std::string text = Tool(PDFTOTEXT_PROGRAM, {InRoot("m.pdf"), "-"});
  EXPECT_THAT(text, Not(HasSubstr("Secret")));
  EXPECT_NE(text.find("Visible"), text.rfind("Visible")) << "both pages show their word";
  Succeeds("pdf-extract", Dict({{"file", "base.pdf"}, {"pages", "1"}, {"output", "e.pdf"}}),
           "e.pdf");
  EXPECT_THAT(Tool(PDFTOTEXT_PROGRAM, {InRoot("e.pdf"), "-"}), Not(HasSubstr("Secret")));
}

TEST_F(PdfPageSelection, PagesKeepTheirLabels) {
  // i, ii, then 1, 2.
  Write("labels.pdf", 4, [](QPDF& pdf) {
    pdf.getRoot().replaceKey("/PageLabels",
                             QPDFObjectHandle::parse("<< /Nums [0 << /S /r >> 2 << /S /D >>] >>"));
  });
  auto labels = [this](const std::string& name) {
    QPDF document;
    document.processFile(InRoot(name).c_str());
    QPDFPageLabelDocumentHelper helper(document);
    std::vector<std::string> shown;
    for (long long page = 0;
         page < static_cast<long long>(QPDFPageDocumentHelper(document).getAllPages().size());
         ++page)
      shown.push_back(helper.getLabelForPage(page).unparse());
    return shown;
  };
  Succeeds("pdf-extract", Dict({{"file", "labels.pdf"}, {"pages", "2-3"}, {"output", "e.pdf"}}),
           "e.pdf");
  EXPECT_EQ(labels("e.pdf"), (std::vector<std::string>{"<< /S /r /St 2 >>", "<< /S /D /St 1 >>"}));
  // Pages of a file without labels keep their numbers after labelled ones.
  Succeeds("pdf-merge", Dict({{"input", Array({"labels.pdf", "three.pdf"})}, {"output", "m.pdf"}}),
           "m.pdf");
  std::vector<std::string> merged = labels("m.pdf");
  ASSERT_EQ(merged.size(), 7u);
  EXPECT_EQ(merged[1], "<< /S /r /St 2 >>");
  EXPECT_EQ(merged[3], "<< /S /D /St 2 >>");
  EXPECT_EQ(merged[4], "<< /S /D /St 1 >>");
}

TEST_F(PdfPageSelection, TheOutputIsOfTheHighestVersionOfItsInputs) {
  Write(
      "v14.pdf", 1, [](QPDF&) {}, "1.4");
  Write(
      "v17.pdf", 1, [](QPDF&) {}, "1.7", 3);
  auto version = [this](const std::string& name) {
    QPDF document;
    document.processFile(InRoot(name).c_str());
    std::string text;
    int extension = 0;
    document.getVersionAsPDFVersion().getVersion(text, extension);
    return text + "/" + std::to_string(extension);
  };
  ASSERT_EQ(version("v17.pdf"), "1.7/3");
  Succeeds("pdf-merge", Dict({{"input", Array({"v14.pdf", "v17.pdf"})}, {"output", "m.pdf"}}),
           "m.pdf");
  EXPECT_EQ(version("m.pdf"), "1.7/3");
  Succeeds("pdf-extract", Dict({{"file", "v14.pdf"}, {"pages", "1"}, {"output", "e.pdf"}}),
           "e.pdf");
  EXPECT_EQ(version("e.pdf"), "1.4/0");
}

}  // namespace

}  // namespace vtps_test
