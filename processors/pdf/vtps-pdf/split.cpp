// PdfSplit: a document cut into parts of N pages, one file each.
#include "processors/pdf/document/operation_context.h"
#include "processors/pdf/editing/page_assembly.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/text/numbered_path.h"

namespace pdf::ops {

KQ_TDict PdfSplit(const run::JobParameters& parameters, document::OperationContext& context) {
  std::string pattern = parameters.String("output");
  text::CheckNumberedPattern(pattern, parameters.Name("output"));
  long long perFile = parameters.Integer("pagesPerFile", 1, 1, 1'000'000'000);
  document::PdfFile input = document::OpenFileParameter(parameters, context);

  // Every part is prepared, then written, before any is committed, so a failure leaves no
  // part behind.
  int pageCount = input.PageCount();
  std::vector<std::vector<int>> parts;
  std::vector<std::string> paths;
  for (int first = 1; first <= pageCount; first += static_cast<int>(perFile)) {
    int last = static_cast<int>(std::min<long long>(pageCount, first + perFile - 1));
    std::vector<int> pages;
    for (int page = first; page <= last; ++page)
      pages.push_back(page);
    parts.push_back(std::move(pages));
    paths.push_back(text::NumberedPath(pattern, static_cast<int>(parts.size())));
  }
  std::vector<std::unique_ptr<run::OutputFile>> outputs =
      document::PrepareOutputs(context, paths, parameters.Name("output"));
  KQ_TArray names;
  for (std::size_t part = 0; part < parts.size(); ++part) {
    editing::WriteSelection({{&input, parts[part]}}, *outputs[part], context);
    names.Append(paths[part]);
  }
  for (auto& output : outputs)
    output->Commit();

  KQ_TDict answer;
  answer["output"] = names;
  answer["pageCount"] = std::to_string(pageCount);
  return answer;
}

}  // namespace pdf::ops
