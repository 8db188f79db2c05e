// PdfFromOffice: office documents ("file", or "input": several, converted and joined in
// order) made into one PDF by the office engine. The program opens every input and the
// output beneath the root itself and hands the engine the open files, so the engine never
// resolves a caller's path. Each input's format is checked against its name before it goes;
// the engine's PDF is read back with qpdf (damage, page budget) before it is committed, and
// a single input's PDF is kept as LibreOffice wrote it (so that PDF/A stays PDF/A).
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <cmath>
#include <set>
#include <utility>

#include "platform/kqtypes/kq_array.h"
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/editing/page_assembly.h"
#include "processors/pdf/office/conversion_options.h"
#include "processors/pdf/office/engine_client.h"
#include "processors/pdf/office/engine_settings.h"
#include "processors/pdf/office/office_format.h"
#include "processors/pdf/run/file_bytes.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/page_ranges.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {

namespace {

struct OfficeInput {
  std::string label;  // `file "a.docx"`
  os::FileHandle file;
  office::OfficeFormat format;
};

// The fonts LibreOffice draws with in place of the fonts office documents usually ask for,
// which the system has not: metric-compatible families keep the layout, not the glyphs.
struct StandIn {
  const char* font;
  const char* replaces;
};
constexpr StandIn kStandIns[] = {
    {"Carlito", "Calibri"},
    {"Caladea", "Cambria"},
    {"LiberationSansNarrow", "Arial Narrow"},
    {"LiberationSans", "Arial"},
    {"LiberationSerif", "Times New Roman"},
    {"LiberationMono", "Courier New"},
};

std::string FileName(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

OfficeInput OpenOfficeInput(document::OperationContext& context, const std::string& given,
                            const std::string& parameter, const office::EngineSettings& settings) {
  OfficeInput input;
  input.label = "file \"" + given + "\"";
  input.file = context.paths.OpenFile(given, parameter);
  long long size = static_cast<long long>(os::Describe(input.file).size);
  if (size > settings.maxInputBytes)
    throw PdfError(input.label + " is larger than VTPS_OFFICE_MAX_INPUT_BYTES allows (" +
                   std::to_string(size) + " > " + std::to_string(settings.maxInputBytes) +
                   " bytes)");
  if (size == 0)
    throw PdfError(input.label + " is empty");
  std::string head = run::ReadFileStart(input.file, input.label, 4096);
  input.format = office::DetectOfficeFormat(FileName(given), head, input.label);
  return input;
}

// The stand-in fonts the pages of `pdf` use, each once.
std::set<std::string> StandInsUsed(const document::PdfFile& pdf) {
  std::set<std::string> used;
  for (const QPDFPageObjectHelper& page : pdf.pages) {
    QPDFObjectHandle resources =
        const_cast<QPDFPageObjectHelper&>(page).getAttribute("/Resources", false);
    if (!resources.isDictionary() || !resources.getKey("/Font").isDictionary())
      continue;
    QPDFObjectHandle fonts = resources.getKey("/Font");
    for (const std::string& key : fonts.getKeys()) {
      QPDFObjectHandle font = fonts.getKey(key);
      if (!font.isDictionary() || !font.getKey("/BaseFont").isName())
        continue;
      std::string name = font.getKey("/BaseFont").getName().substr(1);
      // A subset's name starts with six capitals and "+".
      if (name.size() > 7 && name[6] == '+')
        name = name.substr(7);
      for (const StandIn& standIn : kStandIns) {
        if (name.rfind(standIn.font, 0) == 0) {
          used.insert(standIn.font);
          break;
        }
      }
    }
  }
  return used;
}

// How many pages of `pdf` are taller than wide as a reader shows them (their /Rotate
// applied).
long long PortraitPages(const document::PdfFile& pdf) {
  long long portrait = 0;
  for (const QPDFPageObjectHelper& constPage : pdf.pages) {
    auto& page = const_cast<QPDFPageObjectHelper&>(constPage);
    QPDFObjectHandle box = page.getAttribute("/MediaBox", false);
    if (!box.isRectangle())
      continue;
    QPDFObjectHandle::Rectangle corners = box.getArrayAsRectangle();
    double width = std::abs(corners.urx - corners.llx);
    double height = std::abs(corners.ury - corners.lly);
    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    if (rotate.isInteger() && rotate.getIntValue() % 180 != 0)
      std::swap(width, height);
    if (height > width)
      ++portrait;
  }
  return portrait;
}

// Converts `input` into `output` through the engine; throws PdfError with the engine's
// message when it refuses or fails.
std::string Convert(const OfficeInput& input, const run::OutputFile& output,
                    const office::ConversionOptions& options,
                    const office::EngineSettings& settings,
                    const document::OperationContext& context) {
  office::EngineMessage request =
      office::ConversionRequest(options, input.format.name,
                                context.limits.output.MaxBytes() - context.limits.output.Written());
  office::EngineReply reply = office::AskEngine(settings, request, input.file, output.File());
  const office::EngineMessage& answer = reply.answer;
  if (answer.Get("status") != "ok")
    throw PdfError(input.label + " cannot be converted: " +
                   answer.Get("message").value_or("the office engine gave no reason"));
  return answer.Get("documentType").value_or("");
}

}  // namespace

KQ_TDict PdfFromOffice(const run::JobParameters& parameters, document::OperationContext& context) {
  office::EngineSettings settings =
      office::ReadEngineSettings(office::EngineEnvironmentOfProcess());
  office::ConversionOptions options = office::ReadConversionOptions(parameters);
  std::string outputName = parameters.String("output");
  std::unique_ptr<run::OutputFile> output =
      document::PrepareOutput(context, outputName, parameters.Name("output"));

  std::vector<OfficeInput> inputs;
  if (parameters.Has("input")) {
    if (parameters.Has("file"))
      throw PdfError("give either \"file\" or \"input\", not both");
    const KQ_TArray& list = parameters.Array("input");
    if (list.Count() == 0)
      throw PdfError("parameter \"" + parameters.Name("input") + "\" lists no document");
    for (std::size_t i = 0; i < list.Count(); ++i) {
      std::string element = parameters.Name("input") + "[" + std::to_string(i + 1) + "]";
      const KQ_TString* path = list[i].DynamicCast<KQ_TString>();
      if (path == nullptr)
        throw PdfError("parameter \"" + element + "\" must be a path");
      inputs.push_back(OpenOfficeInput(context, path->Text(), element, settings));
    }
  } else {
    inputs.push_back(
        OpenOfficeInput(context, parameters.String("file"), parameters.Name("file"), settings));
  }
  if (inputs.size() > 1 && options.pdfa)
    throw PdfError(
        "\"pdfa\" keeps one document's PDF/A: documents joined from several "
        "inputs are not PDF/A; convert them one by one");

  KQ_TDict answer;
  KQ_TArray formats;
  KQ_TArray types;
  std::string firstType;
  std::set<std::string> standIns;
  long long pageCount = 0;
  long long portraitPages = 0;
  if (inputs.size() == 1) {
    firstType = Convert(inputs[0], *output, options, settings, context);
    types.Append(firstType);
    document::PdfFile pdf =
        document::OpenPdf(output->OpenContent(), "the converted " + inputs[0].label, std::nullopt,
                          context.budget.WriteRemaining(), context.limits);
    context.budget.Write(pdf.PageCount(), inputs[0].label);
    pageCount = pdf.PageCount();
    standIns = StandInsUsed(pdf);
    if (options.landscape)
      portraitPages = PortraitPages(pdf);
  } else {
    // Each part is converted into an output of its own that is never committed, then the
    // parts' pages are joined.
    std::vector<std::unique_ptr<run::OutputFile>> parts;
    std::vector<document::PdfFile> files;
    files.reserve(inputs.size());
    std::vector<editing::PageSelection> selections;
    for (const OfficeInput& input : inputs) {
      parts.push_back(document::PrepareOutput(context, outputName, parameters.Name("output")));
      std::string type = Convert(input, *parts.back(), options, settings, context);
      if (firstType.empty())
        firstType = type;
      types.Append(type);
      files.push_back(document::OpenPdf(parts.back()->OpenContent(), "the converted " + input.label,
                                        std::nullopt, context.budget.ReadRemaining(),
                                        context.limits));
      std::set<std::string> used = StandInsUsed(files.back());
      standIns.insert(used.begin(), used.end());
      if (options.landscape)
        portraitPages += PortraitPages(files.back());
      selections.push_back({&files.back(), text::AllPages(files.back().PageCount())});
    }
    editing::WriteSelection(selections, *output, context);
    pageCount = editing::SelectedPageCount(selections);
  }
  output->Commit();
  for (const OfficeInput& input : inputs)
    formats.Append(input.format.name);
  answer["output"] = outputName;
  answer["pageCount"] = std::to_string(pageCount);
  answer["format"] = inputs[0].format.name;
  answer["documentType"] = firstType;
  if (inputs.size() > 1) {
    answer["inputFormat"] = formats;
    answer["inputDocumentType"] = types;
  }
  KQ_TArray warnings;
  for (const StandIn& standIn : kStandIns) {
    if (standIns.count(standIn.font) > 0)
      warnings.Append(std::string("the PDF uses ") + standIn.font + ", the stand-in for " +
                      standIn.replaces + ": where the document asks for " + standIn.replaces +
                      ", its layout is kept and its glyphs differ");
  }
  if (portraitPages > 0)
    warnings.Append("\"landscape\" was asked, but " + std::to_string(portraitPages) + " of " +
                    std::to_string(pageCount) +
                    " pages are portrait: LibreOffice did not turn them");
  if (warnings.Count() > 0)
    answer["warning"] = warnings;
  return answer;
}

}  // namespace pdf::ops
