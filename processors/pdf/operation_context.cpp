#include "processors/pdf/operation_context.h"

#include "processors/pdf/page_ranges.h"

PdfFile OpenInput(OperationContext& context, const std::string& given, const std::string& parameter,
                  const std::optional<std::string>& password) {
  PdfFile file = OpenPdf(context.paths.Resolve(given, parameter), given, password,
                         context.budget.ReadRemaining(), context.limits);
  context.budget.Read(file.PageCount(), given);
  return file;
}

PdfFile OpenFileParameter(const JobParameters& parameters, OperationContext& context) {
  return OpenInput(context, parameters.String("file"), parameters.Name("file"),
                   parameters.OptionalString("password"));
}

std::vector<int> SelectedPages(const JobParameters& parameters, int pageCount,
                               long long maxSelected) {
  std::optional<std::string> pages = parameters.OptionalString("pages");
  return pages ? ParsePageRanges(*pages, pageCount, parameters.Name("pages"), maxSelected)
               : AllPages(pageCount);
}

std::unique_ptr<OutputFile> PrepareOutput(OperationContext& context, const std::string& given,
                                          const std::string& parameter) {
  return std::make_unique<OutputFile>(context.paths.Resolve(given, parameter), given);
}
