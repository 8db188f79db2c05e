// What every operation needs besides its parameters: the run's path resolver, page budget
// and other limits, and the steps the operations share (opening the input a parameter
// names, picking the pages, preparing an output). The context borrows these objects; they
// outlive the run.
#pragma once

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

struct OperationContext {
  const PathResolver& paths;
  PageBudget& budget;
  RunLimits& limits;
};

// Opens the PDF whose path `given` came in `parameter`, charging its pages to the budget.
// Throws PdfError as PathResolver::Resolve, OpenPdf and PageBudget::Read do.
PdfFile OpenInput(OperationContext& context, const std::string& given, const std::string& parameter,
                  const std::optional<std::string>& password);

// OpenInput for the parameters "file" and "password".
PdfFile OpenFileParameter(const JobParameters& parameters, OperationContext& context);

// The pages the parameter "pages" selects from a document of `pageCount` pages (all when it
// is missing), at most `maxSelected` of them. Throws PdfError as ParsePageRanges does.
std::vector<int> SelectedPages(const JobParameters& parameters, int pageCount,
                               long long maxSelected);

// An output for the path `given` in `parameter`. Throws PdfError as PathResolver::Resolve
// and OutputFile do.
std::unique_ptr<OutputFile> PrepareOutput(OperationContext& context, const std::string& given,
                                          const std::string& parameter);
