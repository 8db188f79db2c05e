#include "mapping/dict_to_tree.h"

#include <new>

#include <cstdio>
#include <cstring>
#include <string_view>

#include "mapping/mapping_error.h"
#include "mapping/xml_depth.h"
#include "mapping/xml_names.h"
#include "platform/kqtypes/kq_iterator.h"
#include "platform/kqtypes/kq_string.h"

namespace {

using boost::property_tree::ptree;
using xml_names::IsXmlName;

constexpr char kSeparator = '.';

// Whether the node being filled is the document itself, which has no element around it to
// carry attributes or text, or an element.
enum class Place { kDocument, kElement };

// The kind of value a key leads to.
enum class Held { kString, kDict, kArray };

// What the last part of a key names.
enum class Ending { kElement, kAttributes, kAttribute, kComment, kText };

struct PathShape {
  int elementLevels = 0;  // parts that become elements (markers and attribute names do not)
  Ending ending = Ending::kElement;
};

// `text` in quotes for a message, control bytes shown as \xNN.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

[[noreturn]] void RefuseKey(std::string_view key, const std::string& reason) {
  throw MappingError("Unexpected dictionary key " + Quoted(key) + " (" + reason + ")");
}

[[noreturn]] void RefuseValueClass(const char* className) {
  throw MappingError(std::string("Unexpected dictionary value type ") + className +
                     "(expected a string, array or sub-dictionary)");
}

// Checks every part of `path` (the key itself, or the element path of an array under
// `key`) and says what it leads to. Each part must be an XML name or one of the markers in
// a place where the writer turns it into what it stands for: "<xmlattr>" holding a
// dictionary of attributes or followed by one attribute name holding a string,
// "<xmlcomment>" and "<xmltext>" last and holding a string. Any other use would be written
// as a broken name, or lose what sits below the marker.
PathShape CheckPath(std::string_view key, std::string_view path, Held held, Place place) {
  PathShape shape;
  std::size_t start = 0;
  bool first = true;
  while (true) {
    std::size_t end = path.find(kSeparator, start);
    bool last = end == std::string_view::npos;
    std::string_view part = path.substr(start, last ? std::string_view::npos : end - start);
    if (part.empty())
      RefuseKey(key, "an element name is empty");
    if (part == xml_names::kAttributesMarker) {
      if (held == Held::kArray)
        RefuseKey(key, "a marker cannot hold an array");
      if (first && place == Place::kDocument)
        RefuseKey(key, "attributes need an enclosing element");
      if (last) {
        if (held != Held::kDict)
          RefuseKey(key, "<xmlattr> must hold a sub-dictionary of attributes");
        shape.ending = Ending::kAttributes;
        return shape;
      }
      std::string_view name = path.substr(end + 1);
      if (held != Held::kString || name.find(kSeparator) != std::string_view::npos)
        RefuseKey(key, "<xmlattr> may only be followed by one attribute name holding a string");
      if (!IsXmlName(name))
        RefuseKey(key, "the attribute name " + Quoted(name) + " is not an XML name");
      shape.ending = Ending::kAttribute;
      return shape;
    }
    if (part == xml_names::kCommentMarker || part == xml_names::kTextMarker) {
      if (held == Held::kArray)
        RefuseKey(key, "a marker cannot hold an array");
      if (!last || held != Held::kString)
        RefuseKey(key, std::string(part) + " must end the key and hold a string");
      if (part == xml_names::kTextMarker && first && place == Place::kDocument)
        RefuseKey(key, "text needs an enclosing element");
      shape.ending = part == xml_names::kCommentMarker ? Ending::kComment : Ending::kText;
      return shape;
    }
    if (!IsXmlName(part))
      RefuseKey(key, Quoted(part) + " is not an XML name");
    ++shape.elementLevels;
    if (last)
      return shape;
    start = end + 1;
    first = false;
  }
}

void CheckDepth(std::string_view key, int level) {
  if (level > xml_depth::kMaxXmlDepth)
    throw MappingError("Dictionary key " + Quoted(key) + " nests elements deeper than " +
                       std::to_string(xml_depth::kMaxXmlDepth) + " levels");
}

void CheckText(std::string_view key, std::string_view text, Ending ending) {
  if (ending == Ending::kComment) {
    if (!xml_names::IsXmlCommentText(text))
      throw MappingError(
          "Unexpected comment text in " + Quoted(key) +
          " (a comment may not hold control characters or \"--\", nor end in \"-\")");
  } else if (!xml_names::IsXmlText(text)) {
    throw MappingError("Unexpected text in " + Quoted(key) +
                       " (it holds a control character that XML cannot carry)");
  }
}

// The key's text, up to its first NUL as the conversion copies texts.
std::string_view KeyText(const KQ_TConstIterator& entry) {
  const KQ_TString* key = KQ_TObject::DynamicCast<KQ_TString>(&entry.Key());
  if (key == nullptr)
    throw MappingError(std::string("Unexpected dictionary key type ") + entry.Key().ClassName());
  return key->c_str();
}

// The tree copies every child it is given and cannot take one over; starting each new child
// as a copy of one shared empty tree spares the allocations of a temporary.
const ptree& EmptyTree() {
  static const ptree* const empty = new ptree();
  return *empty;
}

// A new empty child named `name` at the end of `node`.
ptree& AppendChild(ptree& node, std::string name) {
  return node.push_back(ptree::value_type(std::move(name), EmptyTree()))->second;
}

// The first child at each part of `path`, as the tree's own path walk finds it; null when a
// part is missing.
const ptree* FindPath(const ptree& node, std::string_view path) {
  const ptree* current = &node;
  std::size_t start = 0;
  while (current != nullptr) {
    std::size_t end = path.find(kSeparator, start);
    std::string part(path.substr(start, end == std::string_view::npos ? end : end - start));
    auto found = current->find(part);
    current = found == current->not_found() ? nullptr : &found->second;
    if (end == std::string_view::npos)
      break;
    start = end + 1;
  }
  return current;
}

// The node at `path` below `node`, walking as the tree's add and put operations do: the
// first child of each name, appended empty when there is none.
ptree& ForcePath(ptree& node, std::string_view path) {
  ptree* current = &node;
  std::size_t start = 0;
  while (true) {
    std::size_t end = path.find(kSeparator, start);
    std::string part(path.substr(start, end == std::string_view::npos ? end : end - start));
    auto found = current->find(part);
    current =
        found != current->not_found() ? &found->second : &AppendChild(*current, std::move(part));
    if (end == std::string_view::npos)
      return *current;
    start = end + 1;
  }
}

void FillDict(const KQ_TDict& dictionary, ptree& node, int depth, Place place);

// Adds a new child at path `key` holding `text`. Single-part keys, the common case, skip
// the tree's path parsing; the effect is that of its `add`.
void AddText(std::string_view key, std::string_view text, Ending ending, ptree& node) {
  if (ending == Ending::kAttribute) {
    // A second attribute of the same name would make the element ill-formed.
    std::size_t nameAt = key.rfind(kSeparator);
    const ptree* attributes = FindPath(node, key.substr(0, nameAt));
    if (attributes != nullptr &&
        attributes->find(std::string(key.substr(nameAt + 1))) != attributes->not_found())
      throw MappingError("Duplicate attribute in dictionary key " + Quoted(key));
  }
  // The text goes straight into the new child: the tree copies whatever it is given.
  ptree& child = key.find(kSeparator) == std::string_view::npos
                     ? AppendChild(node, std::string(key))
                     : node.add_child(ptree::path_type(std::string(key), kSeparator), EmptyTree());
  child.data().assign(text);
}

// Converts the sub-dictionary under `key` with the effect of the tree's `put_child` of its
// converted tree: the first child at that path takes the new content and keeps its place,
// else a new child is appended. `fill` converts into the node it is given.
template <class Fill>
void PutSubtree(std::string_view key, ptree& node, Fill fill) {
  if (key.find(kSeparator) == std::string_view::npos) {
    std::string name(key);
    if (node.find(name) == node.not_found()) {
      // The common case converts in place, sparing a copy of the subtree; a failure takes
      // the half-converted child away again, as if it had been converted aside.
      ptree& child = AppendChild(node, std::move(name));
      try {
        fill(child);
      } catch (...) {
        node.pop_back();
        throw;
      }
      return;
    }
  }
  ptree subtree;
  fill(subtree);
  if (key.find(kSeparator) == std::string_view::npos) {
    node.find(std::string(key))->second.swap(subtree);
  } else {
    node.put_child(ptree::path_type(std::string(key), kSeparator), EmptyTree()).swap(subtree);
  }
}

// The attributes under a "<xmlattr>" key: each entry one XML name holding a string.
void FillAttributes(std::string_view key, const KQ_TDict& attributes, ptree& node) {
  for (KQ_TConstIterator entry(attributes); !entry.IsDone(); entry.Next()) {
    std::string_view name = KeyText(entry);
    const KQ_TAny& value = entry.Value();
    const char* className = value.ClassName();
    if (std::strcmp(className, KQ_TDict::KQ_ClassName) != 0 &&
        std::strcmp(className, KQ_TArray::KQ_ClassName) != 0 &&
        std::strcmp(className, KQ_TString::KQ_ClassName) != 0)
      RefuseValueClass(className);
    if (std::strcmp(className, KQ_TString::KQ_ClassName) != 0 || !IsXmlName(name) ||
        name.find(kSeparator) != std::string_view::npos)
      throw MappingError("Unexpected attribute " + Quoted(name) + " in dictionary key " +
                         Quoted(key) + " (expected an XML name holding a string)");
    std::string_view text = value.DynamicCast<KQ_TString>()->c_str();
    CheckText(key, text, Ending::kAttribute);
    std::string nameText(name);
    if (node.find(nameText) != node.not_found())
      throw MappingError("Duplicate attribute " + Quoted(name) + " in dictionary key " +
                         Quoted(key));
    AppendChild(node, std::move(nameText)).data().assign(text);
  }
}

void FillArray(std::string_view key, const KQ_TArray& array, ptree& node, int depth, Place place) {
  const std::size_t count = array.Count();
  // The key is checked even when the array is empty, so that a bad key fails alike
  // whatever the array holds.
  const std::string path = std::string(key) + "Array." + std::string(key);
  const PathShape shape = CheckPath(key, path, Held::kArray, place);
  const int level = depth + shape.elementLevels;
  CheckDepth(key, level);
  const std::size_t nameAt = path.rfind(kSeparator);
  const std::string_view containerPath = std::string_view(path).substr(0, nameAt);
  // Every element has the same name: one prepared pair serves them all.
  const ptree::value_type emptyElement(path.substr(nameAt + 1), EmptyTree());
  auto convert = [&](const KQ_TAny& element, ptree& child) {
    const char* className = element.ClassName();
    if (std::strcmp(className, KQ_TString::KQ_ClassName) == 0) {
      std::string_view text = element.DynamicCast<KQ_TString>()->c_str();
      CheckText(key, text, Ending::kElement);
      child.data().assign(text);
    } else if (std::strcmp(className, KQ_TDict::KQ_ClassName) == 0) {
      FillDict(*element.DynamicCast<KQ_TDict>(), child, level, Place::kElement);
    } else {
      throw MappingError(std::string("Unexpected array value type ") + className +
                         "(expected a string or sub-dictionary)");
    }
  };
  // Found or created once the first element is converted, as the first add would; that
  // element is converted aside, the others in place (a failure takes the half-converted
  // element away again).
  ptree* container = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    if (container == nullptr) {
      ptree child;
      convert(array[i], child);
      container = &ForcePath(node, containerPath);
      container->push_back(emptyElement)->second.swap(child);
    } else {
      ptree& child = container->push_back(emptyElement)->second;
      try {
        convert(array[i], child);
      } catch (...) {
        container->pop_back();
        throw;
      }
    }
  }
}

