#include "processors/pdf/run/job_parameters.h"

#include <charconv>

#include "platform/kqtypes/kq_string.h"
#include "processors/pdf/text/pdf_error.h"

namespace pdf::run {

namespace {

std::string Quoted(const std::string& name) {
  return "parameter \"" + name + "\"";
}

}  // namespace

JobParameters::JobParameters(const KQ_TDict& dictionary, std::string prefix)
    : dictionary_(dictionary), prefix_(std::move(prefix)) {}

const KQ_TAny* JobParameters::Find(const std::string& name) const {
  const KQ_TAny* value = dictionary_.Find(name);
  return value == nullptr || value->IsNull() ? nullptr : value;
}

std::optional<std::string> JobParameters::OptionalString(const std::string& name) const {
  const KQ_TAny* value = Find(name);
  if (value == nullptr) {
    if (Find(name + "Array") != nullptr)
      throw PdfError(Quoted(Name(name)) + " must be a string, not an array");
    return std::nullopt;
  }
  const KQ_TString* text = value->DynamicCast<KQ_TString>();
  if (text == nullptr)
    throw PdfError(Quoted(Name(name)) + " must be a string");
  return text->Text();
}

std::string JobParameters::String(const std::string& name) const {
  std::optional<std::string> text = OptionalString(name);
  if (!text)
    throw PdfError(Quoted(Name(name)) + " is missing");
  return *text;
}

bool JobParameters::Bool(const std::string& name, bool fallback) const {
  std::optional<std::string> text = OptionalString(name);
  if (!text)
    return fallback;
  if (*text == "true")
    return true;
  if (*text == "false")
    return false;
  throw PdfError(Quoted(Name(name)) + " is \"" + *text + "\"; it must be \"true\" or \"false\"");
}

long long JobParameters::ParseInteger(const std::string& name, const std::string& text,
                                      long long min, long long max) const {
  long long number = 0;
  const char* end = text.data() + text.size();
  auto [rest, error] = std::from_chars(text.data(), end, number);
  if (error != std::errc() || rest != end || text.empty() || number < min || number > max)
    throw PdfError(Quoted(Name(name)) + " is \"" + text + "\"; it must be a whole number from " +
                   std::to_string(min) + " to " + std::to_string(max));
  return number;
}

long long JobParameters::Integer(const std::string& name, long long fallback, long long min,
                                 long long max) const {
  std::optional<std::string> text = OptionalString(name);
  return text ? ParseInteger(name, *text, min, max) : fallback;
}

long long JobParameters::RequiredInteger(const std::string& name, long long min,
                                         long long max) const {
  return ParseInteger(name, String(name), min, max);
}

const KQ_TArray& JobParameters::Array(const std::string& name) const {
  const KQ_TAny* container = Find(name + "Array");
  if (container == nullptr) {
    if (Find(name) != nullptr)
      throw PdfError(Quoted(Name(name)) + " must be an array");
    throw PdfError(Quoted(Name(name)) + " is missing (an empty array sends nothing)");
  }
  const KQ_TDict* wrapper = container->DynamicCast<KQ_TDict>();
  const KQ_TAny* elements = wrapper == nullptr ? nullptr : wrapper->Find(name);
  const KQ_TArray* array = elements == nullptr ? nullptr : elements->DynamicCast<KQ_TArray>();
  if (array == nullptr || array->Count() == 0)
    throw PdfError(Quoted(Name(name)) + " must be an array of at least one element");
  return *array;
}

const KQ_TDict* JobParameters::OptionalDictionary(const std::string& name) const {
  const KQ_TAny* value = Find(name);
  if (value == nullptr) {
    if (Find(name + "Array") != nullptr)
      throw PdfError(Quoted(Name(name)) + " must be a dictionary, not an array");
    return nullptr;
  }
  const KQ_TDict* dictionary = value->DynamicCast<KQ_TDict>();
  if (dictionary == nullptr)
    throw PdfError(Quoted(Name(name)) + " must be a dictionary of at least one entry");
  return dictionary;
}

}  // namespace pdf::run
