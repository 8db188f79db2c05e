#include "mapping/tree_to_dict.h"

#include <string_view>
#include <utility>

namespace {

using boost::property_tree::ptree;

constexpr std::string_view kArraySuffix = "Array";

// A branch named S + "Array" with a non-empty S; a branch named exactly "Array" is an
// ordinary one.
bool IsArrayContainer(const std::string& name) {
  return name.size() > kArraySuffix.size() &&
         std::string_view(name).substr(name.size() - kArraySuffix.size()) == kArraySuffix;
}

KQ_TDict DictOf(const ptree& node) {
  KQ_TDict dictionary(node.size());
  TreeToDict(node, dictionary);
  return dictionary;
}

}  // namespace

void TreeToDict(const boost::property_tree::ptree& node, KQ_TDict& dictionary) {
  for (const ptree::value_type& child : node) {
    const std::string& name = child.first;
    const ptree& subtree = child.second;
    if (subtree.empty()) {
      dictionary[name] = KQ_TAny(subtree.data());
    } else if (IsArrayContainer(name)) {
      std::string stem = name.substr(0, name.size() - kArraySuffix.size());
      KQ_TArray array;
      FillArrayFromTree(stem, subtree, array);
      KQ_TDict wrapper(1);
      wrapper[stem] = KQ_TAny(std::move(array));
      dictionary[name] = KQ_TAny(std::move(wrapper));
    } else {
      KQ_TAny converted(DictOf(subtree));
      dictionary[name] = std::move(converted);
    }
  }
}

void FillArrayFromTree(const std::string& stem, const boost::property_tree::ptree& container,
                       KQ_TArray& array) {
  array.SetLength(container.size());
  std::size_t index = 0;
  for (const ptree::value_type& child : container) {
    if (child.first != stem)
      throw MappingError("Unexpected array element name (expected " + stem + ", found " +
                         child.first + ")");
    if (child.second.empty()) {
      array[index] = KQ_TAny(child.second.data());
    } else {
      array[index] = KQ_TAny(DictOf(child.second));
    }
    ++index;
  }
}
