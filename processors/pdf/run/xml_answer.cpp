#include "processors/pdf/run/xml_answer.h"

#include "platform/kqtypes/kqtypes.h"
#include "processors/pdf/text/answer_text.h"

namespace pdf::run {

namespace {

// The most places a warning names.
constexpr std::size_t kNamedPlaces = 5;

void Replace(KQ_TAny& value, const std::string& place, std::vector<std::string>& places);

void ReplaceInDict(KQ_TDict& dict, const std::string& prefix, std::vector<std::string>& places) {
  std::vector<std::string> keys;
  for (const KQ_TDict::Entry& entry : dict)
    keys.push_back(entry.key.Text());
  for (const std::string& key : keys)
    Replace(dict[key], prefix + key, places);
}

// Answers nest only as deep as the operations build them (64 levels of bookmarks at most).
void Replace(KQ_TAny& value, const std::string& place, std::vector<std::string>& places) {
  if (const KQ_TString* text = value.DynamicCast<KQ_TString>()) {
    if (std::optional<std::string> replaced = text::XmlCharactersReplaced(text->Text())) {
      value = KQ_TAny(*replaced);
      places.push_back(place);
    }
  } else if (KQ_TDict* dict = value.DynamicCast<KQ_TDict>()) {
    ReplaceInDict(*dict, place + ".", places);
  } else if (KQ_TArray* array = value.DynamicCast<KQ_TArray>()) {
    for (std::size_t i = 0; i < array->Count(); ++i)
      Replace((*array)[i], place + "[" + std::to_string(i + 1) + "]", places);
  }
}

}  // namespace

std::vector<std::string> ReplaceCharactersXmlForbids(KQ_TDict& answer) {
  std::vector<std::string> places;
  ReplaceInDict(answer, "", places);
  return places;
}

std::string ReplacedCharactersWarning(const std::vector<std::string>& places) {
  std::string named;
  for (std::size_t i = 0; i < places.size() && i < kNamedPlaces; ++i)
    named += (i == 0 ? "\"" : ", \"") + places[i] + "\"";
  if (places.size() > kNamedPlaces)
    named += " and " + std::to_string(places.size() - kNamedPlaces) + " more";
  return "the answer's " + named + " held characters XML cannot carry; each was replaced by U+FFFD";
}

}  // namespace pdf::run
