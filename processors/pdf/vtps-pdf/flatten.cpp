// PdfFlatten: form fields and annotations become part of the page content. Field appearances
// are generated where the document asks for them or a text or choice field has none, so that
// a field's value ends up as text on the page. An annotation a page lists more than once is
// drawn once; one whose appearance cannot be placed with numbers readers take (a vanishing
// /BBox scaled up to its /Rect) stays an annotation, with a warning; the appearances are drawn
// in a graphics state the page's own content cannot have changed.
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFAnnotationObjectHelper.hh>
#include <qpdf/QPDFFormFieldObjectHelper.hh>

#include <set>

#include "processors/pdf/document/decode_limit.h"
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/editing/page_isolation.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/pdf_error.h"
#include "processors/pdf/text/pdf_number.h"

namespace pdf::ops {

namespace {

struct Flattened {
  std::set<QPDFObjGen> fields;
  long long annotations = 0;
};

// Generates the appearances a flattened field needs: all of them when the document says
// they are out of date, and those of text and choice fields that have none. Existing
// appearance streams are decoded to be rewritten, so each is bounded first.
void GenerateAppearances(QPDFAcroFormDocumentHelper& forms,
                         const std::vector<QPDFPageObjectHelper>& pages,
                         document::DecodeBudget& decoding, const std::string& label) {
  std::set<QPDFObjGen> checked;
  for (QPDFPageObjectHelper page : pages) {
    for (QPDFAnnotationObjectHelper& widget : forms.getWidgetAnnotationsForPage(page)) {
      QPDFObjectHandle appearance = widget.getAppearanceStream("/N");
      if (appearance.isStream() && checked.insert(appearance.getObjGen()).second)
        document::CheckDecodedSize(appearance, qpdf_dl_generalized, decoding, label);
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
void FlattenPage(QPDFPageObjectHelper& page, int number, QPDFAcroFormDocumentHelper& forms,
                 bool flattenForms, bool flattenAnnotations, editing::PageIsolation& isolation,
                 Flattened& flattened, document::DamageWatch& notes, const std::string& label) {
  std::vector<QPDFAnnotationObjectHelper> listed = page.getAnnotations();
  if (listed.empty())
    return;
  // An annotation listed twice is one annotation: it is drawn (or kept) once.
  std::vector<QPDFAnnotationObjectHelper> annotations;
  std::set<QPDFObjGen> seen;
  for (QPDFAnnotationObjectHelper& annotation : listed) {
    QPDFObjectHandle object = annotation.getObjectHandle();
    if (!object.isIndirect() || seen.insert(object.getObjGen()).second)
      annotations.push_back(annotation);
  }
  QPDFObjectHandle resources = page.getAttribute("/Resources", true);
  if (!resources.isDictionary()) {
    resources = QPDFObjectHandle::newDictionary();
    page.getObjectHandle().replaceKey("/Resources", resources);
  }
  QPDFObjectHandle rotateObject = page.getAttribute("/Rotate", false);
  int rotate = rotateObject.isInteger() ? static_cast<int>(rotateObject.getIntValue() % 360) : 0;
  // The names the page's resources hold, read once: asking qpdf for a unique name reads
  // them all each time.
  std::set<std::string> names = resources.getResourceNames();
  long long nextName = 1;
  auto uniqueName = [&] {
    std::string name;
    do
      name = "/Fxo" + std::to_string(nextName++);
    while (names.count(name) > 0);
    names.insert(name);
    return name;
  };
  QPDFObjectHandle xobjects;

  std::vector<QPDFObjectHandle> kept;
  std::string content;
  long long unplaced = 0;
  for (QPDFAnnotationObjectHelper& annotation : annotations) {
    bool widget = annotation.getSubtype() == "/Widget";
    QPDFObjectHandle appearance = annotation.getAppearanceStream("/N");
    if ((widget ? !flattenForms : !flattenAnnotations) || !appearance.isStream()) {
      kept.push_back(annotation.getObjectHandle());
      continue;
    }
    std::string name = uniqueName();
    // Hidden and invisible annotations are drawn as nothing and removed all the same.
    std::string drawn =
        annotation.getPageContentForAppearance(name, rotate, 0, an_invisible | an_hidden);
    if (!text::ContentNumbersBounded(drawn)) {
      kept.push_back(annotation.getObjectHandle());
      ++unplaced;
      continue;
    }
    if (widget) {
      // The field's default resources (its fonts) go with the appearance onto the page.
      QPDFFormFieldObjectHelper field = forms.getFieldForAnnotation(annotation);
      QPDFObjectHandle appearanceResources = appearance.getDict().getKey("/Resources");
      // A shared dictionary is copied before it changes; anything else (a stream, which
      // readers ignore and which cannot be copied so) gives way to a dictionary of its own.
      if (appearanceResources.isIndirect() && appearanceResources.isDictionary()) {
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
    if (!drawn.empty()) {
      if (!xobjects.isDictionary()) {
        resources.mergeResources(QPDFObjectHandle::parse("<< /XObject << >> >>"));
        xobjects = resources.getKey("/XObject");
      }
      xobjects.replaceKey(name, appearance);
      content += drawn;
    }
  }
  if (unplaced > 0)
    notes.Note("file \"" + label + "\": page " + std::to_string(number) + ": " +
               std::to_string(unplaced) +
               " annotation(s) whose appearance cannot be placed on the page with numbers "
               "readers take (its /BBox is too small or too large for its /Rect) stayed "
               "annotation(s)");
  if (kept.size() != listed.size()) {
    if (kept.empty())
      page.getObjectHandle().removeKey("/Annots");
    else
      page.getObjectHandle().replaceKey("/Annots", QPDFObjectHandle::newArray(kept));
  }
  if (!content.empty())
    isolation.DrawOver(page, content);
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

KQ_TDict PdfFlatten(const run::JobParameters& parameters, document::OperationContext& context) {
  bool flattenForms = parameters.Bool("forms", true);
  bool flattenAnnotations = parameters.Bool("annotations", true);
  std::string outputName = parameters.String("output");
  document::Rewrite rewrite = document::OpenRewrite(parameters, context, outputName);
  document::PdfFile& input = rewrite.input;
  QPDF& pdf = *input.pdf;

  Flattened flattened;
  WithLibraryFailures("file \"" + input.label + "\" cannot be flattened", [&] {
    QPDFAcroFormDocumentHelper forms(pdf);
    if (flattenForms && forms.hasAcroForm())
      GenerateAppearances(forms, input.pages, context.limits.decoding, input.label);
    editing::PageIsolation isolation(pdf, context.limits.decoding, input.label);
    for (std::size_t i = 0; i < input.pages.size(); ++i)
      FlattenPage(input.pages[i], static_cast<int>(i + 1), forms, flattenForms, flattenAnnotations,
                  isolation, flattened, context.limits.damage, input.label);
    // The form goes once no page holds a field's widget any more.
    if (flattenForms && forms.hasAcroForm() && !AnyWidgetLeft(input.pages))
      pdf.getRoot().removeKey("/AcroForm");
  });
  document::WritePdf(pdf, *rewrite.output, context.limits, input.label);
  rewrite.output->Commit();

  KQ_TDict answer;
  answer["output"] = outputName;
  answer["fields"] = std::to_string(flattened.fields.size());
  answer["annotations"] = std::to_string(flattened.annotations);
  return answer;
}

}  // namespace pdf::ops
