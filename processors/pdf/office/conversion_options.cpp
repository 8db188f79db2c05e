#include "processors/pdf/office/conversion_options.h"

#include <nlohmann/json.hpp>

#include "processors/pdf/text/pdf_error.h"

namespace pdf::office {
namespace {

bool ValidPdfa(const std::string& level) {
  return level == "1b" || level == "2b" || level == "3b";
}

std::optional<bool> OptionalFlag(const run::JobParameters& parameters, const std::string& name) {
  if (!parameters.OptionalString(name))
    return std::nullopt;
  return parameters.Bool(name, false);
}

std::optional<long long> OptionalNumber(const run::JobParameters& parameters,
                                        const std::string& name, long long min, long long max) {
  if (!parameters.OptionalString(name))
    return std::nullopt;
  return parameters.RequiredInteger(name, min, max);
}

std::optional<long long> NumberIn(const std::optional<std::string>& text, long long min,
                                  long long max) {
  if (!text || text->empty() || text->size() > 9 ||
      text->find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  long long value = std::stoll(*text);
  if (value < min || value > max)
    return std::nullopt;
  return value;
}

std::optional<bool> FlagOf(const std::optional<std::string>& text) {
  if (text == "1")
    return true;
  if (text == "0")
    return false;
  return std::nullopt;
}

}  // namespace

bool ValidPageList(const std::string& text) {
  if (text.empty() || text.size() > 1000)
    return false;
  bool digit = false;  // the current number has a digit
  bool dash = false;   // the current item has its "-"
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '-' && !dash && digit) {
      dash = true;
      digit = false;
    } else if (c == ',' && (digit || dash)) {
      dash = false;
      digit = false;
    } else if (c != ' ') {
      return false;
    }
  }
  return digit || dash;
}

ConversionOptions ReadConversionOptions(const run::JobParameters& parameters) {
  ConversionOptions options;
  options.pages = parameters.OptionalString("pages");
  if (options.pages && !ValidPageList(*options.pages))
    throw PdfError(parameters.Name("pages") +
                   " must list pages and ranges such as \"1-3,5,8-\", not \"" + *options.pages +
                   "\"");
  options.pdfa = parameters.OptionalString("pdfa");
  if (options.pdfa && !ValidPdfa(*options.pdfa))
    throw PdfError(parameters.Name("pdfa") + " must be \"1b\", \"2b\" or \"3b\", not \"" +
                   *options.pdfa + "\"");
  options.exportFormFields = OptionalFlag(parameters, "exportFormFields");
  options.exportBookmarks = OptionalFlag(parameters, "exportBookmarks");
  options.maxImageResolution = OptionalNumber(parameters, "maxImageResolution", 72, 2400);
  options.imageQuality = OptionalNumber(parameters, "imageQuality", 1, 100);
  options.password = parameters.OptionalString("password");
  options.landscape = parameters.Bool("landscape", false);
  return options;
}

EngineMessage ConversionRequest(const ConversionOptions& options, const std::string& format,
                                long long maxOutputBytes) {
  EngineMessage request;
  request.Add("format", format);
  request.Add("maxOutputBytes", std::to_string(maxOutputBytes));
  if (options.pages)
    request.Add("pages", *options.pages);
  if (options.pdfa)
    request.Add("pdfa", *options.pdfa);
  if (options.exportFormFields)
    request.Add("exportFormFields", *options.exportFormFields ? "1" : "0");
  if (options.exportBookmarks)
    request.Add("exportBookmarks", *options.exportBookmarks ? "1" : "0");
  if (options.maxImageResolution)
    request.Add("maxImageResolution", std::to_string(*options.maxImageResolution));
  if (options.imageQuality)
    request.Add("imageQuality", std::to_string(*options.imageQuality));
  if (options.password)
    request.Add("password", *options.password);
  if (options.landscape)
    request.Add("landscape", "1");
  return request;
}

ConversionOptions OptionsOfRequest(const EngineMessage& request) {
  ConversionOptions options;
  options.pages = request.Get("pages");
  if (options.pages && !ValidPageList(*options.pages))
    options.pages.reset();
  options.pdfa = request.Get("pdfa");
  if (options.pdfa && !ValidPdfa(*options.pdfa))
    options.pdfa.reset();
  options.exportFormFields = FlagOf(request.Get("exportFormFields"));
  options.exportBookmarks = FlagOf(request.Get("exportBookmarks"));
  options.maxImageResolution = NumberIn(request.Get("maxImageResolution"), 72, 2400);
  options.imageQuality = NumberIn(request.Get("imageQuality"), 1, 100);
  options.password = request.Get("password");
  options.landscape = FlagOf(request.Get("landscape")).value_or(false);
  return options;
}

std::string PdfFilterData(const ConversionOptions& options) {
  nlohmann::json data = nlohmann::json::object();
  auto put = [&data](const char* name, const char* type, const std::string& value) {
    data[name] = {{"type", type}, {"value", value}};
  };
  if (options.pages)
    put("PageRange", "string", *options.pages);
  if (options.pdfa)
    put("SelectPdfVersion", "long", options.pdfa->substr(0, 1));
  if (options.exportFormFields)
    put("ExportFormFields", "boolean", *options.exportFormFields ? "true" : "false");
  if (options.exportBookmarks)
    put("ExportBookmarks", "boolean", *options.exportBookmarks ? "true" : "false");
  if (options.maxImageResolution) {
    put("ReduceImageResolution", "boolean", "true");
    put("MaxImageResolution", "long", std::to_string(*options.maxImageResolution));
  }
  if (options.imageQuality) {
    put("UseLosslessCompression", "boolean", "false");
    put("Quality", "long", std::to_string(*options.imageQuality));
  }
  return data.empty() ? "" : data.dump();
}

}  // namespace pdf::office
