// PdfStamp: the first page of another PDF laid over (or under) the selected pages, scaled
// into each page's trim box. Laid over, it is drawn in a graphics state the page's own
// content cannot have changed.
#include <qpdf/QPDFObjectHandle.hh>

#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/document/page_precheck.h"
#include "processors/pdf/editing/page_isolation.h"
#include "processors/pdf/editing/page_resources.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/page_ranges.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

KQ_TDict PdfStamp(const run::JobParameters& parameters, document::OperationContext& context) {
  std::string outputName = parameters.String("output");
  bool under = parameters.Bool("under", false);
  document::Rewrite rewrite = document::OpenRewrite(parameters, context, outputName);
  document::PdfFile& input = rewrite.input;
  document::PdfFile stamp =
      document::OpenInput(context, parameters.String("stamp"), parameters.Name("stamp"),
                          parameters.OptionalString("stampPassword"));
  std::vector<int> pages = document::DistinctPages(parameters, input, context);
  // The stamp's page becomes a form whose content is its page's, decoded when written.
  document::CheckPagesBeforePoppler(
      stamp.pages, {1}, {context.limits.maxStreamBytes, false, false, &context.limits.decoding},
      stamp.label);

  QPDF& pdf = *input.pdf;
  editing::PageIsolation isolation(pdf, context.limits.decoding, input.label);
  try {
    QPDFObjectHandle form = pdf.copyForeignObject(stamp.pages[0].getFormXObjectForPage());
    for (int number : pages) {
      QPDFPageObjectHelper& page = input.pages[static_cast<std::size_t>(number - 1)];
      QPDFObjectHandle resources;
      QPDFObjectHandle xobjects = editing::OwnResourceCategory(page, "/XObject", resources);
      int suffix = 0;
      std::string name = resources.getUniqueResourceName("/Fx", suffix);
      xobjects.replaceKey(name, form);
      std::string placed =
          page.placeFormXObject(form, name, page.getTrimBox().getArrayAsRectangle());
      if (under)
        page.addPageContents(QPDFObjectHandle::newStream(&pdf, "q\n" + placed + "\nQ\n"), true);
      else
        isolation.DrawOver(page, placed + "\n");
    }
  } catch (const PdfError&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError("file \"" + input.label + "\" cannot be stamped with \"" + stamp.label + "\" (" +
                   e.what() + ")");
  }
  return document::FinishRewrite(rewrite, context);
}

}  // namespace pdf::ops
