#include "jobs/xml_text.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include <boost/property_tree/xml_parser.hpp>
#include <boost/version.hpp>

// The internal parser's interface as it is in Boost 1.74.
#if BOOST_VERSION / 100 == 1074
#define VTPS_XML_TEXT_DIRECT_PARSE 1
#else
#define VTPS_XML_TEXT_DIRECT_PARSE 0
#endif

namespace xml_text {

using boost::property_tree::ptree;
using boost::property_tree::xml_parser_error;

bool HasDirectParse() {
  return VTPS_XML_TEXT_DIRECT_PARSE != 0;
}

ptree ParseThroughReadXml(const std::string& content) {
  std::istringstream stream(content);
  ptree tree;
  boost::property_tree::read_xml(stream, tree, 0);
  return tree;
}

ptree ParseDirect([[maybe_unused]] std::string& content) {
#if VTPS_XML_TEXT_DIRECT_PARSE
  // What read_xml does after its copy: the parser with the options flags 0 select (comment
  // nodes kept, text neither trimmed nor condensed), then the library's own conversion of
  // each top-level node, and its error turned into the library's error type.
  namespace rapidxml = boost::property_tree::detail::rapidxml;
  content.push_back('\0');  // the parser works in place on NUL-terminated text
  try {
    rapidxml::xml_document<char> document;
    document.parse<rapidxml::parse_comment_nodes>(content.data());
    ptree tree;
    for (rapidxml::xml_node<char>* child = document.first_node(); child != nullptr;
         child = child->next_sibling())
      boost::property_tree::xml_parser::read_xml_node(child, tree, 0);
    return tree;
  } catch (const rapidxml::parse_error& error) {
    long line = static_cast<long>(std::count(content.data(), error.where<char>(), '\n') + 1);
    throw xml_parser_error(error.what(), "", line);
  }
#else
  throw std::logic_error("the direct XML parse is not built for this Boost version");
#endif
}

ptree Parse(std::string& content) {
  return HasDirectParse() ? ParseDirect(content) : ParseThroughReadXml(content);
}

}  // namespace xml_text
