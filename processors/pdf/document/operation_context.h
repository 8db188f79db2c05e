// What every operation needs besides its parameters: the run's path resolver and page
// budget and its other limits, and the steps the operations share (opening the input a
// parameter names, picking the pages, preparing outputs). The context borrows the resolver,
// the budget and the limits, which outlive the run, and remembers what the run has opened. One
// context per run, used from one thread.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/kqtypes/kq_dict.h"
#include "processors/pdf/document/pdf_document.h"
#include "processors/pdf/document/run_limits.h"
#include "processors/pdf/run/confined_path.h"
#include "processors/pdf/run/job_parameters.h"
#include "processors/pdf/run/output_file.h"
#include "processors/pdf/run/page_budget.h"

namespace pdf::document {

class OperationContext {
 public:
  OperationContext(const run::PathResolver& pathResolver, run::PageBudget& pageBudget,
                   RunLimits& runLimits)
      : paths(pathResolver), budget(pageBudget), limits(runLimits) {}

  const run::PathResolver& paths;
  run::PageBudget& budget;
  RunLimits& limits;
  // The files this run reads, by identity, with the path that named each.
  std::map<os::FileId, std::string> inputs;
  // The folders outputs go to, each opened once however many outputs it gets.
  std::map<os::FileId, std::shared_ptr<const os::FileHandle>> outputFolders;
};

// Opens the PDF whose path `given` came in `parameter`, charging its pages to the budget.
// Throws PdfError as PathResolver::OpenFile, OpenPdf and PageBudget::Read do.
PdfFile OpenInput(OperationContext& context, const std::string& given, const std::string& parameter,
                  const std::optional<std::string>& password);

// OpenInput for the parameters "file" and "password".
PdfFile OpenFileParameter(const run::JobParameters& parameters, OperationContext& context);

// The pages the parameter "pages" selects from a document of `pageCount` pages (all when it
// is missing), at most `maxSelected` of them. Throws PdfError as ParsePageRanges does.
std::vector<int> SelectedPages(const run::JobParameters& parameters, int pageCount,
                               long long maxSelected);

// The pages "pages" selects from `input`, each once in the order first named, at most the
// budget's pages. Throws PdfError as SelectedPages does.
std::vector<int> DistinctPages(const run::JobParameters& parameters, const PdfFile& input,
                               const OperationContext& context);

// An output for the path `given` in `parameter`. Throws PdfError as PathResolver::PlaceOutput
// and OutputFile do.
std::unique_ptr<run::OutputFile> PrepareOutput(OperationContext& context, const std::string& given,
                                               const std::string& parameter);

// Outputs for the paths `given` (the files of one "%d" pattern), all prepared before anything
// is written. Throws PdfError as PrepareOutput does, and when two of the paths name the same
// file or one names a file this run has opened as an input.
std::vector<std::unique_ptr<run::OutputFile>> PrepareOutputs(OperationContext& context,
                                                             const std::vector<std::string>& given,
                                                             const std::string& parameter);

// The output of an operation that writes only when asked to (`writing`: "set" is given),
// prepared from "output" then, its name left in `outputName`; null otherwise. Throws PdfError
// as PrepareOutput does, and naming "output" when it is given without "set": `toWrite` says
// what "set" would hold ("the bookmarks to write").
std::unique_ptr<run::OutputFile> OutputIfSetting(const run::JobParameters& parameters,
                                                 OperationContext& context, bool writing,
                                                 const std::string& toWrite,
                                                 std::optional<std::string>& outputName);

// The usual start of an operation that writes a changed copy of one document: its output
// (`outputName`, the parameter "output") prepared, its input ("file", "password") opened, and
// the input's pages charged to the write budget. The output is not committed.
struct Rewrite {
  std::string outputName;
  std::unique_ptr<run::OutputFile> output;
  PdfFile input;
};

// Throws PdfError as PrepareOutput, OpenFileParameter and PageBudget::Write do, in that order.
Rewrite OpenRewrite(const run::JobParameters& parameters, OperationContext& context,
                    const std::string& outputName);

// The usual end: the input's document written to the output as `setup` says, the output
// committed, and the answer WrittenAnswer gives, with the writer's warnings. Throws
// PdfError as WritePdf and Commit do.
KQ_TDict FinishRewrite(Rewrite& rewrite, OperationContext& context, const WriteSetup& setup = {});

// Appends `warnings` to the answer's "warning" list (made when there is none).
void AddWarnings(KQ_TDict& answer, const std::vector<std::string>& warnings);

// The answer of an operation that wrote the document `output` of `pageCount` pages:
// {"output", "pageCount"}.
KQ_TDict WrittenAnswer(const std::string& output, long long pageCount);

}  // namespace pdf::document
