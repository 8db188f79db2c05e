// The options of one page printed to PDF: read from the job's parameters in the processor
// (paper, margins, orientation, scale, backgrounds, pages, header and footer, media, what to
// wait for), carried to the engine in the request, and turned there into the browser's print
// command. Pure functions of their inputs.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <string>

#include "processors/pdf/office/engine_message.h"
#include "processors/pdf/run/job_parameters.h"

namespace pdf::html {

// What the engine waits for before it prints, after the load event; each wait ends at the
// document's time limit.
struct PageWaits {
  bool networkIdle = false;               // no request for kNetworkIdleQuiet after the load
  std::optional<std::string> expression;  // a JavaScript expression that must become true
  std::chrono::milliseconds delay{0};     // then this long
};

inline constexpr std::chrono::milliseconds kNetworkIdleQuiet{500};

struct PrintOptions {
  nlohmann::json print = nlohmann::json::object();  // the print command's parameters
  PageWaits waits;
  std::string media = "print";  // or "screen"
  bool failOnConsoleError = false;
  bool pagesGiven = false;  // the caller chose the pages
};

// Throws PdfError naming the parameter when a value is out of its range: a length is a
// number with "mm", "cm", "in", "pt" or "px" (mm without a unit); a paper is at least 10 mm
// and at most 5 m a side and "paper" one of A3, A4, A5, Letter, Legal, Tabloid; margins are
// from 0 to 1 m and leave room on the page; "scale" is from 0.1 to 2; "pages" is a list of
// pages and ranges ("1-3, 5"); "waitFor" is "load" or "networkIdle"; "delay" from 0 to
// 3,600,000 ms; "media" is "print" or "screen". Without "pages", at most `maxPages` + 1 pages
// are printed, so that a page that would make more is found out without printing them all.
PrintOptions ReadPrintOptions(const run::JobParameters& parameters, long long maxPages);

// The header or footer template of the browser for `html`, whose "{page}", "{pages}",
// "{title}", "{url}" and "{date}" become the page number, the page count, the document's
// title, its address and the date.
std::string PrintTemplate(const std::string& html);

// The request for the engine: the options, the page's address ("url"), the most bytes the
// PDF may have ("maxOutputBytes") and the most pages ("maxPages"), which the engine checks
// before it prints where no "pages" were asked for.
office::EngineMessage PrintRequest(const PrintOptions& options, const std::string& url,
                                   long long maxOutputBytes, long long maxPages);

// The options a request carries, as PrintRequest wrote them. Throws PdfError when they
// cannot be read.
PrintOptions OptionsOfPrintRequest(const office::EngineMessage& request);

}  // namespace pdf::html
