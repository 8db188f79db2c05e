// Builders and printers of typed values for the mapping tests.
#pragma once

#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include "platform/kqtypes/kqtypes.h"

namespace mapping_test {

// XML text of `levels` elements nested in one another.
inline std::string Nested(int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i)
    text += "<e>";
  for (int i = 0; i < levels; ++i)
    text += "</e>";
  return text;
}

// A dictionary of these entries, in this order.
inline KQ_TDict Dict(std::initializer_list<std::pair<std::string, KQ_TAny>> entries) {
  KQ_TDict dictionary;
  for (const auto& entry : entries)
    dictionary[entry.first] = entry.second;
  return dictionary;
}

inline KQ_TArray Array(std::initializer_list<KQ_TAny> elements) {
  KQ_TArray array;
  for (const KQ_TAny& element : elements)
    array.Append(element);
  return array;
}

inline std::string Printed(const KQ_IPrintable& value) {
  std::ostringstream out;
  value.PrintOn(out);
  return out.str();
}

// The XML of `tree` on one line, without the declaration.
inline std::string CompactXml(const boost::property_tree::ptree& tree) {
  std::ostringstream out;
  boost::property_tree::write_xml(out, tree,
                                  boost::property_tree::xml_writer_settings<std::string>(' ', 0));
  std::string text = out.str();
  return text.substr(text.find('\n') + 1);
}

inline boost::property_tree::ptree ParseXml(const std::string& text) {
  std::istringstream in(text);
  boost::property_tree::ptree tree;
  boost::property_tree::read_xml(in, tree, 0);
  return tree;
}

// The dictionary of the worked example: a string, a sub-dictionary, an array of strings and
// an array of sub-dictionaries.
inline KQ_TDict ReportParameters() {
  return Dict({{"title", "Report"},
               {"options", Dict({{"mode", "fast"}})},
               {"file", Array({"one", "two"})},
               {"page", Array({Dict({{"n", "1"}}), Dict({{"n", "2"}})})}});
}

// What the worked example reads back as: each array wrapped under its container's name.
inline KQ_TDict ReportAnswer() {
  return Dict({{"title", "Report"},
               {"options", Dict({{"mode", "fast"}})},
               {"fileArray", Dict({{"file", Array({"one", "two"})}})},
               {"pageArray", Dict({{"page", Array({Dict({{"n", "1"}}), Dict({{"n", "2"}})})}})}});
}

}  // namespace mapping_test