void FillDict(const KQ_TDict& dictionary, ptree& node, int depth, Place place) {
  for (KQ_TConstIterator entry(dictionary); !entry.IsDone(); entry.Next()) {
    std::string_view key = KeyText(entry);
    const KQ_TAny& value = entry.Value();
    const char* className = value.ClassName();
    if (std::strcmp(className, KQ_TString::KQ_ClassName) == 0) {
      PathShape shape = CheckPath(key, key, Held::kString, place);
      CheckDepth(key, depth + shape.elementLevels);
      std::string_view text = value.DynamicCast<KQ_TString>()->c_str();
      CheckText(key, text, shape.ending);
      AddText(key, text, shape.ending, node);
    } else if (std::strcmp(className, KQ_TDict::KQ_ClassName) == 0) {
      PathShape shape = CheckPath(key, key, Held::kDict, place);
      int level = depth + shape.elementLevels;
      CheckDepth(key, level);
      const KQ_TDict& subDictionary = *value.DynamicCast<KQ_TDict>();
      PutSubtree(key, node, [&](ptree& subtree) {
        if (shape.ending == Ending::kAttributes) {
          FillAttributes(key, subDictionary, subtree);
        } else {
          FillDict(subDictionary, subtree, level, Place::kElement);
        }
      });
    } else if (std::strcmp(className, KQ_TArray::KQ_ClassName) == 0) {
      FillArray(key, *value.DynamicCast<KQ_TArray>(), node, depth, place);
    } else {
      RefuseValueClass(className);
    }
  }
}

}  // namespace

boost::property_tree::ptree DictToTree(const KQ_TDict& dictionary) {
  std::string ignored;
  return DictToTree(dictionary, ignored);
}

boost::property_tree::ptree DictToTree(const KQ_TDict& dictionary, std::string& reason) {
  ptree tree;
  reason.clear();
  try {
    FillDict(dictionary, tree, 0, Place::kDocument);
  } catch (const MappingError& refusal) {
    reason = refusal.what();
  } catch (const std::bad_alloc&) {
    reason = "not enough memory";
  } catch (const std::exception& error) {
    reason = error.what();
  } catch (...) {
    reason = "an unknown failure";
  }
  // Whatever went wrong, the caller gets a tree it can write: an empty one.
  if (!reason.empty())
    tree.clear();
  return tree;
}

void FillTreeFromDict(const KQ_TDict& dictionary, boost::property_tree::ptree& node) {
  FillDict(dictionary, node, 0, Place::kElement);
}

void FillTreeFromArray(const std::string& key, const KQ_TArray& array,
                       boost::property_tree::ptree& node) {
  FillArray(key, array, node, 0, Place::kElement);
}
