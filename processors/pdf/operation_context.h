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

#include "processors/pdf/confined_path.h"
#include "processors/pdf/job_parameters.h"
#include "processors/pdf/output_file.h"
#include "processors/pdf/page_budget.h"
#include "processors/pdf/pdf_document.h"
#include "processors/pdf/run_limits.h"

class OperationContext {
 public:
  OperationContext(const PathResolver& pathResolver, PageBudget& pageBudget, RunLimits& runLimits)
      : paths(pathResolver), budget(pageBudget), limits(runLimits) {}

  const PathResolver& paths;
  PageBudget& budget;
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
PdfFile OpenFileParameter(const JobParameters& parameters, OperationContext& context);

// The pages the parameter "pages" selects from a document of `pageCount` pages (all when it
// is missing), at most `maxSelected` of them. Throws PdfError as ParsePageRanges does.
std::vector<int> SelectedPages(const JobParameters& parameters, int pageCount,
                               long long maxSelected);

// The pages "pages" selects from `input`, each once in the order first named, at most the
// budget's pages. Throws PdfError as SelectedPages does.
std::vector<int> DistinctPages(const JobParameters& parameters, const PdfFile& input,
                               const OperationContext& context);

// An output for the path `given` in `parameter`. Throws PdfError as PathResolver::PlaceOutput
// and OutputFile do.
std::unique_ptr<OutputFile> PrepareOutput(OperationContext& context, const std::string& given,
                                          const std::string& parameter);

// Outputs for the paths `given` (the files of one "%d" pattern), all prepared before anything
// is written. Throws PdfError as PrepareOutput does, and when two of the paths name the same
// file or one names a file this run has opened as an input.
std::vector<std::unique_ptr<OutputFile>> PrepareOutputs(OperationContext& context,
                                                        const std::vector<std::string>& given,
                                                        const std::string& parameter);
