// Turns the property tree read from an answer file back into a dictionary: an element
// without child elements gives a string (its text), an element with children a
// sub-dictionary, and an element named S + "Array" with children a sub-dictionary whose one
// entry S holds the array of its children. An array K written by DictToTree therefore comes
// back wrapped, as the key K + "Array" holding {K: array}.
//
// The tree library's markers arrive as ordinary names: attributes as a "<xmlattr>"
// sub-dictionary, comments as "<xmlcomment>" strings. Of two children with the same name
// the later one is what the entry holds. The functions recurse once per tree level; trees
// from ReadJobFile nest at most xml_depth::kMaxXmlDepth elements deep.
//
// Pure functions: the tree is only read, the dictionary or array given is the only thing
// changed. Safe to call from any thread on values no other thread is changing.
#pragma once

#include <string>

#include <boost/property_tree/ptree.hpp>

#include "mapping/mapping_error.h"
#include "platform/kqtypes/kq_array.h"
#include "platform/kqtypes/kq_dict.h"

// Sets one entry of `dictionary` per child of `node`, in document order; the node's own
// text is ignored. Each entry is set only once its whole value is converted. Throws the
// MappingError of FillArrayFromTree when an array container holds a child of another name;
// the entries set before that stay, the one being converted is not set.
void TreeToDict(const boost::property_tree::ptree& node, KQ_TDict& dictionary);

// Sets the length of `array` to the number of children of `container`, then element i to
// the i-th child: its text when it has no children, else the dictionary TreeToDict makes of
// it. Throws a MappingError "Unexpected array element name (expected " + stem + ", found " +
// name + ")" at the first child not named exactly `stem`, leaving the array partly filled.
void FillArrayFromTree(const std::string& stem, const boost::property_tree::ptree& container,
                       KQ_TArray& array);
