// PdfFlatten: form fields and annotations become part of the page content. Field appearances
// are generated where the document asks for them or a text or choice field has none, so that
// a field's value ends up as text on the page.
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFAnnotationObjectHelper.hh>
#include <qpdf/QPDFFormFieldObjectHelper.hh>

#include <set>

#include "processors/pdf/decode_limit.h"
#include "processors/pdf/operations.h"
#include "processors/pdf/pdf_error.h"

namespace {

struct Flattened {
  std::set<QPDFObjGen> fields;
  long long annotations = 0;
};

// Generates the appearances a flattened field needs: all of them when the document says
// they are out of date, and those of text and choice fields that have none. Existing
// appearance streams are decoded to be rewritten, so each is bounded first.
void GenerateAppearances(QPDFAcroFormDocumentHelper& forms,
                         const std::vector<QPDFPageObjectHelper>& pages, long long maxStreamBytes,
                         const std::string& label) {
  for (QPDFPageObjectHelper page : pages) {
    for (QPDFAnnotationObjectHelper& widget : forms.getWidgetAnnotationsForPage(page)) {
      QPDFObjectHandle appearance = widget.getAppearanceStream("/N");
      if (appearance.isStream())
        CheckDecodedSize(appearance, qpdf_dl_generalized, maxStreamBytes, label);
    }
  }
  forms.generateAppearancesIfNeeded();
  for (QPDFPageObjectHelper page : pages) {
    for (QPDFAnnotationObjectHelper& widget : forms.getWidgetAnnotationsForPage(page)) {
      if (widget.getAppearanceStream("/N").isStream())
        continue;
      QPDFFormFieldObjectHelper field = forms.getFieldForAnnotation(widget);
      std::string type = field.getFieldType();
      if (type == "/Tx" || type == "/Ch")
        field.generateAppearance(widget);
    }
  }
}

// Moves the chosen annotations of `page` into its content: widgets when `forms`, the others
// when `annotations`. An annotation drawn (or hidden, so drawn as nothing) leaves the page's
// annotation list; one without an appearance to draw stays.
void FlattenPage(QPDF& pdf, QPDFPageObjectHelper& page, QPDFAcroFormDocumentHelper& forms,
                 bool flattenForms, bool flattenAnnotations, Flattened& flattened) {
  std::vector<QPDFAnnotationObjectHelper> annotations = page.getAnnotations();
  if (annotations.empty())
    return;
  QPDFObjectHandle resources = page.getAttribute("/Resources", true);
  if (!resources.isDictionary()) {
    resources = QPDFObjectHandle::newDictionary();
    page.getObjectHandle().replaceKey("/Resources", resources);
  }
  QPDFObjectHandle rotateObject = page.getAttribute("/Rotate", false);
  int rotate = rotateObject.isInteger() ? static_cast<int>(rotateObject.getIntValue() % 360) : 0;

  std::vector<QPDFObjectHandle> kept;
  std::string content;
  int suffix = 1;
  for (QPDFAnnotationObjectHelper& annotation : annotations) {
    bool widget = annotation.getSubtype() == "/Widget";
    QPDFObjectHandle appearance = annotation.getAppearanceStream("/N");
    if ((widget ? !flattenForms : !flattenAnnotations) || !appearance.isStream()) {
      kept.push_back(annotation.getObjectHandle());
      continue;
    }
    if (widget) {
      // The field's default resources (its fonts) go with the appearance onto the page.
      QPDFFormFieldObjectHelper field = forms.getFieldForAnnotation(annotation);
      QPDFObjectHandle appearanceResources = appearance.getDict().getKey("/Resources");
      if (appearanceResources.isIndirect()) {
        appearance.getDict().replaceKey("/Resources", appearanceResources.shallowCopy());
        appearanceResources = appearance.getDict().getKey("/Resources");
      }
      if (!appearanceResources.isDictionary()) {
        appearanceResources = QPDFObjectHandle::newDictionary();
        appearance.getDict().replaceKey("/Resources", appearanceResources);
      }
      appearanceResources.mergeResources(field.getDefaultResources());
      flattened.fields.insert(field.getObjectHandle().getObjGen());
    } else {
      ++flattened.annotations;
    }
    std::string name = resources.getUniqueResourceName("/Fxo", suffix);
    // Hidden and invisible annotations are drawn as nothing and removed all the same.
    std::string drawn =
        annotation.getPageContentForAppearance(name, rotate, 0, an_invisible | an_hidden);
    if (!drawn.empty()) {
      resources.mergeResources(QPDFObjectHandle::parse("<< /XObject << >> >>"));
      resources.getKey("/XObject").replaceKey(name, appearance);
      ++suffix;
      content += drawn;
    }
  }
  if (kept.size() != annotations.size()) {
    if (kept.empty())
      page.getObjectHandle().removeKey("/Annots");
    else
      page.getObjectHandle().replaceKey("/Annots", QPDFObjectHandle::newArray(kept));
  }
  if (!content.empty()) {
    page.addPageContents(QPDFObjectHandle::newStream(&pdf, "q\n"), true);
    page.addPageContents(QPDFObjectHandle::newStream(&pdf, "\nQ\n" + content), false);
  }
}

// Whether any page still lists a widget annotation.
bool AnyWidgetLeft(std::vector<QPDFPageObjectHelper>& pages) {
  for (QPDFPageObjectHelper& page : pages)
    for (QPDFAnnotationObjectHelper& annotation : page.getAnnotations("/Widget"))
      if (annotation.getObjectHandle().isDictionary())
        return true;
  return false;
}

}  // namespace

KQ_TDict PdfFlatten(const JobParameters& parameters, OperationContext& context) {
  bool flattenForms = parameters.Bool("forms", true);
  bool flattenAnnotations = parameters.Bool("annotations", true);
  std::string outputName = parameters.String("output");
  std::unique_ptr<OutputFile> output =
      PrepareOutput(context, outputName, parameters.Name("output"));
  PdfFile input = OpenFileParameter(parameters, context);
  context.budget.Write(input.PageCount(), outputName);
  QPDF& pdf = *input.pdf;

  Flattened flattened;
  try {
    QPDFAcroFormDocumentHelper forms(pdf);
    if (flattenForms && forms.hasAcroForm())
      GenerateAppearances(forms, input.pages, context.limits.maxStreamBytes, input.label);
    for (QPDFPageObjectHelper& page : input.pages)
      FlattenPage(pdf, page, forms, flattenForms, flattenAnnotations, flattened);
    // The form goes once no page holds a field's widget any more.
    if (flattenForms && forms.hasAcroForm() && !AnyWidgetLeft(input.pages))
      pdf.getRoot().removeKey("/AcroForm");
  } catch (const PdfError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError("file \"" + input.label + "\" cannot be flattened (" + e.what() + ")");
  }
  WritePdf(pdf, *output, context.limits, input.label);
  output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["fields"] = std::to_string(flattened.fields.size());
  answer["annotations"] = std::to_string(flattened.annotations);
  return answer;
}
