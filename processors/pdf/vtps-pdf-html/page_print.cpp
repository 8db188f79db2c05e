#include "processors/pdf/vtps-pdf-html/page_print.h"

#include <filesystem>

#include "platform/kqtypes/kq_array.h"
#include "platform/os/worker_process.h"
#include "processors/pdf/html/html_settings.h"
#include "processors/pdf/html/page_files.h"
#include "processors/pdf/html/print_options.h"
#include "processors/pdf/office/engine_client.h"
#include "processors/pdf/run/file_bytes.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::ops {
namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  if (text.size() < end.size())
    return false;
  for (std::size_t i = 0; i < end.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - end.size() + i])) !=
        std::tolower(static_cast<unsigned char>(end[i])))
      return false;
  }
  return true;
}

office::EngineEndpoint BrowserEndpoint(const html::HtmlSettings& settings) {
  std::string program = settings.engineProgram.empty() ? os::ProgramFolder() + "/vtps-html-engine"
                                                       : settings.engineProgram;
  return {"the browser engine", settings.socketPath, "VTPS_HTML_SOCKET", program,
          "is chromium-headless-shell installed? see docs/processors.md"};
}

}  // namespace

KQ_TDict PrintDocument(const run::JobParameters& parameters, document::OperationContext& context,
                       const std::vector<std::string>& extensions, const PageMaker& maker) {
  html::HtmlSettings settings = html::ReadHtmlSettings(html::HtmlEnvironmentOfProcess());
  html::PrintOptions options = html::ReadPrintOptions(parameters, context.budget.WriteRemaining());
  const std::string given = parameters.String("file");
  const std::string label = "file \"" + given + "\"";
  bool known = false;
  std::string names;
  for (const std::string& extension : extensions) {
    known = known || EndsWith(given, extension);
    names += (names.empty() ? "" : ", ") + extension;
  }
  if (!known)
    throw PdfError(label + " must be named " + names);
  std::string outputName = parameters.String("output");
  std::unique_ptr<run::OutputFile> output =
      document::PrepareOutput(context, outputName, parameters.Name("output"));
  os::FileHandle file = context.paths.OpenFile(given, parameters.Name("file"));

  // The page's files are served from beneath the root, or, without one, from beneath the
  // document's folder.
  namespace fs = std::filesystem;
  std::string baseFolder, baseRelative, relative;
  if (context.paths.Confined()) {
    baseFolder = fs::absolute(context.paths.RootPath()).lexically_normal();
    relative = fs::path(given).lexically_normal().string();
  } else {
    fs::path document = fs::absolute(given).lexically_normal();
    baseFolder = baseRelative = document.parent_path().string();
    relative = document.filename().string();
  }
  html::PageFiles files(context.paths, baseFolder, baseRelative, settings.allowedOrigins,
                        settings.maxInputBytes);
  const std::string url = files.UrlOf(relative);
  if (maker) {
    std::string bytes =
        run::ReadWholeFile(file, label, settings.maxInputBytes, "VTPS_HTML_MAX_INPUT_BYTES");
    files.Provide(url, maker(bytes));
  } else if (static_cast<long long>(os::Describe(file).size) > settings.maxInputBytes) {
    throw PdfError(label + " is larger than VTPS_HTML_MAX_INPUT_BYTES allows (" +
                   std::to_string(settings.maxInputBytes) + " bytes)");
  }

  office::EngineMessage request = html::PrintRequest(
      options, url, context.limits.output.MaxBytes() - context.limits.output.Written(),
      context.budget.WriteRemaining());
  office::EngineReply reply = office::AskEngine(
      BrowserEndpoint(settings), request, {&output->File()},
      [&files](const office::EngineMessage& question) { return files.Answer(question); });
  const office::EngineMessage& answer = reply.answer;
  if (answer.Get("status") != "ok")
    throw PdfError(label + " cannot be printed: " +
                   answer.Get("message").value_or("the browser engine gave no reason"));
  document::PdfFile pdf =
      document::OpenPdf(output->OpenContent(), "the printed " + label, std::nullopt,
                        context.budget.WriteRemaining(), context.limits);
  context.budget.Write(pdf.PageCount(), label);
  output->Commit();

  KQ_TDict result;
  result["output"] = outputName;
  result["pageCount"] = std::to_string(pdf.PageCount());
  KQ_TArray warnings;
  for (const std::string& warning : answer.All("warning"))
    warnings.Append(warning);
  if (warnings.Count() > 0)
    result["warning"] = warnings;
  return result;
}

}  // namespace pdf::ops
