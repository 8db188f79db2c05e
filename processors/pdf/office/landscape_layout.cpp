#include "processors/pdf/office/landscape_layout.h"

#include <cstdlib>
#include <optional>
#include <string_view>

namespace pdf::office {
namespace {

constexpr std::string_view kElement = "<style:page-layout-properties";

// Where attribute `name` of the start tag `tag` begins its value (after `name="`), or npos.
std::size_t ValueStart(std::string_view tag, std::string_view name) {
  for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
    // The name must stand alone: a space before it, `="` after it.
    bool alone = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\n' || tag[at - 1] == '\t');
    if (alone && tag.substr(at + name.size(), 2) == "=\"")
      return at + name.size() + 2;
  }
  return std::string_view::npos;
}

std::optional<std::string> Attribute(std::string_view tag, std::string_view name) {
  std::size_t start = ValueStart(tag, name);
  if (start == std::string_view::npos)
    return std::nullopt;
  std::size_t end = tag.find('"', start);
  if (end == std::string_view::npos)
    return std::nullopt;
  return std::string(tag.substr(start, end - start));
}

// A length in points, from a number with one of the units ODF writes.
std::optional<double> Points(const std::string& length) {
  char* end = nullptr;
  double number = std::strtod(length.c_str(), &end);
  if (end == length.c_str() || !(number > 0))
    return std::nullopt;
  std::string_view unit(end);
  struct Unit {
    std::string_view name;
    double points;
  } units[] = {{"cm", 72 / 2.54}, {"mm", 72 / 25.4}, {"in", 72},
               {"pt", 1},         {"pc", 12},        {"px", 0.75}};
  for (const Unit& known : units)
    if (unit == known.name)
      return number * known.points;
  return std::nullopt;
}

// Sets attribute `name` of the tag at `tag` (within `text`, `length` characters long) to
// `value`, adding it before the tag's end when it is missing. Returns the tag's new length.
std::size_t SetAttribute(std::string& text, std::size_t tag, std::size_t length,
                         std::string_view name, const std::string& value) {
  std::string_view view(text.data() + tag, length);
  std::size_t start = ValueStart(view, name);
  if (start != std::string_view::npos) {
    std::size_t end = view.find('"', start);
    text.replace(tag + start, end - start, value);
    return length - (end - start) + value.size();
  }
  std::string added = " " + std::string(name) + "=\"" + value + "\"";
  std::size_t close = length - (view.substr(length - 2) == "/>" ? 2 : 1);
  text.insert(tag + close, added);
  return length + added.size();
}

}  // namespace

int TurnPageLayoutsLandscape(std::string& flatOdf, const PaperSize& unstated) {
  int turned = 0;
  for (std::size_t tag = flatOdf.find(kElement); tag != std::string::npos;
       tag = flatOdf.find(kElement, tag + 1)) {
    std::size_t after = tag + kElement.size();
    if (after >= flatOdf.size() || (flatOdf[after] != ' ' && flatOdf[after] != '/' &&
                                    flatOdf[after] != '>' && flatOdf[after] != '\n'))
      continue;
    std::size_t end = flatOdf.find('>', tag);
    if (end == std::string::npos)
      break;
    std::size_t length = end + 1 - tag;
    std::string_view view(flatOdf.data() + tag, length);
    std::optional<std::string> width = Attribute(view, "fo:page-width");
    std::optional<std::string> height = Attribute(view, "fo:page-height");
    if (!width && !height) {
      width = unstated.width;
      height = unstated.height;
    }
    if (!width || !height)
      continue;
    std::optional<double> widthPoints = Points(*width);
    std::optional<double> heightPoints = Points(*height);
    if (!widthPoints || !heightPoints || *widthPoints >= *heightPoints)
      continue;
    length = SetAttribute(flatOdf, tag, length, "fo:page-width", *height);
    length = SetAttribute(flatOdf, tag, length, "fo:page-height", *width);
    SetAttribute(flatOdf, tag, length, "style:print-orientation", "landscape");
    ++turned;
  }
  return turned;
}

}  // namespace pdf::office
