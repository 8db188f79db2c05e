#include "tools/kqm-call/json_values.h"

#include <stdexcept>

#include "platform/kqtypes/kqtypes.h"

KQ_TAny ValueFromJson(const nlohmann::ordered_json& json) {
  switch (json.type()) {
    case nlohmann::ordered_json::value_t::null:
      return KQ_TAny();
    case nlohmann::ordered_json::value_t::boolean:
      return KQ_TAny(json.get<bool>());
    case nlohmann::ordered_json::value_t::number_integer:
      return KQ_TAny(json.get<std::int64_t>());
    case nlohmann::ordered_json::value_t::number_unsigned: {
      auto number = json.get<std::uint64_t>();
      if (number > static_cast<std::uint64_t>(INT64_MAX))
        throw std::invalid_argument("the number " + json.dump() + " does not fit 64 bits");
      return KQ_TAny(static_cast<std::int64_t>(number));
    }
    case nlohmann::ordered_json::value_t::string:
      return KQ_TAny(json.get<std::string>());
    case nlohmann::ordered_json::value_t::array: {
      KQ_TArray array;
      for (const auto& element : json)
        array.Append(ValueFromJson(element));
      return KQ_TAny(std::move(array));
    }
    case nlohmann::ordered_json::value_t::object: {
      KQ_TDict dict;
      for (const auto& [key, element] : json.items())
        dict[key] = ValueFromJson(element);
      return KQ_TAny(std::move(dict));
    }
    default:
      throw std::invalid_argument("the number " + json.dump() +
                                  " is not a whole number; only whole numbers are supported");
  }
}

namespace {

nlohmann::ordered_json JsonFromEntries(const KQ_TDict& entries) {
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  for (const KQ_TDict::Entry& entry : entries)
    object[entry.key.Text()] = JsonFromValue(entry.value);
  return object;
}

}  // namespace

nlohmann::ordered_json JsonFromValue(const KQ_TAny& value) {
  if (value.IsNull())
    return nullptr;
  if (const auto* text = value.DynamicCast<KQ_TString>())
    return text->Text();
  if (const auto* flag = value.DynamicCast<KQ_TBool>())
    return flag->Value();
  if (const auto* number = value.DynamicCast<KQ_TInt>())
    return number->Value();
  if (const auto* dict = value.DynamicCast<KQ_TDict>())
    return JsonFromEntries(*dict);
  if (const auto* tree = value.DynamicCast<KQ_TTree>())
    return JsonFromEntries(tree->Entries());
  if (const auto* url = value.DynamicCast<KQ_TURL>())
    return {{"url", url->Text().Text()}};
  if (const auto* array = value.DynamicCast<KQ_TArray>()) {
    nlohmann::ordered_json elements = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < array->Count(); ++i)
      elements.push_back(JsonFromValue((*array)[i]));
    return elements;
  }
  if (const auto* list = value.DynamicCast<KQ_TList>()) {
    nlohmann::ordered_json elements = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < list->Count(); ++i)
      elements.push_back(JsonFromValue(list->At(i)));
    return elements;
  }
  return {{"class", value.ClassName()}};
}
