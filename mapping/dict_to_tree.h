// Turns a parameter dictionary into the property tree that becomes the XML job file: a
// string entry K is the element K holding the text, a sub-dictionary K the element K with
// one child per entry, and an array K the element K + "Array" holding one element K per
// array entry. Keys are tree paths: the full stop separates nested element names.
//
// Everything the tree writer would copy into the file unchecked is checked here, so that a
// tree built by these functions is always written as XML the reader takes back (a job file
// holds its top-level elements side by side, with no root element); texts are not checked
// for valid UTF-8. Checked are:
// element names, attribute names, texts and comments (see mapping/xml_names.h), the places
// of the tree library's markers "<xmlattr>", "<xmlcomment>" and "<xmltext>", and the
// nesting depth (at most xml_depth::kMaxXmlDepth element levels, see mapping/xml_depth.h).
//
// Pure functions: the dictionary is only read, the tree given is the only thing changed.
// Safe to call from any thread on values no other thread is changing.
#pragma once

#include <string>

#include <boost/property_tree/ptree.hpp>

#include "mapping/mapping_error.h"
#include "platform/kqtypes/kq_array.h"
#include "platform/kqtypes/kq_dict.h"

// The tree of `dictionary`, its entries as top-level elements in the dictionary's order.
// As the document has no element around it, "<xmlattr>" and "<xmltext>" may not start a
// key here. Never throws: on any failure (an unsupported value class, a key or text the checks
// refuse, nesting too deep, exhausted memory) the tree is cleared and returned empty, and
// the reason is dropped.
boost::property_tree::ptree DictToTree(const KQ_TDict& dictionary);

// DictToTree that says why it refused: `reason` is left empty when the whole dictionary went
// into the tree, else it names the key, text or value that was refused and why (the
// message FillTreeFromDict throws).
boost::property_tree::ptree DictToTree(const KQ_TDict& dictionary, std::string& reason);

// Adds the entries of `dictionary` as children of `node`, which stands for an element.
// Throws MappingError naming the problem: "Unexpected dictionary value type " + class name
// + "(expected a string, array or sub-dictionary)" for a value of another class than
// KQ_TString, KQ_TDict and KQ_TArray, and a message naming the key for a key, text or
// marker use the checks refuse or for elements nested more than xml_depth::kMaxXmlDepth
// levels below `node`. Children added before the failure stay in `node`.
void FillTreeFromDict(const KQ_TDict& dictionary, boost::property_tree::ptree& node);

// Adds the elements of `array` below `node`: one element named `key` per entry, in index
// order, inside the container element `key` + "Array" (the first existing child of that
// name, else a new one; with dotted keys, the path `key` + "Array." + `key`). An empty array
// adds nothing. Throws MappingError: "Unexpected array value type " + class name +
// "(expected a string or sub-dictionary)" for an entry of another class, or a message naming
// the key as FillTreeFromDict does. Elements added before the failure stay in `node`.
void FillTreeFromArray(const std::string& key, const KQ_TArray& array,
                       boost::property_tree::ptree& node);
