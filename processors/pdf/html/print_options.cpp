#include "processors/pdf/html/print_options.h"

#include <cctype>
#include <cstdlib>
#include <map>

#include "processors/pdf/office/conversion_options.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::html {
namespace {

constexpr double kMmPerInch = 25.4;

struct Paper {
  const char* name;
  double widthMm, heightMm;
};
constexpr Paper kPapers[] = {
    {"A3", 297, 420},         {"A4", 210, 297},        {"A5", 148, 210},
    {"Letter", 215.9, 279.4}, {"Legal", 215.9, 355.6}, {"Tabloid", 279.4, 431.8},
};

// A length in millimetres; throws PdfError naming `name` when it is not one.
double LengthMm(const std::string& name, const std::string& text) {
  static const std::map<std::string, double> kUnits{{"", 1.0},
                                                    {"mm", 1.0},
                                                    {"cm", 10.0},
                                                    {"in", kMmPerInch},
                                                    {"pt", kMmPerInch / 72},
                                                    {"px", kMmPerInch / 96}};
  const char* start = text.c_str();
  char* end = nullptr;
  double value = std::strtod(start, &end);
  std::string unit(end);
  while (!unit.empty() && unit.front() == ' ')
    unit.erase(0, 1);
  auto factor = kUnits.find(unit);
  if (end == start || factor == kUnits.end() || !(value >= 0) || value > 1e6 ||
      std::isspace(static_cast<unsigned char>(text.front())))
    throw PdfError(
        "parameter \"" + name +
        "\" must be a length such as \"20mm\", \"2cm\", \"1in\", \"72pt\" or \"96px\", not \"" +
        text + "\"");
  return value * factor->second;
}

double Inches(double mm) {
  return mm / kMmPerInch;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

std::string PrintTemplate(const std::string& html) {
  std::string text = html;
  ReplaceAll(text, "{page}", "<span class=\"pageNumber\"></span>");
  ReplaceAll(text, "{pages}", "<span class=\"totalPages\"></span>");
  ReplaceAll(text, "{title}", "<span class=\"title\"></span>");
  ReplaceAll(text, "{url}", "<span class=\"url\"></span>");
  ReplaceAll(text, "{date}", "<span class=\"date\"></span>");
  // The browser draws its templates at a size of 0 unless told otherwise.
  return "<div style=\"font-size:9pt;width:100%;margin:0 10mm;\">" + text + "</div>";
}

PrintOptions ReadPrintOptions(const run::JobParameters& parameters, long long maxPages) {
  PrintOptions options;
  nlohmann::json& print = options.print;
  double widthMm = 210, heightMm = 297;
  if (auto paper = parameters.OptionalString("paper")) {
    bool found = false;
    for (const Paper& known : kPapers) {
      std::string lower = known.name, given = *paper;
      for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      for (char& c : given)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (lower == given) {
        widthMm = known.widthMm;
        heightMm = known.heightMm;
        found = true;
      }
    }
    if (!found)
      throw PdfError("parameter \"" + parameters.Name("paper") +
                     "\" must be A3, A4, A5, Letter, Legal or Tabloid, not \"" + *paper + "\"");
  }
  if (parameters.Has("paper") && (parameters.Has("paperWidth") || parameters.Has("paperHeight")))
    throw PdfError("give either \"paper\" or \"paperWidth\" and \"paperHeight\", not both");
  if (auto width = parameters.OptionalString("paperWidth"))
    widthMm = LengthMm(parameters.Name("paperWidth"), *width);
  if (auto height = parameters.OptionalString("paperHeight"))
    heightMm = LengthMm(parameters.Name("paperHeight"), *height);
  for (auto [name, value] :
       {std::pair{"paperWidth", widthMm}, std::pair{"paperHeight", heightMm}}) {
    if (value < 10 || value > 5000)
      throw PdfError("parameter \"" + parameters.Name(name) + "\" must be from 10 mm to 5 m");
  }
  bool landscape = parameters.Bool("landscape", false);
  print["landscape"] = landscape;
  print["paperWidth"] = Inches(widthMm);
  print["paperHeight"] = Inches(heightMm);

  double margins[4] = {10, 10, 10, 10};  // top, bottom, left, right
  const char* marginNames[4] = {"marginTop", "marginBottom", "marginLeft", "marginRight"};
  if (auto margin = parameters.OptionalString("margin")) {
    double all = LengthMm(parameters.Name("margin"), *margin);
    for (double& side : margins)
      side = all;
  }
  for (int i = 0; i < 4; ++i) {
    if (auto side = parameters.OptionalString(marginNames[i]))
      margins[i] = LengthMm(parameters.Name(marginNames[i]), *side);
    if (margins[i] > 1000)
      throw PdfError("parameter \"" + parameters.Name(marginNames[i]) + "\" must be at most 1 m");
    print[marginNames[i]] = Inches(margins[i]);
  }
  double across = landscape ? heightMm : widthMm, down = landscape ? widthMm : heightMm;
  if (margins[0] + margins[1] >= down - 1 || margins[2] + margins[3] >= across - 1)
    throw PdfError("the margins leave no room on the paper");

  if (auto scale = parameters.OptionalString("scale")) {
    char* end = nullptr;
    double value = std::strtod(scale->c_str(), &end);
    if (end == scale->c_str() || *end != '\0' || !(value >= 0.1 && value <= 2))
      throw PdfError("parameter \"" + parameters.Name("scale") +
                     "\" must be a number from 0.1 to 2, not \"" + *scale + "\"");
    print["scale"] = value;
  }
  print["printBackground"] = parameters.Bool("printBackground", true);
  print["preferCSSPageSize"] = parameters.Bool("preferCssPageSize", false);
  if (auto pages = parameters.OptionalString("pages")) {
    if (!office::ValidPageList(*pages))
      throw PdfError("parameter \"" + parameters.Name("pages") +
                     "\" must list pages and ranges such as \"1-3, 5\", not \"" + *pages + "\"");
    print["pageRanges"] = *pages;
    options.pagesGiven = true;
  } else {
    print["pageRanges"] = "1-" + std::to_string(maxPages + 1);
  }
  auto header = parameters.OptionalString("headerHtml");
  auto footer = parameters.OptionalString("footerHtml");
  if (header || footer) {
    print["displayHeaderFooter"] = true;
    print["headerTemplate"] = header ? PrintTemplate(*header) : "<span></span>";
    print["footerTemplate"] = footer ? PrintTemplate(*footer) : "<span></span>";
  }

  if (auto media = parameters.OptionalString("media")) {
    if (*media != "print" && *media != "screen")
      throw PdfError("parameter \"" + parameters.Name("media") +
                     "\" must be \"print\" or \"screen\", not \"" + *media + "\"");
    options.media = *media;
  }
  if (auto waitFor = parameters.OptionalString("waitFor")) {
    if (*waitFor != "load" && *waitFor != "networkIdle")
      throw PdfError("parameter \"" + parameters.Name("waitFor") +
                     "\" must be \"load\" or \"networkIdle\", not \"" + *waitFor + "\"");
    options.waits.networkIdle = *waitFor == "networkIdle";
  }
  if (auto expression = parameters.OptionalString("waitForExpression")) {
    if (expression->empty())
      throw PdfError("parameter \"" + parameters.Name("waitForExpression") + "\" is empty");
    options.waits.expression = *expression;
  }
  options.waits.delay = std::chrono::milliseconds(parameters.Integer("delay", 0, 0, 3600000));
  options.failOnConsoleError = parameters.Bool("failOnConsoleError", false);
  return options;
}

office::EngineMessage PrintRequest(const PrintOptions& options, const std::string& url,
                                   long long maxOutputBytes, long long maxPages) {
  office::EngineMessage request;
  request.Add("url", url);
  request.Add("print", options.print.dump());
  request.Add("media", options.media);
  request.Add("networkIdle", options.waits.networkIdle ? "1" : "0");
  if (options.waits.expression)
    request.Add("waitForExpression", *options.waits.expression);
  request.Add("delayMs", std::to_string(options.waits.delay.count()));
  request.Add("failOnConsoleError", options.failOnConsoleError ? "1" : "0");
  request.Add("maxOutputBytes", std::to_string(maxOutputBytes));
  if (!options.pagesGiven)
    request.Add("maxPages", std::to_string(maxPages));
  return request;
}

PrintOptions OptionsOfPrintRequest(const office::EngineMessage& request) {
  PrintOptions options;
  options.print = nlohmann::json::parse(request.Get("print").value_or("{}"), nullptr, false);
  if (!options.print.is_object())
    throw PdfError("the request's print options are not a JSON object");
  options.media = request.Get("media").value_or("print") == "screen" ? "screen" : "print";
  options.waits.networkIdle = request.Get("networkIdle") == "1";
  options.waits.expression = request.Get("waitForExpression");
  long long delay = std::atoll(request.Get("delayMs").value_or("0").c_str());
  options.waits.delay = std::chrono::milliseconds(std::max(0LL, std::min(delay, 3600000LL)));
  options.failOnConsoleError = request.Get("failOnConsoleError") == "1";
  return options;
}

}  // namespace pdf::html
