// PdfStamp: the first page of another PDF laid over (or under) the selected pages, scaled
// into each page's trim box.
#include <qpdf/QPDFObjectHandle.hh>

#include "processors/pdf/operations.h"
#include "processors/pdf/page_precheck.h"
#include "processors/pdf/page_ranges.h"
#include "processors/pdf/pdf_error.h"

namespace {

// The page's own resource dictionary's "/XObject" dictionary, made where missing. Inherited
// resources are copied onto the page first, so the change stays with this page's tree.
QPDFObjectHandle XObjectsOf(QPDFPageObjectHelper& page, QPDFObjectHandle& resources) {
  resources = page.getAttribute("/Resources", true);
  if (!resources.isDictionary()) {
    resources = QPDFObjectHandle::newDictionary();
    page.getObjectHandle().replaceKey("/Resources", resources);
  }
  QPDFObjectHandle xobjects = resources.getKey("/XObject");
  if (!xobjects.isDictionary()) {
    xobjects = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", xobjects);
  }
  return xobjects;
}

}  // namespace

KQ_TDict PdfStamp(const JobParameters& parameters, OperationContext& context) {
  std::string outputName = parameters.String("output");
  bool under = parameters.Bool("under", false);
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenFileParameter(parameters, context);
  PdfFile stamp = OpenInput(context, parameters.String("stamp"), parameters.Name("stamp"),
                            parameters.OptionalString("stampPassword"));
  std::vector<int> pages = DistinctPages(parameters, input, context);
  // The stamp's page becomes a form whose content is its page's, decoded when written.
  CheckPagesBeforePoppler(stamp.pages, {1}, {context.limits.maxStreamBytes, false, false},
                          stamp.label);
  context.budget.Write(input.PageCount(), outputName);

  QPDF& pdf = *input.pdf;
  try {
    QPDFObjectHandle form = pdf.copyForeignObject(stamp.pages[0].getFormXObjectForPage());
    for (int number : pages) {
      QPDFPageObjectHelper& page = input.pages[static_cast<std::size_t>(number - 1)];
      QPDFObjectHandle resources;
      QPDFObjectHandle xobjects = XObjectsOf(page, resources);
      int suffix = 0;
      std::string name = resources.getUniqueResourceName("/Fx", suffix);
      xobjects.replaceKey(name, form);
      std::string placed =
          page.placeFormXObject(form, name, page.getTrimBox().getArrayAsRectangle());
      if (under) {
        page.addPageContents(QPDFObjectHandle::newStream(&pdf, "q\n" + placed + "\nQ\n"), true);
      } else {
        // The page's own content is wrapped in q/Q so its graphics state cannot shift the
        // stamp.
        page.addPageContents(QPDFObjectHandle::newStream(&pdf, "q\n"), true);
        page.addPageContents(QPDFObjectHandle::newStream(&pdf, "\nQ\n" + placed + "\n"), false);
      }
    }
  } catch (const std::exception& e) {
    throw PdfError("file \"" + input.label + "\" cannot be stamped with \"" + stamp.label + "\" (" +
                   e.what() + ")");
  }
  WritePdf(pdf, *output, context.limits, input.label);
  output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["pageCount"] = std::to_string(input.PageCount());
  return answer;
}
