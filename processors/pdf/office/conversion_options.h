// The options of one office conversion: read from the job's parameters in the processor,
// carried to the engine in the request, and turned there into the filter data of
// LibreOffice's PDF export. Pure functions of their inputs.
#pragma once

#include <optional>
#include <string>

#include "processors/pdf/office/engine_message.h"
#include "processors/pdf/run/job_parameters.h"

namespace pdf::office {

struct ConversionOptions {
  std::optional<std::string> pages;             // "1-3,5": the pages to export
  std::optional<std::string> pdfa;              // "1b", "2b" or "3b"
  std::optional<bool> exportFormFields;         // form fields stay fields (not drawn text)
  std::optional<bool> exportBookmarks;          // headings become the outline
  std::optional<long long> maxImageResolution;  // dpi images are reduced to
  std::optional<long long> imageQuality;        // JPEG quality, 1 to 100
  std::optional<std::string> password;          // opens a protected document
  bool landscape = false;                       // every page turned landscape
};

// Whether `text` lists pages as the PDF exports take them: numbers from 1, ranges "a-b" and
// open ranges "a-", separated by commas, at most 1,000 characters.
bool ValidPageList(const std::string& text);

// Throws PdfError naming the parameter when "pages" is not a list of pages and ranges
// ("1-3,5,8-"), "pdfa" not one of "1b", "2b", "3b", "maxImageResolution" not from 72 to
// 2,400, "imageQuality" not from 1 to 100, or a flag not a boolean.
ConversionOptions ReadConversionOptions(const run::JobParameters& parameters);

// The request for the engine: the options, the format's extension ("format") and the most
// bytes the PDF may have ("maxOutputBytes").
EngineMessage ConversionRequest(const ConversionOptions& options, const std::string& format,
                                long long maxOutputBytes);

// The options a request carries, as ConversionRequest wrote them; values that fail the
// checks of ReadConversionOptions are dropped.
ConversionOptions OptionsOfRequest(const EngineMessage& request);

// LibreOffice's PDF export filter data for `options`, as the JSON its export reads
// ({"PageRange":{"type":"string","value":"1-3"}, ...}); "" when there is none.
std::string PdfFilterData(const ConversionOptions& options);

}  // namespace pdf::office
