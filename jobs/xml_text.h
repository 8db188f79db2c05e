// Parsing a job file's text into a tree, with the result of the tree library's read_xml with
// flags 0: text kept untrimmed, comments as "<xmlcomment>" children, attributes under
// "<xmlattr>".
//
// read_xml takes a stream and first copies it a byte at a time into a buffer of its own,
// which costs as much as a fifth of a whole job-file read. The direct parse hands the text
// to the library's internal parser instead. That parser is not part of the library's
// published interface, so the direct parse is built only for the Boost version it was
// written and checked against (1.74); with any other version Parse goes through read_xml.
//
// Pure functions; safe from any thread.
#pragma once

#include <string>

#include <boost/property_tree/ptree.hpp>

namespace xml_text {

// Whether this build has the direct parse.
bool HasDirectParse();

// read_xml with flags 0 over `content`. Throws boost::property_tree::xml_parser_error on
// malformed text.
boost::property_tree::ptree ParseThroughReadXml(const std::string& content);

// The same tree through the library's internal parser, which works in place: `content` is
// changed. Throws boost::property_tree::xml_parser_error on malformed text, and
// std::logic_error when !HasDirectParse().
boost::property_tree::ptree ParseDirect(std::string& content);

// ParseDirect where the build has it, else ParseThroughReadXml; `content` may be changed.
boost::property_tree::ptree Parse(std::string& content);

}  // namespace xml_text
