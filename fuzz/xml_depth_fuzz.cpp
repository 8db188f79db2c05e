// libFuzzer target: the depth scan never crashes, and whatever it lets through the tree
// library reads without running out of stack.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include <boost/property_tree/xml_parser.hpp>

#include "mapping/xml_depth.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  xml_depth::XmlDepth depth = xml_depth::MeasureXmlDepth(text);
  if (depth.status != xml_depth::XmlDepthStatus::kWithinLimit)
    return 0;
  try {
    std::istringstream in(text);
    boost::property_tree::ptree tree;
    boost::property_tree::read_xml(in, tree);
  } catch (const std::exception&) {
  }
  return 0;
}
